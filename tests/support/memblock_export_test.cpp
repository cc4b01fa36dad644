// SETUP.exe's exports, called the way another program would: the stub loaded with LoadLibraryA
// and every function found with GetProcAddress, once by name and once by ordinal, then run
// through the same cases as the linked code.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <functional>
#include <vector>

#include "tests/common/loaded_image.h"
#include "tests/common/pe_image.h"
#include "tests/support/memblock_cases.h"
#include "tools/driver/driver.h"

namespace {

const char* const kNames[] = {
#define MEMBLOCK_NAME(name) #name,
    MEMBLOCK_FUNCTIONS(MEMBLOCK_NAME)
#undef MEMBLOCK_NAME
};
const DWORD kExportCount = sizeof kNames / sizeof kNames[0];

// Every GlobalAlloc that the stub's code makes, with its flags and size: the stub's import of
// GlobalAlloc is bound to this spy, which passes the call on.
struct GlobalAllocCall {
    UINT flags;
    SIZE_T size;
    bool operator==(const GlobalAllocCall& other) const { return flags == other.flags && size == other.size; }
};
std::vector<GlobalAllocCall> g_globalAllocCalls;

void PrintTo(const GlobalAllocCall& call, std::ostream* out)
{
    *out << "GlobalAlloc(0x" << std::hex << call.flags << std::dec << ", " << call.size << ")";
}

HGLOBAL WINAPI SpyGlobalAlloc(UINT flags, SIZE_T size)
{
    g_globalAllocCalls.push_back({flags, size});
    return GlobalAlloc(flags, size);
}

FARPROC ReplaceImport(const char* dll, const char* function)
{
    if (lstrcmpiA(dll, "KERNEL32.dll") == 0 && strcmp(function, "GlobalAlloc") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SpyGlobalAlloc));
    return nullptr;
}

// The stub, loaded and prepared once for the whole run; null with the reason in `error`.
HMODULE Stub(std::string* error)
{
    static HMODULE module = nullptr;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::string path = driver::EnvPath("SETUP_EXE");
        if (path.empty())
            failure = "SETUP_EXE must name the built stub";
        else if (!(module = LoadLibraryA(path.c_str())))
            failure = "LoadLibraryA(" + path + ") failed, error " + std::to_string(GetLastError());
        else if (!PrepareLoadedImage(module, &failure, ReplaceImport))
            module = nullptr;
    }
    *error = failure;
    return module;
}

bool FillByName(MemblockApi* api, std::string* error)
{
    HMODULE stub = Stub(error);
    return stub && FillMemblockApi(api, [stub](int, const char* name) { return GetProcAddress(stub, name); }, error);
}

bool FillByOrdinal(MemblockApi* api, std::string* error)
{
    HMODULE stub = Stub(error);
    return stub && FillMemblockApi(
        api, [stub](int ordinal, const char*) { return GetProcAddress(stub, MAKEINTRESOURCEA(ordinal)); }, error);
}

const MemblockSource kByName = {"by_name", FillByName};
const MemblockSource kByOrdinal = {"by_ordinal", FillByOrdinal};

} // namespace

INSTANTIATE_MEMBLOCK_CASES(Exported, &kByName, &kByOrdinal);

TEST(SetupExports, NameAndOrdinalReachTheSameFunction)
{
    std::string error;
    HMODULE stub = Stub(&error);
    ASSERT_NE(stub, nullptr) << error;
    for (DWORD i = 0; i < kExportCount; ++i) {
        SCOPED_TRACE(kNames[i]);
        FARPROC byName = GetProcAddress(stub, kNames[i]);
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName, GetProcAddress(stub, MAKEINTRESOURCEA(i + 1)));
        MEMORY_BASIC_INFORMATION info;
        ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(byName), &info, sizeof info), 0u);
        EXPECT_EQ(info.AllocationBase, stub) << "the export must lie inside the stub's image";
    }
}

TEST(SetupExports, NoOtherOrdinalOrSpellingResolves)
{
    std::string error;
    HMODULE stub = Stub(&error);
    ASSERT_NE(stub, nullptr) << error;
    EXPECT_EQ(GetProcAddress(stub, MAKEINTRESOURCEA(kExportCount + 1)), nullptr);
    for (const char* name : {"_AllocPtr@4", "AllocPtr@4", "_AllocPtr", "allocptr", "ReAllocPtr@8", "_ReAllocPtr2@12"})
        EXPECT_EQ(GetProcAddress(stub, name), nullptr) << name;
}

// The export directory as the loaded image carries it.
TEST(SetupExports, LoadedExportDirectoryNamesTheModule)
{
    std::string error;
    HMODULE stub = Stub(&error);
    ASSERT_NE(stub, nullptr) << error;
    pe::Image image = pe::ReadLoadedImage(stub);
    ASSERT_EQ(image.error, "");
    EXPECT_EQ(image.module, "SETUP.exe");
    EXPECT_EQ(image.exportBase, 1u);
    ASSERT_EQ(image.functionCount, kExportCount);
    ASSERT_EQ(image.exports.size(), kExportCount);
    for (DWORD i = 0; i < kExportCount; ++i) {
        EXPECT_EQ(image.exports[i].name, kNames[i]);
        EXPECT_EQ(image.exports[i].ordinal, i + 1);
    }
}

// What the stub asks of GlobalAlloc: the exact flags and sizes, which the blocks alone cannot
// show everywhere (Wine grants a 0-byte request 1 byte and makes a fixed block of any unknown
// flag byte, where Windows grants 0 bytes and refuses the byte).
TEST(SetupExports, GlobalAllocIsAskedForTheRightFlagsAndSizes)
{
    std::string error;
    HMODULE stub = Stub(&error);
    ASSERT_NE(stub, nullptr) << error;
    MemblockApi m;
    ASSERT_TRUE(FillMemblockApi(&m, [stub](int, const char* name) { return GetProcAddress(stub, name); }, &error)) << error;

    void* foreign = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); // GlobalSize 0
    void* seven = GlobalAlloc(GMEM_FIXED, 7);
    void* one = GlobalAlloc(GMEM_FIXED, 1); // freed by the ReAllocPtr case
    HGLOBAL plain = GlobalAlloc(GMEM_MOVEABLE, 9);
    GlobalLock(plain);
    GlobalLock(plain);
    HGLOBAL shared = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 9);
    HGLOBAL discardable = GlobalAlloc(GMEM_MOVEABLE | GMEM_DISCARDABLE, 9);
    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_TRUE(foreign && seven && one && plain && shared && discardable && empty);
    auto moved = [](HGLOBAL h) { return (GlobalFlags(h) >> 8) & 0xFF; };

    struct Case {
        const char* what;
        std::function<void*()> call;
        GlobalAllocCall expected;
    } const cases[] = {
        {"AllocH(0)", [&] { return m.AllocH(0); }, {0x42, 1}},
        {"AllocH(5)", [&] { return m.AllocH(5); }, {0x42, 5}},
        {"AllocPtr(0)", [&] { return m.AllocPtr(0); }, {0x40, 1}},
        {"GetPtrCopy(length 0)", [&] { return m.GetPtrCopy(foreign); }, {0x40, 0}},
        {"GetPtrCopy(length 7)", [&] { return m.GetPtrCopy(seven); }, {0x40, 7}},
        {"ReAllocPtr(length 1, 0)", [&] { return m.ReAllocPtr(one, 0); }, {0x40, 1}},
        {"ReAllocPtr2(null, 0, 16)", [&] { return m.ReAllocPtr2(nullptr, 0, 16); }, {0x40, 16}},
        {"HandleFromPtr(length 7)", [&] { return m.HandleFromPtr(seven); }, {0x02, 7}},
        {"PtrFromHandle(9)", [&] { return m.PtrFromHandle(plain); }, {0x40, 9}},
        {"GetCopyH(locked twice)", [&] { return m.GetCopyH(plain); }, {moved(plain), 9}},
        {"GetCopyH(shared)", [&] { return m.GetCopyH(shared); }, {moved(shared), 9}},
        {"GetCopyH(discardable)", [&] { return m.GetCopyH(discardable); }, {moved(discardable), 9}},
        {"GetCopyH(length 0)", [&] { return m.GetCopyH(empty); }, {moved(empty), 0}},
    };
    EXPECT_EQ(moved(plain), 0u) << "the lock count stays out of the attribute byte";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_globalAllocCalls.clear();
        void* made = c.call();
        EXPECT_EQ(g_globalAllocCalls, std::vector<GlobalAllocCall>{c.expected});
        GlobalFree(made);
    }
    GlobalUnlock(plain);
    GlobalUnlock(plain);
    for (HGLOBAL h : {seven, plain, shared, discardable, empty})
        GlobalFree(h);
    VirtualFree(foreign, 0, MEM_RELEASE);
}
