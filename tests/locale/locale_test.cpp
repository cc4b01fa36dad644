// The setup's texts on a system of another ANSI code page (LOCALE_CODEPAGE: 932, 1252 or
// 65001): the whole flow of the real SETUP.exe, its boxes read back in UTF-16, the title and
// the bar read off the screen. The code page 932 run keeps its pictures in
// LOCALE_REFERENCE_DIR; the other runs must show exactly the same pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/driver/driver.h"

namespace {

const DWORD kTimeout = 30000;

const wchar_t kQuestionFormat[] = L"「%s」スクリーンセーバーのインストールを開始します。\r\n\r\nよろしいですか?";
const wchar_t kNoticeFormat[] = L"%s\r\nをスクリーンセーバーとして設定しました。";

// The screen of 1024 x 768: the two title lines, and the progress bar with its percentage.
const RECT kTitleArea = {0, 0, 1024, 160};
const RECT kBarArea = {682, 708, 1004, 748};

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

// The screen's pixels inside area, as 32-bit rows.
ByteVector ScreenPixels(const RECT& area)
{
    int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ByteVector pixels;
    if (memory && section) {
        HGDIOBJ old = SelectObject(memory, section);
        if (BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY)) {
            GdiFlush();
            pixels.assign(static_cast<unsigned char*>(bits), static_cast<unsigned char*>(bits) + width * height * 4);
        }
        SelectObject(memory, old);
    }
    if (memory)
        DeleteDC(memory);
    if (section)
        DeleteObject(section);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The pixels inside area once the window's drawing has reached the screen: two reads in a
// row that agree (the X server may still be taking the last of a paint).
ByteVector SettledPixels(const RECT& area)
{
    ByteVector last = ScreenPixels(area);
    for (int tries = 0; tries < 25; ++tries) {
        Sleep(200);
        ByteVector now = ScreenPixels(area);
        if (now == last)
            return now;
        last = now;
    }
    return last;
}

// Under code page 932 the pixels become the reference; under any other they must equal it.
void ExpectAsUnder932(const char* name, const RECT& area)
{
    ByteVector pixels = SettledPixels(area);
    ASSERT_FALSE(pixels.empty()) << name << ": the screen could not be read";
    std::string path = driver::EnvPath("LOCALE_REFERENCE_DIR") + "\\" + name + ".pixels";
    if (RunCodePage() == 932) {
        ASSERT_TRUE(driver::WriteBytes(path, pixels)) << path;
        return;
    }
    ByteVector reference = driver::ReadBytes(path);
    ASSERT_FALSE(reference.empty()) << path << ": the code page 932 run keeps it";
    if (reference == pixels)
        return;
    std::string seen = driver::EnvPath("LOCALE_REFERENCE_DIR") + "\\" + name + "-" + std::to_string(RunCodePage()) + ".pixels";
    driver::WriteBytes(seen, pixels);
    ADD_FAILURE() << name << " differs from the code page 932 run; this run's pixels: " << seen;
}

// The next box of the process, once the one it showed before (if any) is gone.
HWND NextBox(const driver::Process& process, HWND previous)
{
    for (DWORD start = GetTickCount(); previous && IsWindow(previous) && GetTickCount() - start < kTimeout;)
        Sleep(20);
    HWND box = driver::WaitForWindow(process.id(), "#32770", kTimeout);
    Sleep(300);  // let it and the screen behind it finish painting
    return box;
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
    HWND StartAndAsk(const std::string& fileName)
    {
        saverPath_ = driver::SystemDirectory() + "\\" + fileName;
        std::string package = scratch_.File("SETUP.exe");
        EXPECT_TRUE(driver::WriteBytes(package, driver::MakePackage(fileName, driver::MakeSaver())));
        EXPECT_TRUE(process_.Start(package, "\"" + package + "\""));
        EXPECT_TRUE(driver::WaitForWindow(process_.id(), "SetupWClass", kTimeout)) << "no setup window";
        return NextBox(process_, nullptr);
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
    HWND question = StartAndAsk("Aurora.scr");
    ASSERT_TRUE(question) << "no question";
    EXPECT_EQ(L"質問", WideText(question));
    EXPECT_EQ(Format(kQuestionFormat, L"Aurora"), WideBoxText(question));
    ExpectAsUnder932("title", kTitleArea);

    driver::PressBoxButton(question, IDYES);
    HWND notice = NextBox(process_, question);
    ASSERT_TRUE(notice) << "no notice";
    EXPECT_EQ(L"情報", WideText(notice));
    EXPECT_EQ(Format(kNoticeFormat, L"Aurora"), WideBoxText(notice));
    ExpectAsUnder932("bar", kBarArea);
    driver::PressBoxButton(notice, IDOK);
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

    HWND question = StartAndAsk(name);
    ASSERT_TRUE(question) << "no question";
    EXPECT_EQ(Format(kQuestionFormat, title), WideBoxText(question));
    driver::PressBoxButton(question, IDNO);
    ExpectExit();
    EXPECT_FALSE(driver::FileExists(saverPath_));
}

}  // namespace
