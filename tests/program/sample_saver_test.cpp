// The sample screen saver started as the system starts it (SAMPLE_SCR): /s covers the screen
// with a topmost window and ends on a key or a real mouse move but not on jitter; /p draws
// into the preview window it is given and ends when that window goes away.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tools/driver/driver.h"

namespace {

const char kSaverClass[] = "AuroraSaverClass";

// The saver started with the arguments the system gives it.
bool StartSaver(const std::string& arguments, driver::Process* saver)
{
    std::string scr = driver::EnvPath("SAMPLE_SCR");
    return !scr.empty() && saver->Start(scr, "\"" + scr + "\" " + arguments);
}

// The saver's window once it shows (a child of parent, or a top-level window), else null.
// A loaded machine can take many seconds to start a program under Wine.
HWND WaitForSaverWindow(HWND parent)
{
    for (int i = 0; i < 400; ++i) {
        HWND window = FindWindowExA(parent, nullptr, kSaverClass, nullptr);
        if (window)
            return window;
        Sleep(50);
    }
    return nullptr;
}

bool Ended(driver::Process& saver, DWORD milliseconds)
{
    DWORD code = 0;
    return saver.WaitExit(milliseconds, &code);
}

// Pumps this thread's messages for a while (the preview parent lives on this thread).
void Pump(DWORD milliseconds)
{
    DWORD end = GetTickCount() + milliseconds;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(10);
    }
}

// How many of the sample points across the top rows show the sky (blue over red), once at
// least want of them do or timeoutMs has passed.
int WaitForSky(int want, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HDC screen = GetDC(nullptr);
        int sky = 0;
        for (int x = 8; x < GetSystemMetrics(SM_CXSCREEN); x += 64) {
            COLORREF c = GetPixel(screen, x, 4);
            if (c != CLR_INVALID && GetBValue(c) > GetRValue(c) + 20)
                ++sky;
        }
        ReleaseDC(nullptr, screen);
        if (sky >= want || GetTickCount() - start > timeoutMs)
            return sky;
        Pump(100);
    }
}

TEST(SampleSaver, FullScreenEndsOnARealMouseMoveNotOnJitter)
{
    driver::Process saver;
    ASSERT_TRUE(StartSaver("/s", &saver)) << "SAMPLE_SCR names sample.scr";
    HWND window = WaitForSaverWindow(nullptr);
    ASSERT_TRUE(window);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), rect.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), rect.bottom);
    EXPECT_NE(0, GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

    // The first move message (the platform's own when the window shows, or ours) comes from
    // where the cursor stands; the moves after it are measured from there.
    POINT start;
    ASSERT_TRUE(GetCursorPos(&start));
    // The moves are sent, so each is handled when its call returns: a close the saver posts
    // itself stands in its queue before the redraw switch posted behind them, and has been
    // handled once that switch has cleared the window's visible style.
    for (int step : {0, 3})
        SendMessageTimeoutA(window, WM_MOUSEMOVE, 0, MAKELPARAM(start.x + step, start.y + step), SMTO_NORMAL, 5000,
                            nullptr);
    PostMessageA(window, WM_SETREDRAW, FALSE, 0);
    for (int poll = 0; poll < 1000 && GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE; ++poll)
        Sleep(10);
    EXPECT_TRUE(IsWindow(window)) << "jitter of a few pixels ended the saver";
    EXPECT_FALSE(GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) << "the saver never handled the redraw switch";
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(start.x + 60, start.y + 40));
    EXPECT_TRUE(Ended(saver, 5000));
}

TEST(SampleSaver, FullScreenEndsOnAKey)
{
    driver::Process saver;
    ASSERT_TRUE(StartSaver("/s", &saver));
    HWND window = WaitForSaverWindow(nullptr);
    ASSERT_TRUE(window);

    // The night sky on screen: blue over red in the top rows, never the plain black background.
    // The first frame may take a while where the saver runs emulated: wait for it.
    EXPECT_GE(WaitForSky(12, 10000), 12);

    PostMessageA(window, WM_KEYDOWN, 'A', 0);
    EXPECT_TRUE(Ended(saver, 5000));
}

TEST(SampleSaver, PreviewDrawsIntoItsParentUntilItGoesAway)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "SaverPreviewHost";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "preview", WS_POPUP | WS_VISIBLE, 40, 40, 152, 112, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(parent);
    driver::Process saver;
    ASSERT_TRUE(StartSaver("/p " + std::to_string(reinterpret_cast<UINT_PTR>(parent)), &saver));
    HWND child = nullptr;
    for (int i = 0; i < 100 && !child; ++i) {
        Pump(50);
        child = FindWindowExA(parent, nullptr, kSaverClass, nullptr);
    }
    ASSERT_TRUE(child);
    RECT rect;
    GetClientRect(child, &rect);
    EXPECT_EQ(152, rect.right);
    EXPECT_EQ(112, rect.bottom);
    Pump(500);
    // What the preview shows is not checked here: under Wine a child window of another process
    // is not composed onto the screen. The full-screen test reads the picture.

    DestroyWindow(parent);
    EXPECT_TRUE(Ended(saver, 5000));
}

}  // namespace
