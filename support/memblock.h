// The memory-block library that SETUP.exe exports by name (ordinals 1-20, alphabetical):
// fixed blocks (...Ptr), movable handles (...H) and virtual blocks (...VirPtr), their
// conversions (X-To-Y consumes the source, Y-From-X copies it), comparison and byte sum.
// Sizes, lengths and counts are 32-bit unsigned; the free functions take the address of the
// caller's variable and set it to null.
#pragma once
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

HGLOBAL WINAPI AllocH(DWORD size);
void* WINAPI AllocPtr(DWORD size);
void* WINAPI AllocVirPtr(DWORD size);
LONG WINAPI CalcCheckSum(const void* block, DWORD length);
BOOL WINAPI EqualPtr(const void* first, const void* second, DWORD count);
void WINAPI FreeH(HGLOBAL* handle);
void WINAPI FreePtr(void** block);
BOOL WINAPI FreeVirPtr(void** block);
HGLOBAL WINAPI GetCopyH(HGLOBAL handle);
void* WINAPI GetPtrCopy(const void* block);
DWORD WINAPI GetPtrLen(const void* block);
void* WINAPI GetVirPtrCopy(const void* block);
DWORD WINAPI GetVirPtrLen(const void* block);
HGLOBAL WINAPI HandleFromPtr(const void* block);
void* WINAPI HandleToPtr(HGLOBAL handle);
void* WINAPI PtrFromHandle(HGLOBAL handle);
HGLOBAL WINAPI PtrToHandle(void* block);
void* WINAPI ReAllocPtr(void* block, DWORD size);
void* WINAPI ReAllocPtr2(void* block, DWORD size, DWORD granule);
void* WINAPI ReAllocVirPtr(void* block, DWORD size);

#ifdef __cplusplus
}
#endif
