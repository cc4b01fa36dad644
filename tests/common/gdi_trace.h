// A trace of the drawing calls that the setup's code makes: the test program's own import
// table entries for a few GDI functions are pointed at recorders, so a test sees every context
// and bitmap made and deleted, every transfer and background colour, and can make the n-th
// creation fail.
#pragma once
#include <windows.h>

#include <vector>

struct GdiCall {
    enum Kind { kCreateDC, kCreateBitmap, kCreateCompatibleBitmap, kDeleteDC, kDeleteObject, kBitBlt, kSetBkColor };
    Kind kind;
    HANDLE handle;  // made, deleted, or the destination context
    HDC source;     // BitBlt
    DWORD value;    // BitBlt: raster operation; SetBkColor: the colour set
};

// Installs the recorders (once per process); 0 when the import table could not be changed.
int InstallGdiTrace();
// Starts a fresh trace; the failAt-th creation (1-based, 0 for none) returns null.
void StartGdiTrace(int failAt = 0);
std::vector<GdiCall> StopGdiTrace();
