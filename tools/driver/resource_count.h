// Counting a process's own live GDI objects and kernel handles, from inside it, where Wine
// answers the platform's counters with 0 (GetGuiResources, GetProcessHandleCount).
#pragma once
#include <windows.h>

namespace driver {

// Wine's per-process GDI handle table accepts a handle of index only (no generation) for any
// live entry, so probing every index counts them.
inline int CountOwnGdiObjects()
{
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count)
        return static_cast<int>(count);
    int live = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)))
            ++live;
    return live;
}

// Kernel handles are multiples of 4; GetHandleInformation answers for a live one and changes
// nothing. Wine hands out the lowest free values, so the first 16384 hold a small process's.
inline int CountOwnKernelHandles()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count)
        return static_cast<int>(count);
    int live = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++live;
    return live;
}

}  // namespace driver
