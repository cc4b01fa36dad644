// The import-table recorders behind gdi_trace.h.
#include "tests/common/gdi_trace.h"

#include "tests/common/loaded_image.h"
#include "tests/common/pe_image.h"

namespace {

bool g_recording = false;
int g_creations = 0;
int g_failAt = 0;
std::vector<GdiCall> g_calls;

decltype(&CreateCompatibleDC) g_createDC;
decltype(&CreateBitmap) g_createBitmap;
decltype(&CreateCompatibleBitmap) g_createCompatibleBitmap;
decltype(&DeleteDC) g_deleteDC;
decltype(&DeleteObject) g_deleteObject;
decltype(&BitBlt) g_bitBlt;
decltype(&SetBkColor) g_setBkColor;

void Record(GdiCall::Kind kind, HANDLE handle, HDC source = nullptr, DWORD value = 0)
{
    if (g_recording)
        g_calls.push_back({kind, handle, source, value});
}

bool FailThisCreation()
{
    return g_recording && ++g_creations == g_failAt;
}

HDC WINAPI TraceCreateDC(HDC dc)
{
    HDC made = FailThisCreation() ? nullptr : g_createDC(dc);
    Record(GdiCall::kCreateDC, made);
    return made;
}

HBITMAP WINAPI TraceCreateBitmap(int width, int height, UINT planes, UINT bits, const void* data)
{
    HBITMAP made = FailThisCreation() ? nullptr : g_createBitmap(width, height, planes, bits, data);
    Record(GdiCall::kCreateBitmap, made);
    return made;
}

HBITMAP WINAPI TraceCreateCompatibleBitmap(HDC dc, int width, int height)
{
    HBITMAP made = FailThisCreation() ? nullptr : g_createCompatibleBitmap(dc, width, height);
    Record(GdiCall::kCreateCompatibleBitmap, made);
    return made;
}

BOOL WINAPI TraceDeleteDC(HDC dc)
{
    Record(GdiCall::kDeleteDC, dc);
    return g_deleteDC(dc);
}

BOOL WINAPI TraceDeleteObject(HGDIOBJ object)
{
    Record(GdiCall::kDeleteObject, object);
    return g_deleteObject(object);
}

BOOL WINAPI TraceBitBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, DWORD rop)
{
    Record(GdiCall::kBitBlt, dest, source, rop);
    return g_bitBlt(dest, x, y, cx, cy, source, sx, sy, rop);
}

COLORREF WINAPI TraceSetBkColor(HDC dc, COLORREF colour)
{
    Record(GdiCall::kSetBkColor, dc, nullptr, colour);
    return g_setBkColor(dc, colour);
}

template <typename F>
int Patch(const char* name, F hook, F* original)
{
    return PatchImport("gdi32.dll", name, reinterpret_cast<void*>(hook), reinterpret_cast<void**>(original));
}

}  // namespace

int InstallGdiTrace()
{
    static int installed = Patch("CreateCompatibleDC", TraceCreateDC, &g_createDC) &&
                           Patch("CreateBitmap", TraceCreateBitmap, &g_createBitmap) &&
                           Patch("CreateCompatibleBitmap", TraceCreateCompatibleBitmap, &g_createCompatibleBitmap) &&
                           Patch("DeleteDC", TraceDeleteDC, &g_deleteDC) &&
                           Patch("DeleteObject", TraceDeleteObject, &g_deleteObject) &&
                           Patch("BitBlt", TraceBitBlt, &g_bitBlt) &&
                           Patch("SetBkColor", TraceSetBkColor, &g_setBkColor);
    return installed;
}

void StartGdiTrace(int failAt)
{
    g_calls.clear();
    g_creations = 0;
    g_failAt = failAt;
    g_recording = true;
}

std::vector<GdiCall> StopGdiTrace()
{
    g_recording = false;
    return g_calls;
}
