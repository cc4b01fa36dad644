// The display check of start-up, run on an X screen of depth LOWCOLOR_DEPTH (run-lowcolor.sh starts
// one Wine desktop per depth): on 8 bits per pixel SETUP.exe shows the error box with text
// 103 and writes nothing; on 15/16 and 32 bits per pixel it goes on to its window. A silent
// run (/S) draws nothing and installs on every depth.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "setup/startup.h"
#include "tests/program/spine_fixture.h"

namespace {

const DWORD kTimeout = 30000;
const char kSaverName[] = "lowcolor.scr";

int RequestedDepth()
{
    const char* depth = getenv("LOWCOLOR_DEPTH");
    return depth ? atoi(depth) : 0;
}

int DesktopBitsPerPixel()
{
    HWND desktop = GetDesktopWindow();
    HDC dc = GetDC(desktop);
    int bits = dc ? GetDeviceCaps(dc, BITSPIXEL) : 0;
    if (dc)
        ReleaseDC(desktop, dc);
    return bits;
}

class LowColor : public spine::SpineTest {
protected:
    void SetUp() override
    {
        SpineTest::SetUp();
        depth_ = RequestedDepth();
        ASSERT_TRUE(depth_ == 8 || depth_ == 15 || depth_ == 16 || depth_ == 24)
            << "LOWCOLOR_DEPTH must name the X screen's depth";
        saverPath_ = SaverPath(kSaverName);
        DeleteFileA(saverPath_.c_str());
    }
    // Starts a package of the stub with the switches behind its path.
    void StartPackage(driver::Process& process, const std::string& switches = "")
    {
        std::string exe = WritePackage("SETUP.exe", driver::MakePackage(kSaverName, driver::MakeSaver()));
        EXPECT_TRUE(process.Start(exe, "\"" + exe + "\"" + switches));
    }

    int depth_ = 0;
    std::string saverPath_;
};

// The X screen of each depth reaches the program as a display of that many bits per pixel;
// 8 is the 256-colour mode that the check refuses. Wine shows depth 15 as 15 or 16 bits and
// depth 24 as 24 or 32 (32 here: X keeps 24-bit pixels in 32 bits).
TEST_F(LowColor, DisplayHasTheRequestedDepth)
{
    int bits = DesktopBitsPerPixel();
    std::printf("X screen of depth %d: BITSPIXEL %d\n", depth_, bits);
    switch (depth_) {
    case 8:
        EXPECT_LE(bits, 8);
        break;
    case 15:
        EXPECT_TRUE(bits == 15 || bits == 16) << bits;
        break;
    case 16:
        EXPECT_EQ(16, bits);
        break;
    default:
        EXPECT_TRUE(bits == 24 || bits == 32) << bits;
        break;
    }
    EXPECT_EQ(depth_ == 8 ? 1 : 0, IsLowColorDisplay());
}

TEST_F(LowColor, SetupRefusesOnlyTheLowColourDisplay)
{
    std::set<std::string> before = driver::ListNames(driver::SystemDirectory());
    driver::Process process;
    StartPackage(process);
    DWORD code = 1234;
    if (depth_ == 8) {
        driver::Box box = driver::WaitForBox(process, kTimeout);
        ASSERT_TRUE(box.window) << "no error box on the 8-bit display";
        EXPECT_EQ(BoxCaption932(IDS_LOW_COLOR), box.caption);
        EXPECT_EQ(BoxText932(IDS_LOW_COLOR), box.text) << driver::Utf8FromCp932(box.text);
        EXPECT_EQ(BoxButtonIds(IDS_LOW_COLOR), box.buttons);
        EXPECT_TRUE(driver::FindWindows(process.id(), "SetupWClass").empty());
        ASSERT_TRUE(driver::AnswerBox(box, IDOK));
        ASSERT_TRUE(process.WaitExit(kTimeout, &code)) << "still running after the box";
        EXPECT_EQ(0u, code);
        // Refused before anything happened: no file, no entry.
        EXPECT_EQ(before, driver::ListNames(driver::SystemDirectory()));
        EXPECT_FALSE(driver::FileExists(saverPath_));
        EXPECT_EQ("", driver::ReadIniSaver());
        EXPECT_EQ("", driver::ReadRegistrySaver());
    } else {
        HWND window = driver::WaitForWindow(process.id(), "SetupWClass", kTimeout);
        ASSERT_TRUE(window) << "no setup window on the screen of depth " << depth_;
        // The one box on an accepted display is the start question, never the refusal.
        driver::Box question = driver::WaitForBox(process, kTimeout);
        ASSERT_TRUE(question.window) << "no start question";
        EXPECT_EQ(BoxCaption932(IDS_START_QUESTION), question.caption) << "a box other than the question came";
        EXPECT_TRUE(driver::FileExists(saverPath_));
        ASSERT_TRUE(driver::AnswerBox(question, IDNO));
        ASSERT_TRUE(process.WaitExit(kTimeout, &code)) << "no exit after No";
        EXPECT_EQ(0u, code);
        EXPECT_FALSE(driver::FileExists(saverPath_)) << "No leaves the extracted saver behind";
    }
}

// A silent run draws nothing: it installs on every display, the 256-colour one too.
TEST_F(LowColor, SilentRunInstallsOnEveryDisplay)
{
    driver::Process process;
    StartPackage(process, " /S");
    DWORD code = 1234;
    ASSERT_TRUE(process.WaitExit(kTimeout, &code)) << "the silent run did not end";
    EXPECT_EQ(0u, code);
    EXPECT_EQ(driver::MakeSaver(), driver::ReadBytes(saverPath_));
}

}  // namespace
