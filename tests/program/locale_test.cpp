// The setup's texts on a system of another ANSI code page (LOCALE_CODEPAGE: 932, 1252 or
// 65001): the whole flow of the real SETUP.exe, its boxes read back in UTF-16, the title and
// the bar read off the screen. The code page 932 run keeps its pictures in
// LOCALE_REFERENCE_DIR; the other runs must show exactly the same pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tools/driver/driver.h"

namespace {

const DWORD kTimeout = 30000;

const wchar_t kQuestionFormat[] = L"「%s」スクリーンセーバーのインストールを開始します。\r\n\r\nよろしいですか?";
const wchar_t kNoticeFormat[] = L"%s\r\nをスクリーンセーバーとして設定しました。";

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

std::wstring WideBoxText(HWND box)
{
    HWND label = GetDlgItem(box, 0xFFFF);
    return label ? WideText(label) : std::wstring();
}

std::wstring Format(const wchar_t* format, const std::wstring& title)
{
    WCHAR text[1024];
    wsprintfW(text, format, title.c_str());
    return text;
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

class LocaleFlow : public ::testing::Test {
protected:
    LocaleFlow() : scratch_("locale") {}
    void SetUp() override
    {
        ASSERT_EQ(RunCodePage(), GetACP()) << "the run's locale did not give its code page";
        driver::ResetSaverEntries();
    }
    void TearDown() override
    {
        if (!saverPath_.empty())
            DeleteFileA(saverPath_.c_str());
        driver::ResetSaverEntries();
    }
    // Starts the package of a saver named fileName (bytes of the ANSI code page) and waits for
    // its first box, the question.
    driver::Box StartAndAsk(const std::string& fileName)
    {
        saverPath_ = driver::SystemDirectory() + "\\" + fileName;
        std::string package = scratch_.File("SETUP.exe");
        EXPECT_TRUE(driver::WriteBytes(package, driver::MakePackage(fileName, driver::MakeSaver())));
        EXPECT_TRUE(process_.Start(package, "\"" + package + "\""));
        EXPECT_TRUE(driver::WaitForWindow(process_.id(), "SetupWClass", kTimeout)) << "no setup window";
        return driver::WaitForBox(process_, kTimeout);
    }
    void ExpectExit()
    {
        DWORD code = 1234;
        ASSERT_TRUE(process_.WaitExit(kTimeout, &code));
        EXPECT_EQ(0u, code);
    }

    driver::ScratchDir scratch_;
    driver::Process process_;
    std::string saverPath_;
};

TEST_F(LocaleFlow, BoxesAndScreenReadAsUnder932)
{
    driver::Box question = StartAndAsk("Aurora.scr");
    ASSERT_TRUE(question.window) << "no question";
    EXPECT_EQ(L"質問", WideText(question.window));
    EXPECT_EQ(Format(kQuestionFormat, L"Aurora"), WideBoxText(question.window));
    EXPECT_TRUE(ShowsAsUnder932("title", kTitleArea));

    ASSERT_TRUE(driver::AnswerBox(question, IDYES));
    driver::Box notice = driver::WaitForBox(process_, kTimeout);
    ASSERT_TRUE(notice.window) << "no notice";
    EXPECT_EQ(L"情報", WideText(notice.window));
    EXPECT_EQ(Format(kNoticeFormat, L"Aurora"), WideBoxText(notice.window));
    EXPECT_TRUE(ShowsAsUnder932("bar", kBarArea));
    ASSERT_TRUE(driver::AnswerBox(notice, IDOK));
    ExpectExit();
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
    EXPECT_EQ(Format(kQuestionFormat, title), WideBoxText(question.window));
    ASSERT_TRUE(driver::AnswerBox(question, IDNO));
    ExpectExit();
    EXPECT_FALSE(driver::FileExists(saverPath_));
}

}  // namespace
