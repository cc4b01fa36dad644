// Path scans on code page 932 strings, case by case, including the double-byte characters
// whose second byte is 0x5C (a backslash) or that end a path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/pathscan.h"
#include "tests/common/cp932.h"

namespace {

struct Buffer {
    char text[kPathBufferSize];
    explicit Buffer(const std::string& s)
    {
        memset(text, 0xAA, sizeof text);  // sentinel beyond the string
        memcpy(text, s.c_str(), s.size() + 1);
    }
};

std::string FileName(const std::string& path)
{
    Buffer b(path);
    char* part = ScanFileNamePart(b.text, IsCp932LeadByte);
    EXPECT_GE(part, b.text);
    EXPECT_LE(part, b.text + path.size());
    return part;
}

std::string Extension(const std::string& path)
{
    Buffer b(path);
    return ScanExtensionPart(b.text, IsCp932LeadByte);
}

std::string WithExtension(const std::string& path, const char* ext)
{
    Buffer b(path);
    EXPECT_EQ(1, ScanSetExtension(b.text, ext, IsCp932LeadByte));
    return b.text;
}

std::string Joined(const std::string& path, const char* part)
{
    Buffer b(path);
    EXPECT_EQ(1, ScanAppendPathPart(b.text, part, IsCp932LeadByte));
    return b.text;
}

TEST(FileNamePart, Table)
{
    struct { const char* path; const char* name; } cases[] = {
        {"C:\\dir\\file.txt", "file.txt"}, {"file.txt", "file.txt"}, {"\\file", "file"},
        {"C:file.txt", "file.txt"},        {"C:\\", ""},             {"C:", ""},
        {"C:a", ""},                       {"C:\\dir\\", "\\dir\\"}, {"dir\\sub\\", "dir\\sub\\"},
        {"\\", "\\"},                      {"", ""},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.name, FileName(c.path)) << "path " << c.path;
}

TEST(FileNamePart, TrailByte5CIsNoSeparator)
{
    EXPECT_EQ("\x95\x5Cx", FileName("\x95\x5Cx"));
    Buffer b("d\\\x95\x5C");
    char* part = ScanFileNamePart(b.text, IsCp932LeadByte);
    EXPECT_EQ(b.text + 2, part);  // the directory prefix is "d\"
    // A lead byte right before the NUL is a one-byte character and no separator either.
    EXPECT_EQ("x\x95", FileName("d\\x\x95").substr(0));
}

TEST(ExtensionPart, Table)
{
    struct { const char* path; const char* ext; } cases[] = {
        {"file.txt", "txt"}, {"archive.tar.gz", "gz"}, {".profile", "profile"}, {"a..b", "b"},
        {"a.b.", "b."},      {"a.b c", "b c"},         {"file.", ""},           {"a. b", ""},
        {"my.dir\\file", ""}, {"my.dir\\", ""},         {"", ""},
        {"\x95\x2E" "x", ""},  // 0x2E as a second byte is no dot
    };
    for (auto& c : cases)
        EXPECT_EQ(c.ext, Extension(c.path)) << "path " << c.path;
}

TEST(SetExtension, Table)
{
    struct { const char* path; const char* result; } cases[] = {
        {"file", "file.TMP"},       {"file.", "file.TMP"},       {"file.txt", "file.TMP"},
        {"a.b.", "a.TMP"},          {"my.dir\\file", "my.dir\\file.TMP"},
        {"file. b", "file. b.TMP"}, {"", ".TMP"},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.result, WithExtension(c.path, "TMP")) << "path " << c.path;
    EXPECT_EQ("file.txt", WithExtension("file.txt", nullptr));
    EXPECT_EQ("file.txt", WithExtension("file.txt", ""));
    EXPECT_EQ("report0.*", WithExtension("report0.txt", "*"));
}

TEST(AppendPathPart, Table)
{
    struct { const char* path; const char* part; const char* result; } cases[] = {
        {"C:\\TEMP\\", "20010418_093000000", "C:\\TEMP\\20010418_093000000"},
        {"C:\\WINDOWS\\SYSTEM", "abc.scr", "C:\\WINDOWS\\SYSTEM\\abc.scr"},
        {"C:\\", "abc.scr", "C:\\abc.scr"},
        {"", "x", "\\x"},
        {"\\", "x", "\\\\x"},
        {"C:\\dir\\", "\\x", "C:\\dir\\\\x"},
        {"C:\\dir", "", "C:\\dir\\"},
        {"C:\\dir\\", "", "C:\\dir\\"},
        {"a", "\\\\b", "a\\\\b"},          // three backslashes become two
        {"a\\", "\\\\b", "a\\\\b"},        // four become two
        {"a\\", "\\\\\\b", "a\\\\\\b"},    // five become three
        {"d\\\x95", "x", "d\\\x95\\x"},    // lead byte before the added backslash
        {"\x95\x5C", "x", "\x95\x5C\\x"},  // 0x5C second byte plus the added one: no pair
    };
    for (auto& c : cases)
        EXPECT_EQ(c.result, Joined(c.path, c.part)) << "path " << c.path << " part " << c.part;
}

TEST(AppendPathPart, NullArgumentsDoNothing)
{
    Buffer b("C:\\dir");
    EXPECT_EQ(1, ScanAppendPathPart(b.text, nullptr, IsCp932LeadByte));
    EXPECT_STREQ("C:\\dir", b.text);
    EXPECT_EQ(1, ScanAppendPathPart(nullptr, "x", IsCp932LeadByte));
}

// A result that would not fit is refused whole; the buffer and the bytes behind it stay.
TEST(Limits, OverlongResultsAreRefused)
{
    std::string dir(250, 'd');
    Buffer b(dir);
    EXPECT_EQ(0, ScanAppendPathPart(b.text, "0123456789", IsCp932LeadByte));
    EXPECT_EQ(dir, b.text);
    EXPECT_EQ('\xAA', b.text[kPathBufferSize - 1]);
    EXPECT_EQ(1, ScanAppendPathPart(b.text, "12345678", IsCp932LeadByte));  // 259 bytes: fits
    EXPECT_EQ(259u, strlen(b.text));

    std::string name(255, 'n');
    Buffer c(name);
    EXPECT_EQ(0, ScanSetExtension(c.text, "TMPX", IsCp932LeadByte));
    EXPECT_EQ(name, c.text);
    EXPECT_EQ(1, ScanSetExtension(c.text, "TMP", IsCp932LeadByte));
    EXPECT_EQ(name + ".TMP", c.text);
    // Collapsing can make a join fit that would not fit before it.
    std::string full(258, 'e');
    Buffer d(full + "\\");
    EXPECT_EQ(1, ScanAppendPathPart(d.text, "", IsCp932LeadByte));
    EXPECT_EQ(full + "\\", d.text);
}

TEST(EndsInSeparator, LeadByteBeforeFinal5C)
{
    EXPECT_EQ(1, EndsInSeparator("C:\\dir\\", IsCp932LeadByte));
    EXPECT_EQ(0, EndsInSeparator("C:\\\x95\x5C", IsCp932LeadByte));
    EXPECT_EQ(1, EndsInSeparator("C:\\\x95\x5C\\", IsCp932LeadByte));
    EXPECT_EQ(0, EndsInSeparator("", IsCp932LeadByte));
}

}  // namespace
