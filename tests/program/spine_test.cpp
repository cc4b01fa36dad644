// The spine end to end: a package is opened, the saver lands byte for byte in the system
// directory, the full-screen window stands, Escape ends the program with exit code 0; and
// the silent endings with what each leaves behind (packages refused whole, and logos the
// setup runs on without, are rows of the hostile table).
#include "tests/program/spine_fixture.h"

namespace spine {
namespace {

using driver::MakePackage;
using driver::MakeSaver;
using driver::ReadBytes;

TEST_F(SpineTest, ExtractsTheSaverAndShowsTheFullScreenWindow)
{
    ByteVector saver = MakeSaver();
    std::string exe = WritePackage("SETUP.exe", MakePackage("spine_a.b.scr", saver));
    driver::Process process;
    HWND window = StartAndWaitForWindow(process, exe, "\"" + exe + "\"");
    ASSERT_TRUE(window) << "no window of class SetupWClass";

    EXPECT_EQ(saver, ReadBytes(SaverPath("spine_a.b.scr")));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), rect.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), rect.bottom);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME));
    EXPECT_EQ("Setup", driver::WindowText(window));
    EXPECT_EQ(static_cast<ULONG_PTR>(CS_SAVEBITS), GetClassLongPtrA(window, GCL_STYLE));

    // The setup screen on the display: the gradient's first and last bands, and the empty
    // bar (progress 0) near its left edge, away from the centred percentage.
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    const RECT bar = driver::ProgressBarRect(width, height);
    for (int i = 0; i < 100 && driver::ScreenPixel(width - 2, 1) != RGB(0, 0, 255); ++i)
        Sleep(50);
    EXPECT_EQ(RGB(0, 0, 255), driver::ScreenPixel(width - 2, 1));
    EXPECT_EQ(RGB(0, 0, 2), driver::ScreenPixel(width / 2, height - 1));
    EXPECT_EQ(RGB(255, 255, 255), driver::ScreenPixel(bar.left + 2, bar.top + 2));

    EXPECT_TRUE(ClosesWithEscape(process, window));
}

TEST_F(SpineTest, ReplacesAFileOfTheSameName)
{
    std::string target = SaverPath("spine_replace.scr");
    ASSERT_TRUE(driver::WriteBytes(target, ByteVector(100000, 0xEE)));
    ByteVector saver = MakeSaver(ByteVector(), 300);
    std::string exe = WritePackage("SETUP.exe", MakePackage("spine_replace.scr", saver));
    driver::Process process;
    HWND window = StartAndWaitForWindow(process, exe, "\"" + exe + "\"");
    ASSERT_TRUE(window);
    EXPECT_EQ(saver, ReadBytes(target));
    EXPECT_TRUE(ClosesWithEscape(process, window));
}

// Without a saver of the same name before, the extracted file stays; with one, that saver
// takes its name back and no set-aside copy is left.
TEST_F(SpineTest, NoSaverBoundaryEndsSilentlyButKeepsTheFile)
{
    ByteVector saver(5000, 0x33);
    const ByteVector previous(700, 0x44);
    std::string exe = WritePackage("SETUP.exe", MakePackage("spine_nodata.scr", saver));
    std::string target = SaverPath("spine_nodata.scr");
    for (bool hadPrevious : {false, true}) {
        SCOPED_TRACE(hadPrevious ? "a saver of that name before" : "no saver of that name before");
        DeleteFileA(target.c_str());
        if (hadPrevious) {
            ASSERT_TRUE(driver::WriteBytes(target, previous));
        }
        std::set<std::string> before = ListFiles(systemDir_);
        driver::Process process;
        ASSERT_TRUE(process.Start(exe, "\"" + exe + "\""));
        EXPECT_TRUE(EndsWithoutABox(process));
        EXPECT_EQ(hadPrevious ? previous : saver, ReadBytes(target));
        before.insert("spine_nodata.scr");
        EXPECT_EQ(before, ListFiles(systemDir_));
    }
}

TEST_F(SpineTest, EmptyPayloadLeavesAnEmptyFile)
{
    std::string exe = WritePackage("SETUP.exe", MakePackage("spine_empty.scr", ByteVector()));
    driver::Process process;
    ASSERT_TRUE(process.Start(exe, "\"" + exe + "\""));
    EXPECT_TRUE(EndsWithoutABox(process));
    std::string target = SaverPath("spine_empty.scr");
    EXPECT_TRUE(driver::FileExists(target));
    EXPECT_TRUE(ReadBytes(target).empty());
}

}  // namespace
}  // namespace spine
