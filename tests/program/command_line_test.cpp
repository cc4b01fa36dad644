// The setup finds its own file from the command line however it was started: quoted or
// not, with arguments, with blanks in its name, by bare name from a console, from a root.
#include "tests/program/spine_fixture.h"

#include "setup/startup.h"

namespace spine {
namespace {

// Each case starts the same package, copied under fileName into dir, with the command line
// made from its full path; the window must stand and the saver must be written.
struct StartCase {
    const char* what;
    const char* fileName;
    std::string (*commandLine)(const std::string& fullPath, const std::string& fileName);
    bool inWorkDir;  // started with the package's directory as the current directory
};

std::string Quoted(const std::string& path, const std::string&) { return "\"" + path + "\""; }
std::string QuotedWithArgument(const std::string& path, const std::string&) { return "\"" + path + "\" /x"; }
std::string QuotedWithPathArgument(const std::string& path, const std::string&)
{
    return "\"" + path + "\" C:\\some\\dir\\file.txt";
}
std::string Unquoted(const std::string& path, const std::string&) { return path; }
std::string UnquotedWithArgument(const std::string& path, const std::string&) { return path + " arg"; }
std::string BareName(const std::string&, const std::string& name) { return name; }
std::string QuotedBareName(const std::string&, const std::string& name) { return "\"" + name + "\" x"; }

TEST_F(SpineTest, FindsItsOwnFileFromAnyCommandLine)
{
    const StartCase cases[] = {
        {"quoted path", "SETUP.exe", Quoted, false},
        {"quoted path with an argument", "SETUP.exe", QuotedWithArgument, false},
        {"argument holding backslashes", "SETUP.exe", QuotedWithPathArgument, false},
        {"quoted name with a blank", "SETUP (1).exe", Quoted, false},
        {"unquoted path", "SETUP.exe", Unquoted, false},
        {"unquoted path with an argument", "SETUP.exe", UnquotedWithArgument, false},
        {"unquoted name with a blank", "SETUP (2).exe", Unquoted, false},
        {"bare name from a console", "SETUP.exe", BareName, true},
        {"quoted bare name with an argument", "SETUP.exe", QuotedBareName, true},
    };
    ByteVector saver = driver::MakeSaver(ByteVector(), 512);
    ByteVector package = driver::MakePackage("spine_cmd.scr", saver);
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string exe = WritePackage(c.fileName, package);
        std::string target = SaverPath("spine_cmd.scr");
        DeleteFileA(target.c_str());
        driver::Process process;
        HWND window = StartAndWaitForWindow(process, exe, c.commandLine(exe, c.fileName),
                                            c.inWorkDir ? scratch_.path() : std::string());
        ASSERT_TRUE(window);
        EXPECT_EQ(saver, driver::ReadBytes(target));
        EXPECT_TRUE(ClosesWithEscape(process, window));
    }
}

TEST_F(SpineTest, StartsFromADriveRoot)
{
    ByteVector saver = driver::MakeSaver(ByteVector(), 512);
    std::string exe = "C:\\spine_root_setup.exe";
    ASSERT_TRUE(driver::WriteBytes(exe, driver::MakePackage("spine_root.scr", saver)));
    driver::Process process;
    HWND window = StartAndWaitForWindow(process, exe, "\"" + exe + "\"");
    EXPECT_TRUE(window);
    EXPECT_EQ(saver, driver::ReadBytes(SaverPath("spine_root.scr")));
    if (window) {
        EXPECT_TRUE(ClosesWithEscape(process, window));
    }
    process.Kill();
    DeleteFileA(exe.c_str());
}

// The derivation itself, for the command lines whose file exists: the directory as it
// stands in the command line, C: made C:\ for a root.
TEST_F(SpineTest, SetupDirectoryAndPathFromTheCommandLine)
{
    CreateDirectoryA("C:\\spine_dir", nullptr);
    ASSERT_TRUE(driver::WriteBytes("C:\\spine_dir\\setup.exe", ByteVector(10, 1)));
    ASSERT_TRUE(driver::WriteBytes("C:\\spine_setup.exe", ByteVector(10, 1)));
    struct { const char* commandLine; const char* dir; const char* path; } cases[] = {
        {"\"C:\\spine_dir\\setup.exe\" arg", "C:\\spine_dir", "C:\\spine_dir\\setup.exe"},
        {"\"C:\\spine_dir\\setup.exe\" C:\\x\\y", "C:\\spine_dir", "C:\\spine_dir\\setup.exe"},
        {"C:\\spine_dir\\setup.exe", "C:\\spine_dir", "C:\\spine_dir\\setup.exe"},
        {"\"C:\\spine_setup.exe\"", "C:\\", "C:\\spine_setup.exe"},
    };
    for (auto& c : cases) {
        char dir[MAX_PATH], path[MAX_PATH];
        memset(dir, 0xAA, sizeof dir);
        memset(path, 0xAA, sizeof path);
        ASSERT_EQ(1, GetSetupFilePath(c.commandLine, dir, path)) << c.commandLine;
        EXPECT_STREQ(c.dir, dir) << c.commandLine;
        EXPECT_STREQ(c.path, path) << c.commandLine;
    }
    // No directory, or a first token that is no file: the module's own file name.
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    for (const char* commandLine : {"setup.exe", "\"C:\\no such dir\\setup.exe\"", "", "\"\""}) {
        char dir[MAX_PATH], path[MAX_PATH];
        ASSERT_EQ(1, GetSetupFilePath(commandLine, dir, path)) << commandLine;
        EXPECT_STREQ(module, path) << commandLine;
    }
    DeleteFileA("C:\\spine_dir\\setup.exe");
    DeleteFileA("C:\\spine_setup.exe");
    RemoveDirectoryA("C:\\spine_dir");
}

}  // namespace
}  // namespace spine
