// Aurora, the sample screen saver that the setup packages in its own build: soft bands of
// coloured light drifting over a night sky. A screen saver is started with one of
//   /s          run full screen until the user touches the keyboard or the mouse
//   /c[:hwnd]   show the settings (this saver has none: an about box); no argument does the same
//   /p <hwnd>   draw into the preview box of the display settings until it goes away
// The picture is computed into a small DIB section and stretched to the window, so a frame
// costs the same on any screen.
#include <windows.h>

#include <math.h>
#include <stdlib.h>

namespace {

const char kClassName[] = "AuroraSaverClass";
const UINT_PTR kFrameTimer = 1;
const UINT kFrameMilliseconds = 40;
const int kFrameWidth = 192;   // the computed picture; stretched to the window
const int kFrameHeight = 120;
const int kMouseSlack = 4;     // pixels of jitter that do not end the saver

enum Mode { kModeConfigure, kModeFullScreen, kModePreview };

struct SaverState {
    Mode mode;
    HWND previewParent;
    HDC frameDC;
    HBITMAP frameBitmap;
    HBITMAP frameOldBitmap;
    DWORD* framePixels;
    unsigned tick;
    int mouseSeen;
    POINT mouseStart;
    int sine[256];  // sin(2 pi i / 256) * 1024
};

SaverState g_saver;

// --- Command line ----------------------------------------------------------------------------

const char* SkipProgramName(const char* p)
{
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

HWND ParseWindowNumber(const char* p)
{
    while (*p == ' ' || *p == '\t' || *p == ':')
        ++p;
    UINT_PTR value = 0;
    while (*p >= '0' && *p <= '9')
        value = value * 10 + static_cast<UINT_PTR>(*p++ - '0');
    return reinterpret_cast<HWND>(value);
}

// The mode and, for /p and /c:n, the window given.
Mode ParseCommandLine(const char* line, HWND* window)
{
    const char* p = SkipProgramName(line);
    *window = nullptr;
    if (*p != '/' && *p != '-')
        return kModeConfigure;
    char option = static_cast<char>(p[1] | 0x20);
    if (option == 's')
        return kModeFullScreen;
    if (option == 'p' || option == 'l') {
        *window = ParseWindowNumber(p + 2);
        return *window ? kModePreview : kModeConfigure;
    }
    if (option == 'c')
        *window = ParseWindowNumber(p + 2);
    return kModeConfigure;
}

// --- The picture -----------------------------------------------------------------------------

void MakeSineTable()
{
    for (int i = 0; i < 256; ++i)
        g_saver.sine[i] = static_cast<int>(sin(i * 6.283185307179586 / 256.0) * 1024.0);
}

int Sine(int step)
{
    return g_saver.sine[step & 255];
}

int ClampByte(int v)
{
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// One frame of the aurora: three bands whose centres wave along the width and drift with time,
// their brightness breathing slowly, over a sky that darkens towards the horizon.
void ComputeFrame(DWORD* pixels, unsigned t)
{
    static const int kColour[3][3] = {{60, 230, 140}, {40, 190, 230}, {170, 90, 230}};
    for (int y = 0; y < kFrameHeight; ++y) {
        int skyBlue = 60 - y * 40 / kFrameHeight;
        for (int x = 0; x < kFrameWidth; ++x) {
            int r = 4, g = 6 + skyBlue / 4, b = skyBlue;
            for (int k = 0; k < 3; ++k) {
                int wave = Sine(x * (3 + k) / 2 + static_cast<int>(t) * (2 + k) + 80 * k);
                int centre = kFrameHeight * (30 + 12 * k) / 100 + wave * (kFrameHeight / 8) / 1024;
                int distance = y - centre;
                int width = kFrameHeight / 10 + (Sine(x * 2 + static_cast<int>(t) + 40 * k) + 1024) * 6 / 2048;
                if (distance < 0)
                    distance = -distance * 3;  // sharp lower edge, long glow upwards
                if (distance >= width * 3)
                    continue;
                int weight = (width * 3 - distance) * 256 / (width * 3);
                weight = weight * weight / 256;
                int breathe = 160 + (Sine(static_cast<int>(t) / 2 + 85 * k) + 1024) * 96 / 2048;
                r += kColour[k][0] * weight / 256 * breathe / 256;
                g += kColour[k][1] * weight / 256 * breathe / 256;
                b += kColour[k][2] * weight / 256 * breathe / 256;
            }
            pixels[y * kFrameWidth + x] = static_cast<DWORD>(ClampByte(r) << 16 | ClampByte(g) << 8 | ClampByte(b));
        }
    }
}

// The off-screen frame: a top-down 32-bit DIB section in a memory context of its own.
int CreateFrame(HWND window)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kFrameWidth;
    info.bmiHeader.biHeight = -kFrameHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(window);
    g_saver.frameDC = CreateCompatibleDC(screen);
    void* bits = nullptr;
    g_saver.frameBitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(window, screen);
    if (!g_saver.frameDC || !g_saver.frameBitmap)
        return 0;
    g_saver.framePixels = static_cast<DWORD*>(bits);
    g_saver.frameOldBitmap = static_cast<HBITMAP>(SelectObject(g_saver.frameDC, g_saver.frameBitmap));
    ComputeFrame(g_saver.framePixels, 0);
    return 1;
}

void DestroyFrame()
{
    if (g_saver.frameDC) {
        if (g_saver.frameOldBitmap)
            SelectObject(g_saver.frameDC, g_saver.frameOldBitmap);
        DeleteDC(g_saver.frameDC);
    }
    if (g_saver.frameBitmap)
        DeleteObject(g_saver.frameBitmap);
    g_saver.frameDC = nullptr;
    g_saver.frameBitmap = nullptr;
    g_saver.frameOldBitmap = nullptr;
    g_saver.framePixels = nullptr;
}

void ShowFrame(HWND window, HDC target)
{
    RECT client;
    GetClientRect(window, &client);
    if (!g_saver.frameDC) {
        FillRect(target, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return;
    }
    SetStretchBltMode(target, HALFTONE);
    SetBrushOrgEx(target, 0, 0, nullptr);
    StretchBlt(target, 0, 0, client.right, client.bottom, g_saver.frameDC, 0, 0, kFrameWidth, kFrameHeight, SRCCOPY);
}

// --- The window ------------------------------------------------------------------------------

// A real move of the mouse ends the full-screen saver; the first move message (sent when the
// window appears) only marks where the mouse stands, and jitter of a few pixels is ignored.
void OnMouseMove(HWND window, LPARAM where)
{
    POINT now = {static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (!g_saver.mouseSeen) {
        g_saver.mouseSeen = 1;
        g_saver.mouseStart = now;
        return;
    }
    if (abs(now.x - g_saver.mouseStart.x) > kMouseSlack || abs(now.y - g_saver.mouseStart.y) > kMouseSlack)
        PostMessageA(window, WM_CLOSE, 0, 0);
}

void OnTimer(HWND window)
{
    if (g_saver.mode == kModePreview && !IsWindow(g_saver.previewParent)) {
        DestroyWindow(window);
        return;
    }
    ++g_saver.tick;
    if (g_saver.framePixels) {
        GdiFlush();
        ComputeFrame(g_saver.framePixels, g_saver.tick);
    }
    HDC target = GetDC(window);
    ShowFrame(window, target);
    ReleaseDC(window, target);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    ShowFrame(window, target);
    EndPaint(window, &paint);
}

LRESULT CALLBACK SaverWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int fullScreen = g_saver.mode == kModeFullScreen;
    switch (message) {
    case WM_CREATE:
        CreateFrame(window);
        SetTimer(window, kFrameTimer, kFrameMilliseconds, nullptr);
        return 0;
    case WM_TIMER:
        OnTimer(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        if (fullScreen) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        if (fullScreen)
            OnMouseMove(window, lParam);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (fullScreen) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_ACTIVATEAPP:
        if (fullScreen && !wParam)
            PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case WM_SYSCOMMAND:
        // A running saver is not started again by the system while it shows.
        if (fullScreen && (wParam & 0xFFF0) == SC_SCREENSAVE)
            return 0;
        break;
    case WM_DESTROY:
        KillTimer(window, kFrameTimer);
        DestroyFrame();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int RegisterSaverClass(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SaverWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = nullptr;
    wc.lpszClassName = kClassName;
    return RegisterClassA(&wc) != 0;
}

HWND CreateSaverWindow(HINSTANCE instance)
{
    if (g_saver.mode == kModePreview) {
        RECT parent;
        if (!GetClientRect(g_saver.previewParent, &parent))
            return nullptr;
        return CreateWindowExA(0, kClassName, "Aurora", WS_CHILD | WS_VISIBLE, 0, 0, parent.right, parent.bottom,
                               g_saver.previewParent, nullptr, instance, nullptr);
    }
    HWND window = CreateWindowExA(WS_EX_TOPMOST, kClassName, "Aurora", WS_POPUP | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  instance, nullptr);
    if (window)
        SetForegroundWindow(window);
    return window;
}

int RunSaver(HINSTANCE instance)
{
    if (!RegisterSaverClass(instance))
        return 1;
    int fullScreen = g_saver.mode == kModeFullScreen;
    if (fullScreen)
        ShowCursor(FALSE);
    HWND window = CreateSaverWindow(instance);
    int result = 1;
    if (window) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        result = 0;
    }
    if (fullScreen)
        ShowCursor(TRUE);
    return result;
}

void ShowAbout(HWND owner)
{
    MessageBoxA(owner,
                "Aurora\r\n\r\n"
                "Soft bands of coloured light drift across a night sky.\r\n"
                "Touch the keyboard or the mouse to end it.\r\n\r\n"
                "This screen saver has no settings.",
                "Aurora Screen Saver", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    HWND window = nullptr;
    g_saver.mode = ParseCommandLine(GetCommandLineA(), &window);
    if (g_saver.mode == kModeConfigure) {
        ShowAbout(window && IsWindow(window) ? window : nullptr);
        return 0;
    }
    g_saver.previewParent = window;
    MakeSineTable();
    return RunSaver(instance);
}
