// The driver's hook procedures, loaded into SETUP.exe by a hook on its main thread.
// PressEscapeAtSetupWindow: as the setup window is being created, Escape is pressed on it.
// The key then waits in the window's queue before its message loop runs, ahead of the first
// timer tick, as a key typed the moment the program starts would.
// CountResourcesOnRequest: when the driver sends its count request to the setup window, the
// program's live GDI objects and kernel handles are counted in the program itself and left
// in two properties of that window for the driver to read (see ReadResourceCounts).
#include <windows.h>

#include "tools/driver/driver.h"
#include "tools/driver/resource_count.h"

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

extern "C" __declspec(dllexport) LRESULT CALLBACK CountResourcesOnRequest(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == RegisterWindowMessageA(driver::kCountResourcesMessage)) {
        if (call->wParam == driver::kCountAfterFillingPlatformCaches) {
            // What the platform makes once per process and keeps: the shared icons of the
            // boxes, the handle behind HKEY_CURRENT_USER that its first use opens, and what
            // the first use of an ini file keeps (a read of system.ini changes nothing).
            const LPCSTR icons[] = {IDI_ASTERISK, IDI_QUESTION, IDI_HAND, IDI_EXCLAMATION};
            for (LPCSTR icon : icons)
                LoadIconA(nullptr, icon);
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel", 0, KEY_READ, &key) == ERROR_SUCCESS)
                RegCloseKey(key);
            char value[MAX_PATH];
            GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", value, sizeof value, "system.ini");
        } else if (call->wParam == driver::kCountAfterPlantingLeaks) {
            // Never released.
            CreateSolidBrush(RGB(1, 2, 3));
            CreateEventA(nullptr, FALSE, FALSE, nullptr);
        }
        // The properties exist from the first request on, so that setting them again makes
        // nothing new that the next count would see.
        int gdi = driver::CountOwnGdiObjects();
        int handles = driver::CountOwnKernelHandles();
        SetPropA(call->hwnd, driver::kGdiObjectsProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(gdi)));
        SetPropA(call->hwnd, driver::kHandlesProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(handles)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
