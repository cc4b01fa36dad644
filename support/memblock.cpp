// The memory-block library that SETUP.exe exports: movable handles (...H), fixed blocks (...Ptr)
// and virtual blocks (...VirPtr), their conversions, comparison and byte sum.
//
// No bookkeeping of our own: no block header, no list, no static state. Every length is asked of
// the platform when it is needed (GlobalSize for global memory, VirtualQuery's RegionSize for
// virtual memory). A resize never works in place: it makes a new block, copies the shorter
// length and frees the old block, unless the length already equals the target.
//
// Hardening beyond the plain contract, so that no caller can make a function read or write memory
// it was not given. Every pointer check asks VirtualQuery about the pages and touches no byte: a
// probing read would swallow the fault, take the guard off a thread's stack page (its next growth
// then kills the process) and say nothing about the memory a moment later.
//   - a free function checks the caller's whole variable (readable and writable) before use;
//   - CalcCheckSum and EqualPtr check the whole range they are asked to read;
//   - PtrToHandle and HandleFromPtr refuse an unreadable block, as the other Ptr functions do;
//   - a virtual block is only measured, copied or resized when its address is the base of a
//     committed, readable allocation; the copy never goes past the committed run;
//   - rounding up never overflows: a target that does not fit 32 bits gives null, and a
//     granule of 0 gives null (there is no multiple of 0 that holds a byte);
//   - GetCopyH refuses a handle the platform reports as invalid, and releases what it made when a
//     lock fails; PtrToHandle and HandleFromPtr free the new handle when it cannot be locked.
#include "support/memblock.h"

#include <string.h>

static const UINT kFixedZeroed = GMEM_FIXED | GMEM_ZEROINIT;      // 0x0040
static const UINT kMovableZeroed = GMEM_MOVEABLE | GMEM_ZEROINIT; // 0x0042
static const DWORD kVirtualStep = 65536;
static const DWORD kMaxDword = 0xFFFFFFFFu;

static const DWORD kReadableAccess = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                              PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
static const DWORD kWritableAccess = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// The pages of one region allow `access` without a fault: committed, one of the access kinds,
// and neither guarded nor closed.
static bool RegionAllows(const MEMORY_BASIC_INFORMATION& info, DWORD access)
{
    return info.State == MEM_COMMIT && (info.Protect & access) && !(info.Protect & (PAGE_GUARD | PAGE_NOACCESS));
}

// Every page of the `length` bytes at `address` allows `access`, region by region; null, an
// empty range and a range that wraps the address space are refused.
static bool RangeAllows(const void* address, SIZE_T length, DWORD access)
{
    ULONG_PTR at = reinterpret_cast<ULONG_PTR>(address);
    if (!address || length == 0 || at + length - 1 < at)
        return false;
    const ULONG_PTR last = at + length - 1;
    for (;;) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0 || !RegionAllows(info, access))
            return false;
        ULONG_PTR regionLast = reinterpret_cast<ULONG_PTR>(info.BaseAddress) + (info.RegionSize - 1);
        if (regionLast >= last)
            return true;
        at = regionLast + 1;
    }
}

// The first byte is there to be read; a null address never is.
static bool Readable(const void* address)
{
    return RangeAllows(address, 1, kReadableAccess);
}

// The caller's variable can be read and written as a whole (every writable page is readable).
static bool VariableUsable(void* variable, size_t width)
{
    return RangeAllows(variable, width, kWritableAccess);
}

static DWORD ClampToDword(SIZE_T length)
{
    return length > kMaxDword ? kMaxDword : static_cast<DWORD>(length);
}

// GlobalSize of a readable fixed block, 0 for anything else.
static SIZE_T FixedLength(const void* block)
{
    return Readable(block) ? GlobalSize(const_cast<void*>(block)) : 0;
}

static void* NewFixed(SIZE_T size)
{
    return GlobalAlloc(kFixedZeroed, size == 0 ? 1 : size);
}

// Frees a fixed block through a copy of its address, as FreePtr does, leaving the caller's
// variable alone.
static void ReleaseFixed(void* block)
{
    FreePtr(&block);
}

// The readable committed length at the base of a virtual allocation, 0 when the address is not
// such a base (null, inside a block, free, reserved only, or guarded).
static SIZE_T VirtualLength(const void* block)
{
    MEMORY_BASIC_INFORMATION info;
    if (!block || VirtualQuery(block, &info, sizeof info) == 0)
        return 0;
    if (info.AllocationBase != block || info.BaseAddress != block || !RegionAllows(info, kReadableAccess))
        return 0;
    return info.RegionSize;
}

static void* NewVirtual(SIZE_T size)
{
    return VirtualAlloc(nullptr, size == 0 ? 1 : size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

// A fixed copy of a handle's bytes; when `consume`, the handle is freed after the copy. The
// handle is locked once and unlocked once, so it keeps the lock count it came with.
static void* FixedFromHandle(HGLOBAL handle, bool consume)
{
    void* source = GlobalLock(handle);
    if (!source)
        return nullptr;
    SIZE_T length = GlobalSize(handle);
    void* block = NewFixed(length);
    if (!block) {
        GlobalUnlock(handle);
        return nullptr;
    }
    memcpy(block, source, length);
    GlobalUnlock(handle);
    if (consume)
        GlobalFree(handle);
    return block;
}

// A movable copy of a fixed block's bytes, unlocked; when `consume`, the block is freed after.
static HGLOBAL HandleFromFixed(void* block, bool consume)
{
    SIZE_T length = FixedLength(block);
    if (length == 0)
        return nullptr;
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, length);
    if (!handle)
        return nullptr;
    void* target = GlobalLock(handle);
    if (!target) {
        GlobalFree(handle);
        return nullptr;
    }
    memcpy(target, block, length);
    GlobalUnlock(handle);
    if (consume)
        ReleaseFixed(block);
    return handle;
}

// `size` rounded up to a multiple of `granule`, without overflow; false when the multiple does not
// fit 32 bits or the granule is 0 (no multiple of 0 holds a byte).
static bool RoundUp(DWORD size, DWORD granule, DWORD* rounded)
{
    if (granule == 0)
        return false;
    DWORD below = size - size % granule;
    if (below == size) {
        *rounded = size;
        return true;
    }
    if (below > kMaxDword - granule)
        return false;
    *rounded = below + granule;
    return true;
}

// A new fixed block of `target` bytes holding the start of `block`, which is then freed; the
// block itself when its length already is the target. Null (old block kept) when the allocation
// fails. An unreadable or null block is neither read nor freed.
static void* ResizeFixed(void* block, DWORD compared, DWORD target)
{
    if (!Readable(block))
        return NewFixed(target);
    SIZE_T current = FixedLength(block);
    if (compared == current)
        return block;
    void* moved = NewFixed(target);
    if (!moved)
        return nullptr;
    memcpy(moved, block, current < target ? current : target);
    ReleaseFixed(block);
    return moved;
}

// ---- movable handles ----

HGLOBAL WINAPI AllocH(DWORD size)
{
    return GlobalAlloc(kMovableZeroed, size == 0 ? 1 : size);
}

void WINAPI FreeH(HGLOBAL* handle)
{
    if (!VariableUsable(handle, sizeof *handle) || !*handle)
        return;
    UINT locks = GlobalFlags(*handle) & GMEM_LOCKCOUNT;
    for (UINT i = 0; i < locks; ++i)
        GlobalUnlock(*handle);
    GlobalFree(*handle);
    *handle = nullptr;
}

// The copy is allocated with the attribute byte that GlobalFlags reports (bits 8-15 moved down
// to bits 0-7), so a plain handle from AllocH gives a fixed block, which still serves as a handle.
HGLOBAL WINAPI GetCopyH(HGLOBAL handle)
{
    if (!handle)
        return nullptr;
    UINT flags = GlobalFlags(handle);
    if (flags == GMEM_INVALID_HANDLE)
        return nullptr;
    SIZE_T length = GlobalSize(handle);
    HGLOBAL copy = GlobalAlloc((flags >> 8) & 0xFF, length);
    if (!copy || length == 0)
        return copy;
    void* source = GlobalLock(handle);
    void* target = source ? GlobalLock(copy) : nullptr;
    if (!target) {
        if (source)
            GlobalUnlock(handle);
        GlobalFree(copy);
        return nullptr;
    }
    memcpy(target, source, length);
    GlobalUnlock(handle);
    GlobalUnlock(copy);
    return copy;
}

// ---- fixed blocks ----

void* WINAPI AllocPtr(DWORD size)
{
    return NewFixed(size);
}

void WINAPI FreePtr(void** block)
{
    if (!VariableUsable(block, sizeof *block) || !*block)
        return;
    if (Readable(*block))
        GlobalFree(*block);
    *block = nullptr;
}

DWORD WINAPI GetPtrLen(const void* block)
{
    return ClampToDword(FixedLength(block));
}

// The new size is compared before a 0 is raised to 1, so size 0 on a 1-byte block moves it.
void* WINAPI ReAllocPtr(void* block, DWORD size)
{
    return ResizeFixed(block, size, size);
}

void* WINAPI ReAllocPtr2(void* block, DWORD size, DWORD granule)
{
    DWORD target = 0;
    if (!RoundUp(size == 0 ? 1 : size, granule, &target))
        return nullptr;
    return ResizeFixed(block, target, target);
}

// Unlike AllocPtr, a length of 0 stays 0.
void* WINAPI GetPtrCopy(const void* block)
{
    if (!Readable(block))
        return nullptr;
    SIZE_T length = FixedLength(block);
    void* copy = GlobalAlloc(kFixedZeroed, length);
    if (copy && length != 0)
        memcpy(copy, block, length);
    return copy;
}

// ---- virtual blocks ----

void* WINAPI AllocVirPtr(DWORD size)
{
    return NewVirtual(size);
}

BOOL WINAPI FreeVirPtr(void** block)
{
    if (!VariableUsable(block, sizeof *block) || !*block)
        return 0;
    BOOL released = VirtualFree(*block, 0, MEM_RELEASE);
    *block = nullptr;
    return released;
}

DWORD WINAPI GetVirPtrLen(const void* block)
{
    return ClampToDword(VirtualLength(block));
}

// The copy covers the source's whole committed run, in whole pages.
void* WINAPI GetVirPtrCopy(const void* block)
{
    SIZE_T length = VirtualLength(block);
    if (length == 0)
        return nullptr;
    void* copy = NewVirtual(length);
    if (copy)
        memcpy(copy, block, length);
    return copy;
}

// Works in steps of 65,536 bytes, so that a growing buffer moves only when it crosses a step.
void* WINAPI ReAllocVirPtr(void* block, DWORD size)
{
    DWORD target = 0;
    if (!RoundUp(size == 0 ? 1 : size, kVirtualStep, &target))
        return nullptr;
    if (!block)
        return NewVirtual(target);
    SIZE_T current = VirtualLength(block);
    if (current == 0)
        return nullptr;
    if (current == target)
        return block;
    void* moved = NewVirtual(target);
    if (!moved)
        return nullptr;
    memcpy(moved, block, current < target ? current : target);
    FreeVirPtr(&block);
    return moved;
}

// ---- conversions ----

void* WINAPI HandleToPtr(HGLOBAL handle)
{
    return FixedFromHandle(handle, true);
}

void* WINAPI PtrFromHandle(HGLOBAL handle)
{
    return FixedFromHandle(handle, false);
}

HGLOBAL WINAPI PtrToHandle(void* block)
{
    return HandleFromFixed(block, true);
}

HGLOBAL WINAPI HandleFromPtr(const void* block)
{
    return HandleFromFixed(const_cast<void*>(block), false);
}

// ---- byte utilities ----

BOOL WINAPI EqualPtr(const void* first, const void* second, DWORD count)
{
    if (count == 0)
        return 1;
    if (!RangeAllows(first, count, kReadableAccess) || !RangeAllows(second, count, kReadableAccess))
        return 0;
    const unsigned char* a = static_cast<const unsigned char*>(first);
    const unsigned char* b = static_cast<const unsigned char*>(second);
    for (DWORD i = 0; i < count; ++i) {
        if (a[i] != b[i])
            return 0;
    }
    return 1;
}

// Each byte counts as a signed 8-bit value; the 32-bit sum wraps.
LONG WINAPI CalcCheckSum(const void* block, DWORD length)
{
    if (!Readable(block) || (length != 0 && !RangeAllows(block, length, kReadableAccess)))
        return 0;
    const signed char* bytes = static_cast<const signed char*>(block);
    DWORD sum = 0;
    for (DWORD i = 0; i < length; ++i)
        sum += static_cast<DWORD>(static_cast<LONG>(bytes[i]));
    return static_cast<LONG>(sum);
}
