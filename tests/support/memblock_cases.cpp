// What the twenty memory-block functions do, checked through the platform: lengths through
// GlobalSize and VirtualQuery, frees through GlobalSize/GlobalFlags/VirtualQuery on the old
// address, lock counts through GlobalFlags. Every function is reached through the MemblockApi
// table, so the same cases cover the linked code and SETUP.exe's exports.
#include "tests/support/memblock_cases.h"

#include <string.h>

#include <vector>

namespace {

const DWORD kStep = 65536;

SIZE_T PageSize()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

SIZE_T RoundToPage(SIZE_T size)
{
    SIZE_T page = PageSize();
    return (size + page - 1) / page * page;
}

MEMORY_BASIC_INFORMATION Query(const void* address)
{
    MEMORY_BASIC_INFORMATION info;
    memset(&info, 0, sizeof info);
    VirtualQuery(address, &info, sizeof info);
    return info;
}

unsigned char PatternByte(SIZE_T i, unsigned seed)
{
    return static_cast<unsigned char>(seed + i * 7 + (i >> 8));
}

void Fill(void* block, SIZE_T length, unsigned seed)
{
    for (SIZE_T i = 0; i < length; ++i)
        static_cast<unsigned char*>(block)[i] = PatternByte(i, seed);
}

::testing::AssertionResult HasPattern(const void* block, SIZE_T length, unsigned seed)
{
    for (SIZE_T i = 0; i < length; ++i) {
        if (static_cast<const unsigned char*>(block)[i] != PatternByte(i, seed))
            return ::testing::AssertionFailure() << "byte " << i << " of " << length << " differs";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AllZero(const void* block, SIZE_T from, SIZE_T to)
{
    for (SIZE_T i = from; i < to; ++i) {
        if (static_cast<const unsigned char*>(block)[i] != 0)
            return ::testing::AssertionFailure() << "byte " << i << " is not zero";
    }
    return ::testing::AssertionSuccess();
}

void FillHandle(HGLOBAL handle, unsigned seed)
{
    void* bytes = GlobalLock(handle);
    ASSERT_NE(bytes, nullptr);
    Fill(bytes, GlobalSize(handle), seed);
    GlobalUnlock(handle);
}

::testing::AssertionResult HandleHasPattern(HGLOBAL handle, SIZE_T length, unsigned seed)
{
    if (GlobalSize(handle) != length)
        return ::testing::AssertionFailure() << "GlobalSize " << GlobalSize(handle) << ", want " << length;
    void* bytes = GlobalLock(handle);
    if (!bytes)
        return ::testing::AssertionFailure() << "GlobalLock failed";
    ::testing::AssertionResult result = HasPattern(bytes, length, seed);
    GlobalUnlock(handle);
    return result;
}

UINT LockCount(HGLOBAL handle)
{
    return GlobalFlags(handle) & GMEM_LOCKCOUNT;
}

// A fixed block is its own handle: locking it gives back its address.
bool IsFixed(HGLOBAL handle)
{
    void* bytes = GlobalLock(handle);
    GlobalUnlock(handle);
    return bytes == handle;
}

// The platform no longer knows the fixed block: GlobalSize of a freed block is 0.
bool FixedFreed(const void* block)
{
    return GlobalSize(const_cast<void*>(block)) == 0;
}

bool HandleFreed(HGLOBAL handle)
{
    return GlobalFlags(handle) == GMEM_INVALID_HANDLE;
}

bool VirtualReleased(const void* block)
{
    return Query(block).State == MEM_FREE;
}

// Pages made for one test and released after it, whatever it found.
struct Pages {
    explicit Pages(SIZE_T count, DWORD type = MEM_RESERVE | MEM_COMMIT, DWORD protect = PAGE_READWRITE)
        : base(static_cast<unsigned char*>(VirtualAlloc(nullptr, count * PageSize(), type, protect)))
    {
    }
    ~Pages() { VirtualFree(base, 0, MEM_RELEASE); }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;
    unsigned char* base;
};

// One readable page followed by one that cannot be touched.
struct PageThenNoAccess : Pages {
    PageThenNoAccess() : Pages(2)
    {
        DWORD old = 0;
        VirtualProtect(base + PageSize(), PageSize(), PAGE_NOACCESS, &old);
    }
    unsigned char* last_readable() const { return base + PageSize() - 1; }
    unsigned char* no_access() const { return base + PageSize(); }
};

// One readable page followed by a guard page, as at the growing end of a thread's stack.
struct PageThenGuard : Pages {
    PageThenGuard() : Pages(2)
    {
        DWORD old = 0;
        VirtualProtect(base + PageSize(), PageSize(), PAGE_READWRITE | PAGE_GUARD, &old);
    }
    unsigned char* last_readable() const { return base + PageSize() - 1; }
    unsigned char* guard() const { return base + PageSize(); }
};

} // namespace

// ---- size 0 ----

TEST_P(MemblockCases, AllocatorsTakeSizeZeroAsOne)
{
    void* block = m.AllocPtr(0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 1u);
    EXPECT_EQ(*static_cast<unsigned char*>(block), 0);
    m.FreePtr(&block);

    HGLOBAL handle = m.AllocH(0);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(IsFixed(handle));
    EXPECT_EQ(GlobalSize(handle), 1u);
    unsigned char* bytes = static_cast<unsigned char*>(GlobalLock(handle));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0);
    GlobalUnlock(handle);
    EXPECT_EQ(LockCount(handle), 0u);
    m.FreeH(&handle);

    void* pages = m.AllocVirPtr(0);
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(m.GetVirPtrLen(pages), PageSize());
    MEMORY_BASIC_INFORMATION info = Query(pages);
    EXPECT_EQ(info.RegionSize, PageSize());
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
    EXPECT_NE(m.FreeVirPtr(&pages), 0);
}

TEST_P(MemblockCases, ResizeComparesSizeZeroBeforeRaisingIt)
{
    // ReAllocPtr: 0 differs from the length 1, so a new 1-byte zero block replaces the old one.
    unsigned char* one = static_cast<unsigned char*>(m.AllocPtr(1));
    ASSERT_NE(one, nullptr);
    one[0] = 0x5A;
    unsigned char* moved = static_cast<unsigned char*>(m.ReAllocPtr(one, 0));
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, one);
    EXPECT_EQ(GlobalSize(moved), 1u);
    EXPECT_EQ(moved[0], 0);
    EXPECT_TRUE(FixedFreed(one));
    m.FreePtr(reinterpret_cast<void**>(&moved));

    // ReAllocPtr2 raises first: 0 becomes 1 with granule 1, the length already there.
    unsigned char* kept = static_cast<unsigned char*>(m.AllocPtr(1));
    ASSERT_NE(kept, nullptr);
    kept[0] = 0x5A;
    EXPECT_EQ(m.ReAllocPtr2(kept, 0, 1), kept);
    EXPECT_EQ(kept[0], 0x5A);
    m.FreePtr(reinterpret_cast<void**>(&kept));

    void* step = m.ReAllocVirPtr(nullptr, 0);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(m.GetVirPtrLen(step), kStep);
    EXPECT_EQ(Query(step).RegionSize, kStep);
    m.FreeVirPtr(&step);
}

TEST_P(MemblockCases, CopiesOfLengthZeroAreNotRaised)
{
    // A readable address that the global heap does not know: its GlobalSize is 0.
    Pages foreign(1);
    ASSERT_NE(foreign.base, nullptr);
    Fill(foreign.base, PageSize(), 3);
    ASSERT_EQ(GlobalSize(foreign.base), 0u);

    // GetPtrCopy asks for 0 bytes, not 1. Wine grants a 0-byte request a 1-byte block where
    // Windows grants 0 bytes: the copy must have what the platform gives for 0.
    void* reference = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 0);
    void* copy = m.GetPtrCopy(foreign.base);
    EXPECT_EQ(copy != nullptr, reference != nullptr);
    if (copy && reference) {
        EXPECT_EQ(GlobalSize(copy), GlobalSize(reference));
        EXPECT_TRUE(AllZero(copy, 0, GlobalSize(copy)));
    }
    m.FreePtr(&copy);
    m.FreePtr(&reference);

    // Conversions of a block of length 0 give null and leave it alone.
    EXPECT_EQ(m.PtrToHandle(foreign.base), nullptr);
    EXPECT_EQ(m.HandleFromPtr(foreign.base), nullptr);
    EXPECT_EQ(Query(foreign.base).State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_TRUE(HasPattern(foreign.base, PageSize(), 3));

    // GetCopyH passes a length of 0 on unchanged and locks nothing.
    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(empty, nullptr);
    ASSERT_EQ(GlobalSize(empty), 0u);
    UINT flags = GlobalFlags(empty);
    HGLOBAL expected = GlobalAlloc((flags >> 8) & 0xFF, 0);
    HGLOBAL emptyCopy = m.GetCopyH(empty);
    EXPECT_EQ(emptyCopy != nullptr, expected != nullptr);
    if (emptyCopy && expected) {
        EXPECT_EQ(GlobalSize(emptyCopy), GlobalSize(expected));
    }
    EXPECT_EQ(GlobalFlags(empty), flags);
    m.FreeH(&emptyCopy);
    m.FreeH(&expected);
    m.FreeH(&empty);
}

// ---- zero fill ----

TEST_P(MemblockCases, FreshBlocksAreZeroFilled)
{
    for (DWORD size : {1u, 3u, 64u, 4095u, 4096u, 4097u, 70000u}) {
        SCOPED_TRACE(size);
        void* block = m.AllocPtr(size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(GlobalSize(block), size);
        EXPECT_STREQ(static_cast<const char*>(block), "");
        EXPECT_TRUE(AllZero(block, 0, size));
        m.FreePtr(&block);

        HGLOBAL handle = m.AllocH(size);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(GlobalSize(handle), size);
        void* bytes = GlobalLock(handle);
        ASSERT_NE(bytes, nullptr);
        EXPECT_TRUE(AllZero(bytes, 0, size));
        GlobalUnlock(handle);
        m.FreeH(&handle);

        void* pages = m.AllocVirPtr(size);
        ASSERT_NE(pages, nullptr);
        EXPECT_EQ(m.GetVirPtrLen(pages), RoundToPage(size));
        EXPECT_TRUE(AllZero(pages, 0, RoundToPage(size)));
        m.FreeVirPtr(&pages);
    }
}

// ---- free functions ----

TEST_P(MemblockCases, FreePtrLeavesUnusableVariablesAlone)
{
    m.FreePtr(nullptr);

    void* empty = nullptr;
    m.FreePtr(&empty);
    EXPECT_EQ(empty, nullptr);

    // A variable address that cannot be read is not touched (nor does the call fault).
    PageThenNoAccess pages;
    m.FreePtr(reinterpret_cast<void**>(pages.no_access()));
    EXPECT_EQ(Query(pages.no_access()).Protect, static_cast<DWORD>(PAGE_NOACCESS));

    // A variable that straddles into the unreadable page is not used either.
    void** straddling = reinterpret_cast<void**>(pages.last_readable());
    memset(pages.last_readable(), 0x11, 1);
    m.FreePtr(straddling);
    EXPECT_EQ(*pages.last_readable(), 0x11);
}

TEST_P(MemblockCases, FreePtrClearsVariableOfUnreadableBlockWithoutFreeing)
{
    PageThenNoAccess pages;
    void* variable = pages.no_access();
    m.FreePtr(&variable);
    EXPECT_EQ(variable, nullptr);
    MEMORY_BASIC_INFORMATION info = Query(pages.no_access());
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_NOACCESS));
}

TEST_P(MemblockCases, FreePtrFreesOnceAndClearsVariable)
{
    void* block = m.AllocPtr(32);
    ASSERT_NE(block, nullptr);
    void* variable = block;
    m.FreePtr(&variable);
    EXPECT_EQ(variable, nullptr);
    EXPECT_TRUE(FixedFreed(block));
    m.FreePtr(&variable);
    EXPECT_EQ(variable, nullptr);
}

TEST_P(MemblockCases, FreeHUnlocksEveryLockAndFrees)
{
    m.FreeH(nullptr);
    HGLOBAL empty = nullptr;
    m.FreeH(&empty);
    EXPECT_EQ(empty, nullptr);

    HGLOBAL handle = m.AllocH(16);
    ASSERT_NE(handle, nullptr);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(GlobalLock(handle), nullptr);
    ASSERT_EQ(LockCount(handle), 3u);
    HGLOBAL variable = handle;
    m.FreeH(&variable);
    EXPECT_EQ(variable, nullptr);
    EXPECT_TRUE(HandleFreed(handle));

    // A fixed block serves as a handle too.
    HGLOBAL fixed = m.AllocPtr(8);
    ASSERT_NE(fixed, nullptr);
    HGLOBAL fixedVariable = fixed;
    m.FreeH(&fixedVariable);
    EXPECT_EQ(fixedVariable, nullptr);
    EXPECT_TRUE(FixedFreed(fixed));
}

TEST_P(MemblockCases, FreeVirPtrReleasesAndReports)
{
    EXPECT_EQ(m.FreeVirPtr(nullptr), 0);
    void* empty = nullptr;
    EXPECT_EQ(m.FreeVirPtr(&empty), 0);
    EXPECT_EQ(empty, nullptr);

    void* block = m.AllocVirPtr(100);
    ASSERT_NE(block, nullptr);
    void* variable = block;
    EXPECT_NE(m.FreeVirPtr(&variable), 0);
    EXPECT_EQ(variable, nullptr);
    EXPECT_TRUE(VirtualReleased(block));

    // The platform refuses to release from an inner page: 0, and the variable is cleared all the same.
    void* two = m.AllocVirPtr(2 * PageSize());
    ASSERT_NE(two, nullptr);
    void* inner = static_cast<unsigned char*>(two) + PageSize();
    EXPECT_EQ(m.FreeVirPtr(&inner), 0);
    EXPECT_EQ(inner, nullptr);
    EXPECT_EQ(Query(two).State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_NE(m.FreeVirPtr(&two), 0);
}

// ---- fixed blocks: length, copy, resize ----

TEST_P(MemblockCases, GetPtrLenAndGetPtrCopy)
{
    PageThenNoAccess pages;
    EXPECT_EQ(m.GetPtrLen(nullptr), 0u);
    EXPECT_EQ(m.GetPtrLen(pages.no_access()), 0u);
    EXPECT_EQ(m.GetPtrCopy(nullptr), nullptr);
    EXPECT_EQ(m.GetPtrCopy(pages.no_access()), nullptr);

    void* block = m.AllocPtr(100);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(m.GetPtrLen(block), 100u);
    Fill(block, 100, 9);
    void* copy = m.GetPtrCopy(block);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, block);
    EXPECT_EQ(GlobalSize(copy), 100u);
    EXPECT_TRUE(IsFixed(copy));
    EXPECT_TRUE(HasPattern(copy, 100, 9));
    EXPECT_TRUE(HasPattern(block, 100, 9));
    m.FreePtr(&copy);
    m.FreePtr(&block);
}

struct ResizeCase {
    DWORD length;   // of the block before
    DWORD size;     // asked for
    bool same;      // the block itself comes back
    DWORD expected; // length after
};

TEST_P(MemblockCases, ReAllocPtrKeepsOldBytesAndZeroFillsNewOnes)
{
    const ResizeCase cases[] = {
        {16, 16, true, 16},       {16, 40, false, 40},     {40, 16, false, 16},
        {1, 1, true, 1},          {1, 0, false, 1},        {100, 1, false, 1},
        {5000, 70000, false, 70000}, {70000, 5000, false, 5000},
    };
    for (const ResizeCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.length << " -> " << c.size);
        void* block = m.AllocPtr(c.length);
        ASSERT_NE(block, nullptr);
        Fill(block, c.length, c.size);
        void* result = m.ReAllocPtr(block, c.size);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result == block, c.same);
        EXPECT_EQ(GlobalSize(result), c.expected);
        DWORD kept = c.length < c.size ? c.length : c.size;
        EXPECT_TRUE(HasPattern(result, kept, c.size));
        EXPECT_TRUE(AllZero(result, kept, c.expected));
        if (!c.same) {
            EXPECT_TRUE(FixedFreed(block)) << "the old block must be freed";
        }
        m.FreePtr(&result);
    }
}

TEST_P(MemblockCases, ReAllocOfNullOrUnreadableBlockAllocates)
{
    PageThenNoAccess pages;
    for (void* start : {static_cast<void*>(nullptr), static_cast<void*>(pages.no_access())}) {
        void* made = m.ReAllocPtr(start, 10);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(GlobalSize(made), 10u);
        EXPECT_TRUE(AllZero(made, 0, 10));
        m.FreePtr(&made);

        void* raised = m.ReAllocPtr(start, 0);
        ASSERT_NE(raised, nullptr);
        EXPECT_EQ(GlobalSize(raised), 1u);
        m.FreePtr(&raised);

        void* rounded = m.ReAllocPtr2(start, 10, 16);
        ASSERT_NE(rounded, nullptr);
        EXPECT_EQ(GlobalSize(rounded), 16u);
        m.FreePtr(&rounded);
    }
    EXPECT_EQ(Query(pages.no_access()).Protect, static_cast<DWORD>(PAGE_NOACCESS));
}

TEST_P(MemblockCases, ReAllocPtr2RoundsUpToTheGranule)
{
    struct {
        DWORD size, granule, expected;
    } const cases[] = {
        {0, 16, 16}, {10, 16, 16}, {16, 16, 16}, {17, 16, 32}, {0, 1, 1},
        {5, 1, 5},   {7, 3, 9},    {9, 3, 9},    {1, 4096, 4096}, {4097, 4096, 8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "size " << c.size << " granule " << c.granule);
        void* fresh = m.ReAllocPtr2(nullptr, c.size, c.granule);
        ASSERT_NE(fresh, nullptr);
        EXPECT_EQ(GlobalSize(fresh), c.expected);
        Fill(fresh, c.expected, 5);
        // Already at the target length: the block itself.
        EXPECT_EQ(m.ReAllocPtr2(fresh, c.size, c.granule), fresh);
        EXPECT_TRUE(HasPattern(fresh, c.expected, 5));

        // From another length: a new block with the old bytes, the old one freed.
        void* other = m.AllocPtr(c.expected + 3);
        ASSERT_NE(other, nullptr);
        Fill(other, c.expected + 3, 6);
        void* moved = m.ReAllocPtr2(other, c.size, c.granule);
        ASSERT_NE(moved, nullptr);
        EXPECT_NE(moved, other);
        EXPECT_EQ(GlobalSize(moved), c.expected);
        EXPECT_TRUE(HasPattern(moved, c.expected, 6));
        EXPECT_TRUE(FixedFreed(other));
        m.FreePtr(&moved);
        m.FreePtr(&fresh);
    }
}

TEST_P(MemblockCases, UnroundableSizesGiveNullAndKeepTheBlock)
{
    void* block = m.AllocPtr(8);
    ASSERT_NE(block, nullptr);
    Fill(block, 8, 4);
    EXPECT_EQ(m.ReAllocPtr2(block, 8, 0), nullptr);            // no multiple of 0 holds a byte
    EXPECT_EQ(m.ReAllocPtr2(block, 0, 0), nullptr);
    EXPECT_EQ(m.ReAllocPtr2(block, 0xFFFFFFF1u, 16), nullptr); // rounds past 2^32
    EXPECT_EQ(m.ReAllocPtr2(nullptr, 0xFFFFFFFFu, 2), nullptr);
    EXPECT_EQ(GlobalSize(block), 8u);
    EXPECT_TRUE(HasPattern(block, 8, 4));
    m.FreePtr(&block);

    void* pages = m.AllocVirPtr(100);
    ASSERT_NE(pages, nullptr);
    Fill(pages, PageSize(), 4);
    EXPECT_EQ(m.ReAllocVirPtr(pages, 0xFFFF0001u), nullptr); // above 2^32 - 65,536
    EXPECT_EQ(m.ReAllocVirPtr(pages, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(m.ReAllocVirPtr(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(m.GetVirPtrLen(pages), PageSize());
    EXPECT_TRUE(HasPattern(pages, PageSize(), 4));
    m.FreeVirPtr(&pages);
}

// ---- virtual blocks ----

TEST_P(MemblockCases, VirtualBlocksHoldWholePages)
{
    SIZE_T page = PageSize();
    for (SIZE_T size : {SIZE_T(1), SIZE_T(100), page, page + 1, SIZE_T(kStep), SIZE_T(kStep) + 1}) {
        SCOPED_TRACE(size);
        void* block = m.AllocVirPtr(static_cast<DWORD>(size));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(m.GetVirPtrLen(block), RoundToPage(size));
        EXPECT_EQ(Query(block).RegionSize, RoundToPage(size));
        m.FreeVirPtr(&block);
    }
}

TEST_P(MemblockCases, GetVirPtrCopyCopiesTheWholeRegion)
{
    void* block = m.AllocVirPtr(100);
    ASSERT_NE(block, nullptr);
    Fill(block, PageSize(), 8);
    void* copy = m.GetVirPtrCopy(block);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, block);
    EXPECT_EQ(m.GetVirPtrLen(copy), PageSize());
    EXPECT_EQ(Query(copy).AllocationBase, copy);
    EXPECT_TRUE(HasPattern(copy, PageSize(), 8));
    EXPECT_TRUE(HasPattern(block, PageSize(), 8));
    EXPECT_NE(m.FreeVirPtr(&copy), 0);
    EXPECT_NE(m.FreeVirPtr(&block), 0);
}

TEST_P(MemblockCases, ReAllocVirPtrWorksInSteps)
{
    void* block = m.ReAllocVirPtr(nullptr, 0);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(m.GetVirPtrLen(block), kStep);
    Fill(block, kStep, 12);
    for (DWORD size : {1u, 4096u, 65535u, 65536u})
        EXPECT_EQ(m.ReAllocVirPtr(block, size), block) << size;

    void* grown = m.ReAllocVirPtr(block, kStep + 1);
    ASSERT_NE(grown, nullptr);
    EXPECT_NE(grown, block);
    EXPECT_EQ(m.GetVirPtrLen(grown), 2 * kStep);
    EXPECT_TRUE(HasPattern(grown, kStep, 12));
    EXPECT_TRUE(AllZero(grown, kStep, 2 * kStep));
    EXPECT_TRUE(VirtualReleased(block));

    void* shrunk = m.ReAllocVirPtr(grown, 10);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(m.GetVirPtrLen(shrunk), kStep);
    EXPECT_TRUE(HasPattern(shrunk, kStep, 12));
    EXPECT_TRUE(VirtualReleased(grown));
    m.FreeVirPtr(&shrunk);
}

TEST_P(MemblockCases, ReAllocVirPtrMovesAPageBlockIntoAStep)
{
    void* block = m.AllocVirPtr(100);
    ASSERT_NE(block, nullptr);
    Fill(block, PageSize(), 13);
    void* moved = m.ReAllocVirPtr(block, 100);
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, block);
    EXPECT_EQ(m.GetVirPtrLen(moved), kStep);
    EXPECT_TRUE(HasPattern(moved, PageSize(), 13));
    EXPECT_TRUE(AllZero(moved, PageSize(), kStep));
    EXPECT_TRUE(VirtualReleased(block));
    m.FreeVirPtr(&moved);
}

// Only the base of a committed, readable allocation is a virtual block; anything else is
// measured as 0 and never copied from, so nothing outside committed memory is read.
TEST_P(MemblockCases, ForeignAddressesAreNotVirtualBlocks)
{
    EXPECT_EQ(m.GetVirPtrLen(nullptr), 0u);
    EXPECT_EQ(m.GetVirPtrCopy(nullptr), nullptr);

    void* block = m.AllocVirPtr(static_cast<DWORD>(2 * PageSize()));
    ASSERT_NE(block, nullptr);
    Fill(block, 2 * PageSize(), 14);
    unsigned char* bytes = static_cast<unsigned char*>(block);
    for (void* inside : {static_cast<void*>(bytes + 1), static_cast<void*>(bytes + PageSize())}) {
        EXPECT_EQ(m.GetVirPtrLen(inside), 0u);
        EXPECT_EQ(m.GetVirPtrCopy(inside), nullptr);
        EXPECT_EQ(m.ReAllocVirPtr(inside, 10), nullptr);
    }
    EXPECT_EQ(m.GetVirPtrLen(block), 2 * PageSize());
    EXPECT_TRUE(HasPattern(block, 2 * PageSize(), 14));

    Pages reserved(4, MEM_RESERVE, PAGE_NOACCESS);
    Pages noAccess(1, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    void* heapBlock = m.AllocPtr(64);
    for (void* other : {static_cast<void*>(reserved.base), static_cast<void*>(noAccess.base), heapBlock}) {
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(m.GetVirPtrLen(other), 0u);
        EXPECT_EQ(m.GetVirPtrCopy(other), nullptr);
        EXPECT_EQ(m.ReAllocVirPtr(other, 10), nullptr);
    }
    EXPECT_EQ(GlobalSize(heapBlock), 64u);
    m.FreePtr(&heapBlock);
    m.FreeVirPtr(&block);
}

// ---- conversions ----

TEST_P(MemblockCases, HandleToPtrConsumesTheHandle)
{
    EXPECT_EQ(m.HandleToPtr(nullptr), nullptr);
    HGLOBAL handle = m.AllocH(24);
    ASSERT_NE(handle, nullptr);
    FillHandle(handle, 20);
    void* block = m.HandleToPtr(handle);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(IsFixed(block));
    EXPECT_EQ(GlobalSize(block), 24u);
    EXPECT_TRUE(HasPattern(block, 24, 20));
    EXPECT_TRUE(HandleFreed(handle));
    m.FreePtr(&block);

    // A handle that comes locked is consumed all the same: GlobalFree frees a locked handle.
    HGLOBAL locked = m.AllocH(8);
    ASSERT_NE(locked, nullptr);
    FillHandle(locked, 26);
    GlobalLock(locked);
    GlobalLock(locked);
    void* fromLocked = m.HandleToPtr(locked);
    ASSERT_NE(fromLocked, nullptr);
    EXPECT_TRUE(HasPattern(fromLocked, 8, 26));
    EXPECT_TRUE(HandleFreed(locked));
    m.FreePtr(&fromLocked);
}

TEST_P(MemblockCases, PtrFromHandleKeepsTheHandleAndItsLocks)
{
    EXPECT_EQ(m.PtrFromHandle(nullptr), nullptr);
    HGLOBAL handle = m.AllocH(24);
    ASSERT_NE(handle, nullptr);
    FillHandle(handle, 21);
    for (UINT locks = 0; locks < 3; ++locks) {
        SCOPED_TRACE(locks);
        ASSERT_EQ(LockCount(handle), locks);
        void* block = m.PtrFromHandle(handle);
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(IsFixed(block));
        EXPECT_TRUE(HasPattern(block, 24, 21));
        EXPECT_EQ(LockCount(handle), locks);
        EXPECT_TRUE(HandleHasPattern(handle, 24, 21));
        m.FreePtr(&block);
        GlobalLock(handle);
    }
    m.FreeH(&handle);
}

TEST_P(MemblockCases, PtrToHandleConsumesTheBlock)
{
    EXPECT_EQ(m.PtrToHandle(nullptr), nullptr);
    void* block = m.AllocPtr(24);
    ASSERT_NE(block, nullptr);
    Fill(block, 24, 22);
    HGLOBAL handle = m.PtrToHandle(block);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(IsFixed(handle));
    EXPECT_EQ(LockCount(handle), 0u);
    EXPECT_TRUE(HandleHasPattern(handle, 24, 22));
    EXPECT_TRUE(FixedFreed(block));
    m.FreeH(&handle);
}

TEST_P(MemblockCases, HandleFromPtrKeepsTheBlock)
{
    EXPECT_EQ(m.HandleFromPtr(nullptr), nullptr);
    PageThenNoAccess pages;
    EXPECT_EQ(m.HandleFromPtr(pages.no_access()), nullptr);
    EXPECT_EQ(m.PtrToHandle(pages.no_access()), nullptr);

    void* block = m.AllocPtr(24);
    ASSERT_NE(block, nullptr);
    Fill(block, 24, 23);
    HGLOBAL handle = m.HandleFromPtr(block);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(IsFixed(handle));
    EXPECT_EQ(LockCount(handle), 0u);
    EXPECT_TRUE(HandleHasPattern(handle, 24, 23));
    EXPECT_EQ(GlobalSize(block), 24u);
    EXPECT_TRUE(HasPattern(block, 24, 23));
    m.FreeH(&handle);
    m.FreePtr(&block);
}

TEST_P(MemblockCases, GetCopyHMakesAFixedCopyAndKeepsTheSourceLocks)
{
    EXPECT_EQ(m.GetCopyH(nullptr), nullptr);
    HGLOBAL handle = m.AllocH(40);
    ASSERT_NE(handle, nullptr);
    FillHandle(handle, 24);
    GlobalLock(handle);
    GlobalLock(handle);
    ASSERT_EQ(LockCount(handle), 2u);

    // Only the attribute byte (0 here) goes to GlobalAlloc, never the lock count: the copy is fixed.
    HGLOBAL copy = m.GetCopyH(handle);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, handle);
    EXPECT_TRUE(IsFixed(copy));
    EXPECT_TRUE(HandleHasPattern(copy, 40, 24));
    EXPECT_EQ(LockCount(handle), 2u);
    EXPECT_TRUE(HandleHasPattern(handle, 40, 24));

    // The fixed copy serves as a handle for the handle functions.
    HGLOBAL second = m.GetCopyH(copy);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(HandleHasPattern(second, 40, 24));
    void* block = m.PtrFromHandle(second);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(HasPattern(block, 40, 24));
    m.FreePtr(&block);
    m.FreeH(&second);
    m.FreeH(&copy);
    m.FreeH(&handle);

    // A freed handle is refused rather than copied.
    EXPECT_EQ(m.GetCopyH(handle), nullptr);
}

// The copy is allocated with the attribute byte of GlobalFlags moved down into the low byte:
// whatever GlobalAlloc makes of that byte is what GetCopyH gives. Windows refuses 0x01 (from
// GMEM_DISCARDABLE) where Wine takes any byte as a fixed block; the comparison holds on both.
TEST_P(MemblockCases, GetCopyHAllocatesWithTheAttributeByteMovedDown)
{
    for (UINT flags : {UINT(GMEM_MOVEABLE | GMEM_DISCARDABLE), UINT(GMEM_MOVEABLE | GMEM_DDESHARE)}) {
        SCOPED_TRACE(flags);
        HGLOBAL handle = GlobalAlloc(flags, 32);
        ASSERT_NE(handle, nullptr);
        FillHandle(handle, 25);
        UINT attributes = (GlobalFlags(handle) >> 8) & 0xFF;
        HGLOBAL reference = GlobalAlloc(attributes, 32);
        HGLOBAL copy = m.GetCopyH(handle);
        ASSERT_EQ(copy != nullptr, reference != nullptr);
        if (copy) {
            EXPECT_EQ(IsFixed(copy), IsFixed(reference));
            EXPECT_EQ(GlobalFlags(copy), GlobalFlags(reference));
            EXPECT_TRUE(HandleHasPattern(copy, 32, 25));
        }
        EXPECT_TRUE(HandleHasPattern(handle, 32, 25));
        m.FreeH(&copy);
        m.FreeH(&reference);
        m.FreeH(&handle);
    }
}

// ---- byte utilities ----

TEST_P(MemblockCases, CalcCheckSumAddsSignedBytes)
{
    struct {
        const char* bytes;
        DWORD length;
        LONG sum;
    } const cases[] = {
        {"abc", 3, 294},      {"\xFF\x01", 2, 0},      {"\x80", 1, -128},     {"abc", 0, 0},
        {"\x7F\x80", 2, -1},  {"\xFF\xFF\xFF", 3, -3}, {"\x7F\x7F", 2, 254},  {"abc\x80", 3, 294},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "length " << c.length);
        EXPECT_EQ(m.CalcCheckSum(c.bytes, c.length), c.sum);
    }

    // A null or unreadable block sums to 0 whatever the length; so does a range that runs into
    // memory that cannot be read.
    PageThenNoAccess pages;
    *pages.last_readable() = 5;
    for (DWORD length : {0u, 1u, 100u}) {
        EXPECT_EQ(m.CalcCheckSum(nullptr, length), 0);
        EXPECT_EQ(m.CalcCheckSum(pages.no_access(), length), 0);
    }
    EXPECT_EQ(m.CalcCheckSum(pages.last_readable(), 1), 5);
    EXPECT_EQ(m.CalcCheckSum(pages.last_readable(), 2), 0);
}

TEST_P(MemblockCases, CalcCheckSumWrapsAt32Bits)
{
    // 17 million bytes of 127 pass 2^31: the sum wraps instead of saturating.
    const DWORD length = 17000000;
    std::vector<unsigned char> bytes(length, 0x7F);
    LONG expected = static_cast<LONG>(static_cast<DWORD>(127ull * length));
    ASSERT_LT(expected, 0);
    EXPECT_EQ(m.CalcCheckSum(bytes.data(), length), expected);

    // Mixed bytes against a sum done here in 64 bits.
    for (DWORD i = 0; i < 1000; ++i)
        bytes[i] = static_cast<unsigned char>(i * 37);
    long long reference = 0;
    for (DWORD i = 0; i < 1000; ++i)
        reference += static_cast<signed char>(bytes[i]);
    EXPECT_EQ(m.CalcCheckSum(bytes.data(), 1000), static_cast<LONG>(reference));
}

TEST_P(MemblockCases, EqualPtrComparesCountBytes)
{
    struct {
        const char* first;
        const char* second;
        DWORD count;
        BOOL equal;
    } const cases[] = {
        {"abcd", "abcd", 4, 1}, {"abcd", "abcx", 4, 0}, {"abcd", "abcx", 3, 1},
        {"xbcd", "abcd", 4, 0}, {"abcd", "abcd", 5, 1}, {"a", "b", 0, 1},
        {nullptr, nullptr, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.first ? c.first : "null") << " " << c.count);
        EXPECT_EQ(m.EqualPtr(c.first, c.second, c.count), c.equal);
    }

    // Ranges that cannot be read for the whole count are never equal.
    PageThenNoAccess pages;
    *pages.last_readable() = 'a';
    EXPECT_EQ(m.EqualPtr(pages.last_readable(), "a", 1), 1);
    EXPECT_EQ(m.EqualPtr(pages.last_readable(), "ab", 2), 0);
    EXPECT_EQ(m.EqualPtr("ab", pages.last_readable(), 2), 0);
    EXPECT_EQ(m.EqualPtr(nullptr, "a", 1), 0);
}

// ---- guard pages ----

// Every function that checks a pointer takes a guard page for memory it must not touch, and the
// guard is still set afterwards: a probing read would have taken it off (and with it the stack
// growth of a thread whose guard page this is).
TEST_P(MemblockCases, GuardPagesAreRefusedAndKeepTheirGuard)
{
    PageThenGuard pages;
    void* guard = pages.guard();
    *pages.last_readable() = 7;
    ASSERT_EQ(Query(guard).Protect, static_cast<DWORD>(PAGE_READWRITE | PAGE_GUARD));

    EXPECT_EQ(m.GetPtrLen(guard), 0u);
    EXPECT_EQ(m.GetPtrCopy(guard), nullptr);
    EXPECT_EQ(m.PtrToHandle(guard), nullptr);
    EXPECT_EQ(m.HandleFromPtr(guard), nullptr);
    EXPECT_EQ(m.CalcCheckSum(guard, 1), 0);
    EXPECT_EQ(m.CalcCheckSum(pages.last_readable(), 2), 0);
    EXPECT_EQ(m.EqualPtr(guard, "a", 1), 0);
    EXPECT_EQ(m.EqualPtr("ab", pages.last_readable(), 2), 0);
    EXPECT_EQ(m.GetVirPtrLen(guard), 0u);
    EXPECT_EQ(m.GetVirPtrCopy(guard), nullptr);
    EXPECT_EQ(m.ReAllocVirPtr(guard, 10), nullptr);
    for (void* made : {m.ReAllocPtr(guard, 10), m.ReAllocPtr2(guard, 10, 16)}) {
        EXPECT_NE(made, nullptr) << "a guarded block is replaced, never read";
        m.FreePtr(&made);
    }
    void* variable = guard;
    m.FreePtr(&variable);
    EXPECT_EQ(variable, nullptr);
    // The guard page as the caller's variable, and a variable that runs into it.
    m.FreePtr(static_cast<void**>(guard));
    m.FreeH(static_cast<HGLOBAL*>(guard));
    EXPECT_EQ(m.FreeVirPtr(static_cast<void**>(guard)), 0);
    m.FreePtr(reinterpret_cast<void**>(pages.last_readable()));

    MEMORY_BASIC_INFORMATION info = Query(guard);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE | PAGE_GUARD)) << "the guard was taken off";
    EXPECT_EQ(*pages.last_readable(), 7);
}
