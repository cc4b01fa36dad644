// The twenty memory-block functions as one table, so that the same cases run against the code
// linked into the test and against SETUP.exe's exports (found by name or by ordinal).
#pragma once
#include <string>

#include "support/memblock.h"

// X(name) for every export, in ordinal order (1 to 20, the alphabetical order of the names).
#define MEMBLOCK_FUNCTIONS(X)                                                                    \
    X(AllocH) X(AllocPtr) X(AllocVirPtr) X(CalcCheckSum) X(EqualPtr) X(FreeH) X(FreePtr)         \
    X(FreeVirPtr) X(GetCopyH) X(GetPtrCopy) X(GetPtrLen) X(GetVirPtrCopy) X(GetVirPtrLen)        \
    X(HandleFromPtr) X(HandleToPtr) X(PtrFromHandle) X(PtrToHandle) X(ReAllocPtr) X(ReAllocPtr2) \
    X(ReAllocVirPtr)

struct MemblockApi {
#define MEMBLOCK_MEMBER(name) decltype(&::name) name = nullptr;
    MEMBLOCK_FUNCTIONS(MEMBLOCK_MEMBER)
#undef MEMBLOCK_MEMBER
};

// Where a table comes from: `fill` sets every entry or says why it could not.
struct MemblockSource {
    const char* name;
    bool (*fill)(MemblockApi* api, std::string* error);
};

// Fills the table from resolve(ordinal, name), which returns the address or null.
template <class Resolve>
bool FillMemblockApi(MemblockApi* api, Resolve resolve, std::string* error)
{
    int ordinal = 0;
    bool complete = true;
#define MEMBLOCK_RESOLVE(name)                                                                  \
    ++ordinal;                                                                                  \
    api->name = reinterpret_cast<decltype(api->name)>(                                          \
        reinterpret_cast<void (*)()>(resolve(ordinal, #name)));                                 \
    if (!api->name) {                                                                           \
        complete = false;                                                                       \
        *error += std::string(" ") + #name + " (ordinal " + std::to_string(ordinal) + ")";      \
    }
    MEMBLOCK_FUNCTIONS(MEMBLOCK_RESOLVE)
#undef MEMBLOCK_RESOLVE
    if (!complete)
        *error = "unresolved:" + *error;
    return complete;
}
