// The setup window's procedure. It stands and shows the setup screen: the fonts live with
// the window, every paint request draws the whole screen, Escape closes the window, and its
// destruction ends the message loop. The progress timer and the questions come later.
#include "screen/wndproc.h"

#include "screen/compose.h"

enum { kPaintFull = 0 };

static void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc)
        return;
    PaintSetupScreen(window, dc, kPaintFull);
    EndPaint(window, &paint);
}

LRESULT CALLBACK SetupWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CreateSetupFonts();
        return 0;
    case WM_PAINT:
        OnPaint(window);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case WM_DESTROY:
        DeleteSetupFonts();
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
