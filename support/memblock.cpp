// The memory-block library. Only the fixed-block pair that the setup itself uses so far.
#include "support/memblock.h"

void* WINAPI AllocPtr(DWORD size)
{
    return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size == 0 ? 1 : size);
}

void WINAPI FreePtr(void** block)
{
    if (!block || IsBadReadPtr(block, 1) || !*block)
        return;
    if (!IsBadReadPtr(*block, 1))
        GlobalFree(*block);
    *block = nullptr;
}
