// The setup's texts on a system of another ANSI code page (LOCALE_CODEPAGE: 932, 1252 or
// 65001): the whole flow of the real SETUP.exe, its boxes read back in UTF-16, the title and
// the bar read off the screen. The code page 932 run keeps its pictures in
// LOCALE_REFERENCE_DIR; the other runs must show exactly the same pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/program/spine_fixture.h"

namespace {

const DWORD kTimeout = 30000;


// The screen of 1024 x 768: the two title lines, and the progress bar with its percentage.
const RECT kTitleArea = {0, 0, 1024, 160};
const RECT kBarArea = driver::ProgressBarRect(1024, 768);

UINT RunCodePage()
{
    const char* value = getenv("LOCALE_CODEPAGE");
    return value ? static_cast<UINT>(atoi(value)) : 0;
}

std::wstring WideText(HWND window)
{
    WCHAR text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

std::wstring ShownText(HWND box)
{
    HWND label = GetDlgItem(box, 0xFFFF);
    return label ? WideText(label) : std::wstring();
}

// The screen's pixels inside area, four bytes a pixel.
ByteVector ScreenPixels(const RECT& area)
{
    driver::ScreenImage screen;
    ByteVector pixels;
    if (driver::CaptureScreen(&screen))
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                for (int shift = 0; shift < 32; shift += 8)
                    pixels.push_back(static_cast<unsigned char>(screen.At(x, y) >> shift));
    return pixels;
}

// Under code page 932 the pixels become the reference; whether under any other they equal it.
::testing::AssertionResult ShowsAsUnder932(const char* name, const RECT& area)
{
    ByteVector pixels = ScreenPixels(area);
    if (pixels.empty())
        return ::testing::AssertionFailure() << name << ": the screen could not be read";
    std::string path = driver::EnvPath("LOCALE_REFERENCE_DIR") + "\\" + name + ".pixels";
    if (RunCodePage() == 932) {
        if (driver::WriteBytes(path, pixels))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << path << " could not be written";
    }
    ByteVector reference = driver::ReadBytes(path);
    if (reference.empty())
        return ::testing::AssertionFailure() << path << ": the code page 932 run keeps it";
    if (reference == pixels)
        return ::testing::AssertionSuccess();
    std::string seen =
        driver::EnvPath("LOCALE_REFERENCE_DIR") + "\\" + name + "-" + std::to_string(RunCodePage()) + ".pixels";
    driver::WriteBytes(seen, pixels);
    return ::testing::AssertionFailure() << name << " differs from the code page 932 run; this run's pixels: " << seen;
}

class LocaleFlow : public spine::SpineTest {
protected:
    void SetUp() override
    {
        SpineTest::SetUp();
        ASSERT_EQ(RunCodePage(), GetACP()) << "the run's locale did not give its code page";
    }
    // Starts the package of a saver named fileName (bytes of the ANSI code page) and waits for
    // its first box, the question.
    driver::Box StartAndAsk(const std::string& fileName)
    {
        saverPath_ = SaverPath(fileName);
        std::string package = WritePackage("SETUP.exe", driver::MakePackage(fileName, driver::MakeSaver()));
        EXPECT_TRUE(StartAndWaitForWindow(process_, package, "\"" + package + "\"")) << "no setup window";
        return driver::WaitForBox(process_, kTimeout);
    }

    driver::Process process_;
    std::string saverPath_;
};

TEST_F(LocaleFlow, BoxesAndScreenReadAsUnder932)
{
    driver::Box question = StartAndAsk("Aurora.scr");
    ASSERT_TRUE(question.window) << "no question";
    EXPECT_EQ(BoxTextOf(IDS_START_QUESTION).caption, WideText(question.window));
    EXPECT_EQ(WideBoxText(IDS_START_QUESTION, L"Aurora"), ShownText(question.window));
    EXPECT_TRUE(ShowsAsUnder932("title", kTitleArea));

    ASSERT_TRUE(driver::AnswerBox(question, IDYES));
    driver::Box notice = driver::WaitForBox(process_, kTimeout);
    ASSERT_TRUE(notice.window) << "no notice";
    EXPECT_EQ(BoxTextOf(IDS_SAVER_SET).caption, WideText(notice.window));
    EXPECT_EQ(WideBoxText(IDS_SAVER_SET, L"Aurora"), ShownText(notice.window));
    EXPECT_TRUE(ShowsAsUnder932("bar", kBarArea));
    ASSERT_TRUE(driver::AnswerBox(notice, IDOK));
    EXPECT_TRUE(EndsWithoutABox(process_, true));
    EXPECT_TRUE(driver::FileExists(saverPath_));
}

// The saver's title is a file name, in the system's ANSI code page, whatever it holds.
TEST_F(LocaleFlow, TitleReadInTheAnsiCodePage)
{
    std::wstring title = RunCodePage() == 932 ? L"オーロラ" : RunCodePage() == 1252 ? L"Café" : L"Café オーロラ";
    char name[MAX_PATH] = {};
    BOOL lossy = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, (title + L".scr").c_str(), -1, name, MAX_PATH, nullptr,
                                  GetACP() == CP_UTF8 ? nullptr : &lossy),
              0);
    ASSERT_FALSE(lossy);

    driver::Box question = StartAndAsk(name);
    ASSERT_TRUE(question.window) << "no question";
    EXPECT_EQ(WideBoxText(IDS_START_QUESTION, title), ShownText(question.window));
    ASSERT_TRUE(driver::AnswerBox(question, IDNO));
    EXPECT_TRUE(EndsWithoutABox(process_, true));
    EXPECT_FALSE(driver::FileExists(saverPath_));
}

}  // namespace
