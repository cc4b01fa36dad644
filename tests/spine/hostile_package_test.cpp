// Hostile name fields: each is refused before anything is written, anywhere; the program
// ends silently with exit code 0.
#include "tests/spine/spine_fixture.h"

#include "setup/package.h"

namespace spine {
namespace {

TEST_F(SpineTest, RefusesHostileNamesBeforeWritingAnything)
{
    const std::string longName = std::string(250, 'n') + ".scr";  // path beyond 259 bytes
    const std::string names[] = {
        "",
        ".",
        "..",
        "..\\spine_evil.scr",
        "..\\..\\spine_evil.scr",
        "sub/spine_evil.scr",
        "C:spine_evil.scr",
        "C:\\spine_evil.scr",
        "spine\x01" "evil.scr",
        "spine_evil.scr.",
        "spine_evil.scr ",
        "spine*.scr",
        "CON",
        "nul.scr",
        "COM1.scr",
        "LPT9",
        "spine_evil\x95",  // a lead byte cut from its second byte
        longName,
    };
    const std::string windowsDir = WindowsDirectory();
    const std::set<std::string> systemBefore = ListFiles(systemDir_);
    const std::set<std::string> windowsBefore = ListFiles(windowsDir);
    const std::set<std::string> rootBefore = ListFiles("C:");
    for (const std::string& name : names) {
        SCOPED_TRACE("name '" + name + "'");
        std::string exe = WritePackage("SETUP.exe", driver::MakePackage(name, driver::MakeSaver()));
        driver::Process process;
        ASSERT_TRUE(process.Start(exe, "\"" + exe + "\""));
        ExpectSilentEnd(process);
        EXPECT_EQ(systemBefore, ListFiles(systemDir_));
        EXPECT_EQ(windowsBefore, ListFiles(windowsDir));
        EXPECT_EQ(rootBefore, ListFiles("C:"));
        EXPECT_EQ(scratch_.File("SETUP.exe"), exe);
        EXPECT_EQ((std::set<std::string>{"SETUP.exe"}), ListFiles(scratch_.path()));
    }
}

TEST_F(SpineTest, RefusesANameFieldWithoutItsNul)
{
    ByteVector package = driver::MakePackage("spine_x.scr", driver::MakeSaver());
    size_t stubLength = driver::ReadBytes(driver::EnvPath("SETUP_EXE")).size();
    memset(&package[stubLength + kBoundaryLength], 'x', kSaverNameFieldLength);
    const std::set<std::string> systemBefore = ListFiles(systemDir_);
    std::string exe = WritePackage("SETUP.exe", package);
    driver::Process process;
    ASSERT_TRUE(process.Start(exe, "\"" + exe + "\""));
    ExpectSilentEnd(process);
    EXPECT_EQ(systemBefore, ListFiles(systemDir_));
}

TEST_F(SpineTest, RefusesAFileCutInsideTheNameField)
{
    ByteVector package = driver::MakePackage("spine_cut.scr", ByteVector());
    package.resize(package.size() - 1);
    std::string exe = WritePackage("SETUP.exe", package);
    driver::Process process;
    ASSERT_TRUE(process.Start(exe, "\"" + exe + "\""));
    ExpectSilentEnd(process);
    EXPECT_FALSE(driver::FileExists(SaverPath("spine_cut.scr")));
}

}  // namespace
}  // namespace spine
