// The setup window's procedure. For now it only stands: Escape closes the window, and its
// destruction ends the message loop.
#include "screen/wndproc.h"

LRESULT CALLBACK SetupWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
