// Temporary and numbered names and the whole-file writer under Wine, against real files and
// directories, one table each. A name counts as taken when any entry has its base name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/tempname.h"
#include "tools/driver/driver.h"

namespace {

// A file, or a directory when the name ends in a backslash.
void Make(const std::string& path)
{
    if (path.back() == '\\') {
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
    } else {
        EXPECT_TRUE(driver::WriteBytes(path, ByteVector{'x'})) << path;
    }
}

// directory\yyyymmdd_hhmmssmmm.TMP split; false when the name has another form.
bool SplitTempName(const std::string& name, std::string* directory, std::string* stamp)
{
    size_t slash = name.rfind('\\');
    if (slash == std::string::npos || name.size() != slash + 1 + 18 + 4 || name.compare(name.size() - 4, 4, ".TMP"))
        return false;
    *directory = name.substr(0, slash);
    *stamp = name.substr(slash + 1, 18);
    return stamp->find_first_not_of("0123456789_") == std::string::npos && (*stamp)[8] == '_';
}

std::string TempDirectory()
{
    char temp[MAX_PATH];
    std::string dir(temp, GetTempPathA(MAX_PATH, temp));
    return dir.substr(0, dir.size() - 1);  // without its trailing backslash
}

TEST(TimeStampName, EighteenCharactersOfTheLocalTime)
{
    struct {
        SYSTEMTIME time;  // year, month, day of the week, day, hour, minute, second, ms
        const char* name;
    } cases[] = {
        {{2001, 1, 1, 1, 0, 0, 0, 0}, "20010101_000000000"},
        {{2001, 4, 3, 18, 9, 30, 0, 0}, "20010418_093000000"},
        {{2099, 12, 4, 31, 23, 59, 59, 999}, "20991231_235959999"},
    };
    for (auto& c : cases) {
        char buffer[32];
        memset(buffer, 0xAA, sizeof buffer);
        FormatTimeStampName(&c.time, buffer);
        EXPECT_STREQ(c.name, buffer);
        EXPECT_EQ('\xAA', buffer[19]) << "written beyond 19 bytes";
    }
    char name[MAX_PATH];
    std::string directory, stamp;
    MakeTempName(name);
    ASSERT_TRUE(SplitTempName(name, &directory, &stamp)) << name;
    EXPECT_EQ(TempDirectory(), directory);
}

TEST(UniqueTempName, DirectoryChoiceAndFit)
{
    driver::ScratchDir scratch("tempname_unique");
    Make(scratch.File("file.txt"));
    const std::string temp = TempDirectory(), missing = scratch.File("missing\\deeper");
    const std::string longDir = scratch.path() + "\\" + std::string(240 - scratch.path().size(), 'd');
    struct {
        bool null;
        std::string directory;
        std::string expected;  // the result's directory; "" when the result must be empty
    } cases[] = {
        {true, "", temp},
        {false, "", temp},
        {false, scratch.path(), scratch.path()},
        {false, scratch.path() + "\\", scratch.path()},
        {false, scratch.File("file.txt"), temp},  // a file given as directory
        {false, missing, missing},
        {false, longDir, ""},  // the name would not fit
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.null ? "(null)" : c.directory);
        char result[MAX_PATH + 16];
        memset(result, 0xAA, sizeof result);
        MakeUniqueTempName(c.null ? nullptr : c.directory.c_str(), result);
        EXPECT_EQ('\xAA', result[MAX_PATH]) << "written beyond the 260 bytes";
        std::string directory, stamp;
        if (c.expected.empty()) {
            EXPECT_STREQ("", result);
        } else {
            ASSERT_TRUE(SplitTempName(result, &directory, &stamp)) << result;
            EXPECT_EQ(c.expected, directory) << "exactly one backslash before the stamp";
        }
    }
    EXPECT_FALSE(driver::FileExists(scratch.File("missing"))) << "a directory was created";
    EXPECT_EQ((std::set<std::string>{"file.txt"}), driver::ListNames(scratch.path()));
}

// The system clock in 100 ns units, and the time stamp of such a moment in local time.
ULONGLONG Clock()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

std::string StampAt(ULONGLONG clock)
{
    FILETIME utc = {static_cast<DWORD>(clock), static_cast<DWORD>(clock >> 32)}, local;
    SYSTEMTIME time;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &time);
    char stamp[32];
    FormatTimeStampName(&time, stamp);
    return stamp;
}

// Entries named after every millisecond of a window a little ahead of the clock, with any
// extension, none, and as directories; called inside that window, the operation pauses and
// tries new stamps until the clock has left it.
TEST(UniqueTempName, WaitsForAStampThatIsFree)
{
    driver::ScratchDir scratch("tempname_taken");
    const ULONGLONG kMillisecond = 10000, kLead = 3000, kWindow = 400;
    const char* kinds[] = {".TMP", ".doc", "", ".d\\", "\\"};
    const ULONGLONG start = Clock() + kLead * kMillisecond;
    const std::string first = StampAt(start), last = StampAt(start + (kWindow - 1) * kMillisecond);
    for (ULONGLONG ms = 0; ms < kWindow; ++ms)
        Make(scratch.File(StampAt(start + ms * kMillisecond) + kinds[ms % 5]));
    ASSERT_LT(StampAt(Clock()), first) << "making the entries took longer than the lead";
    while (Clock() < start)
        Sleep(1);

    std::string called = StampAt(Clock());
    char result[MAX_PATH];
    MakeUniqueTempName(scratch.path().c_str(), result);
    ASSERT_LT(called, last) << "the call came after the taken window";
    std::string directory, stamp;
    ASSERT_TRUE(SplitTempName(result, &directory, &stamp)) << result;
    EXPECT_EQ(scratch.path(), directory);
    EXPECT_GT(stamp, last) << "a taken stamp was handed out";
}

TEST(NumberedName, NextFreeNumberAfterTheDigits)
{
    // A path of 259 bytes with one digit: the next number would not fit.
    const std::string longName = std::string(253 - driver::ScratchDir("tempname_numbered").path().size(), 'n');
    struct {
        std::vector<std::string> existing;  // made first; a backslash at the end makes a directory
        std::string wanted;
        std::string result;  // "" when refused
    } cases[] = {
        {{"report12.txt"}, "report12.txt", "report13.txt"},
        {{"report12.txt", "report13.txt"}, "report12.txt", "report14.txt"},
        {{"report.txt"}, "report.txt", "report0.txt"},
        {{"report007.txt"}, "report007.txt", "report8.txt"},
        {{"123.txt"}, "123.txt", "124.txt"},
        {{"199.txt"}, "199.txt", "1100.txt"},
        {{"9.txt"}, "9.txt", "90.txt"},
        {{"report"}, "report", "report0"},
        {{"report12"}, "report12", "report120"},
        {{"a.x"}, "a.b.", "a0.b"},
        {{"report.doc"}, "report.txt", "report0.txt"},
        {{"report0.d\\", "report.doc"}, "report.txt", "report1.txt"},
        {{"other.txt"}, "report.txt", "report.txt"},
        {{"2001\\", "2001\\report12.txt"}, "2001\\report12.txt", "2001\\report13.txt"},
        {{"r99999999999999999999.txt"}, "r99999999999999999999.txt", "r100000000000000000000.txt"},
        {{"\x95\x5C" "12.txt"}, "\x95\x5C" "12.txt", "\x95\x5C" "13.txt"},
        {{longName + "9.txt"}, longName + "9.txt", ""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        driver::ScratchDir scratch("tempname_numbered");
        for (const std::string& entry : c.existing)
            Make(scratch.File(entry));
        char path[MAX_PATH + 16];
        memset(path, 0xAA, sizeof path);
        lstrcpynA(path, scratch.File(c.wanted).c_str(), MAX_PATH);
        MakeNumberedName(path);
        EXPECT_EQ(c.result.empty() ? "" : scratch.File(c.result), std::string(path));
        EXPECT_EQ('\xAA', path[MAX_PATH]) << "written beyond the 260 bytes";
    }
}

TEST(WholeFile, WrittenWholeOrNotAtAll)
{
    driver::ScratchDir scratch("tempname_write");
    // Two pages (of 4 KiB on x86 and x64) whose second can't be read: a write of both fails.
    const DWORD page = 4096;
    BYTE* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    ASSERT_TRUE(pages && VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    const ByteVector hello{'h', 'e', 'l', 'l', 'o'}, before{'o', 'l', 'd'};
    struct {
        const char* target;
        bool existed;  // the target holds "old" before
        const BYTE* data;
        DWORD length;
        int result;
    } cases[] = {
        {"new.bin", false, hello.data(), 5, 1},
        {"empty.bin", false, hello.data(), 0, 1},
        {"over.bin", true, hello.data(), 5, 1},
        {"kept.bin", true, pages, 2 * page, 0},
        {"failed.bin", false, pages, 2 * page, 0},
        {"missing\\file.bin", false, hello.data(), 5, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.target);
        std::string target = scratch.File(c.target);
        if (c.existed) {
            ASSERT_TRUE(driver::WriteBytes(target, before));
        }
        std::set<std::string> expected = driver::ListNames(scratch.path());
        if (c.result)
            expected.insert(c.target);
        EXPECT_EQ(c.result, WriteWholeFile(target.c_str(), c.data, c.length));
        if (c.result) {
            EXPECT_EQ(ByteVector(c.data, c.data + c.length), driver::ReadBytes(target));
        } else if (c.existed) {
            EXPECT_EQ(before, driver::ReadBytes(target)) << "the earlier file was touched";
        }
        EXPECT_EQ(expected, driver::ListNames(scratch.path())) << "a partial or temporary file was left behind";
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace
