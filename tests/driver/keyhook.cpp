// The driver's key hook, loaded into SETUP.exe by a hook on its main thread: as the setup
// window is being created, Escape is pressed on it. The key then waits in the window's
// queue before its message loop runs, ahead of the first timer tick, as a key typed the
// moment the program starts would.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK PressEscapeAtSetupWindow(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[32] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, "SetupWClass") == 0) {
            LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(VK_ESCAPE, MAPVK_VK_TO_VSC)) << 16;
            PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 1 | scan);
            PostMessageA(window, WM_KEYUP, VK_ESCAPE, 1 | scan | (LPARAM{3} << 30));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
