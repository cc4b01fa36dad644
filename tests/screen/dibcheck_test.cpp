// The logo's DIB check on its own, built with the address and undefined-behaviour sanitizers:
// made-to-order headers one fault at a time, then every file of the BMP suite and its
// shortened prefixes, each in a heap block of exactly its length, so that any read beyond the
// bytes stops the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "screen/dibcheck.h"
#include "tests/common/dib_builder.h"
#include "tests/common/dib_reads.h"

namespace {

// Runs the check over a copy of the first `length` bytes in a block of exactly that size; an
// accepted DIB must have all its reads within the block: -1 when it is accepted but its reads
// would end beyond the block, so that the caller's comparison fails at the case.
int CheckExact(const std::vector<uint8_t>& bytes, size_t length)
{
    std::unique_ptr<uint8_t[]> block(new uint8_t[length ? length : 1]);
    std::copy(bytes.begin(), bytes.begin() + length, block.get());
    int accepted = CheckPackedDib(length ? block.get() : nullptr, static_cast<uint32_t>(length));
    if (length == 0)
        return CheckPackedDib(block.get(), 0);
    if (accepted && DibReadEnd(block.get()) > length)
        return -1;
    if (accepted)
        TouchDibReads(block.get());
    return accepted;
}

int CheckExact(const std::vector<uint8_t>& bytes)
{
    return CheckExact(bytes, bytes.size());
}

struct FieldsCase {
    const char* name;
    DibRecipe recipe;
    int trim;  // bytes taken off the end (negative: bytes added)
    int accepted;
};

DibRecipe WithPlanes(DibRecipe s, uint16_t planes)
{
    s.planes = planes;
    return s;
}

DibRecipe WithImageSize(DibRecipe s, uint32_t imageSize)
{
    s.imageSize = imageSize;
    return s;
}

DibRecipe WithTable(DibRecipe s, uint32_t entries)
{
    s.tableEntries = entries;
    return s;
}

const FieldsCase kFieldsCases[] = {
    {"8-bit info, full table", DibFields(40, 4, 4, 8), 0, 1},
    {"8-bit info, one byte of bits short", DibFields(40, 4, 4, 8), 1, 0},
    {"8-bit info, a byte to spare", DibFields(40, 4, 4, 8), -1, 1},
    {"8-bit info, 16 colours used", DibFields(40, 5, 3, 8, 0, 16), 0, 1},
    {"8-bit info, table cut short", WithTable(DibFields(40, 4, 4, 8), 25), 0, 0},
    {"8-bit info, 257 colours used", DibFields(40, 4, 4, 8, 0, 257), 0, 0},
    {"8-bit info, 65552 colours used (counted as 16)", WithTable(DibFields(40, 4, 4, 8, 0, 65552), 16), 0, 0},
    {"1-bit info, 3 colours used", DibFields(40, 9, 2, 1, 0, 3), 0, 0},
    {"1-bit info", DibFields(40, 33, 2, 1), 0, 1},
    {"4-bit core", DibFields(12, 7, 3, 4), 0, 1},
    {"4-bit core, table cut short", WithTable(DibFields(12, 7, 3, 4), 15), 0, 0},
    {"24-bit core", DibFields(12, 3, 3, 24), 0, 1},
    {"16-bit core", DibFields(12, 3, 3, 16), 0, 0},
    {"32-bit core", DibFields(12, 3, 3, 32), 0, 0},
    {"24-bit info", DibFields(40, 3, 5, 24), 0, 1},
    {"24-bit info, 256-colour hint", DibFields(40, 3, 5, 24, 0, 256), 0, 1},
    {"24-bit info, 257-colour hint", DibFields(40, 3, 5, 24, 0, 257), 0, 0},
    {"16-bit info", DibFields(40, 3, 5, 16), 0, 1},
    {"32-bit info", DibFields(40, 3, 5, 32), 0, 1},
    {"16-bit bit fields", DibFields(40, 3, 5, 16, 3), 0, 1},
    {"16-bit bit fields, masks cut short", DibFields(40, 3, 5, 16, 3), 3 * 5 * 2 + 2 + 1, 0},
    {"32-bit bit fields", DibFields(40, 3, 5, 32, 3), 0, 1},
    {"24-bit bit fields", DibFields(40, 3, 5, 24, 3), 0, 0},
    {"8-bit bit fields", DibFields(40, 3, 5, 8, 3), 0, 0},
    {"V4 bit fields (masks inside the header)", DibFields(108, 3, 5, 16, 3), -12, 0},
    {"V5 bit fields (masks inside the header)", DibFields(124, 3, 5, 32, 3), -12, 0},
    {"V4 8-bit", DibFields(108, 4, 4, 8), 0, 1},
    {"V5 24-bit", DibFields(124, 4, 4, 24), 0, 1},
    {"JPEG compression", DibFields(40, 4, 4, 24, 4), 0, 0},
    {"PNG compression", DibFields(40, 4, 4, 24, 5), 0, 0},
    {"alpha bit fields", DibFields(40, 4, 4, 32, 6), 0, 0},
    {"RLE8", WithImageSize(DibFields(40, 4, 4, 8, 1), 10), 0, 1},
    {"RLE8 without a stream size", WithImageSize(DibFields(40, 4, 4, 8, 1), 0), 0, 0},
    {"RLE8 stream past the end", WithImageSize(DibFields(40, 4, 4, 8, 1), 10), 1, 0},
    {"RLE8 top-down", WithImageSize(DibFields(40, 4, -4, 8, 1), 10), 0, 0},
    {"RLE8 at 4 bits", WithImageSize(DibFields(40, 4, 4, 4, 1), 10), 0, 0},
    {"RLE4", WithImageSize(DibFields(40, 4, 4, 4, 2), 6), 0, 1},
    {"RLE4 at 8 bits", WithImageSize(DibFields(40, 4, 4, 8, 2), 6), 0, 0},
    {"top-down 8-bit", DibFields(40, 4, -4, 8), 0, 1},
    {"image size beyond the bits present", WithImageSize(DibFields(40, 4, 4, 24), 49), 0, 0},
    {"image size equal to the bits present", WithImageSize(DibFields(40, 4, 4, 24), 48), 0, 1},
    {"width 0", DibFields(40, 0, 4, 24), 0, 0},
    {"width -4", DibFields(40, -4, 4, 24), 0, 0},
    {"width 16384", DibFields(40, 16384, 1, 8), 0, 1},
    {"width 16385", DibFields(40, 16385, 1, 8), 0, 0},
    {"height 0", DibFields(40, 4, 0, 24), 0, 0},
    {"height -16385", DibFields(40, 4, -16385, 8), 0, 0},
    {"height -2147483648", DibFields(40, 4, INT32_MIN, 8), 0, 0},
    {"60000 x 60000 pixels", DibFields(40, 60000, 60000, 24), 0, 0},
    {"16384 x 16384 pixels without the bits", DibFields(40, 16384, 16384, 24), 0, 0},
    {"4096 x 4096 pixels, the most taken", DibFields(40, 4096, 4096, 1), 0, 1},
    {"4096 x -4096 pixels", DibFields(40, 4096, -4096, 1), 0, 1},
    {"16384 x 1024 pixels", DibFields(40, 16384, 1024, 1), 0, 1},
    {"4097 x 4096 pixels", DibFields(40, 4097, 4096, 1), 0, 0},
    {"4096 x -4097 pixels", DibFields(40, 4096, -4097, 1), 0, 0},
    {"8192 x 2049 pixels", DibFields(40, 8192, 2049, 1), 0, 0},
    {"core 4096 x 4097 pixels", DibFields(12, 4096, 4097, 1), 0, 0},
    {"RLE8 of 300 bytes, 4096 x 4096", WithImageSize(DibFields(40, 4096, 4096, 8, 1), 300), 0, 1},
    {"RLE8 of 300 bytes, 16384 x 16384", WithImageSize(DibFields(40, 16384, 16384, 8, 1), 300), 0, 0},
    {"RLE4 of 300 bytes, 16384 x 1025", WithImageSize(DibFields(40, 16384, 1025, 4, 2), 300), 0, 0},
    {"planes 0", WithPlanes(DibFields(40, 4, 4, 8), 0), 0, 0},
    {"planes 2", WithPlanes(DibFields(40, 4, 4, 8), 2), 0, 0},
    {"core planes 2", WithPlanes(DibFields(12, 4, 4, 8), 2), 0, 0},
    {"bit count 0", DibFields(40, 4, 4, 0), 0, 0},
    {"bit count 2", DibFields(40, 4, 4, 2), 0, 0},
    {"bit count 30000", WithTable(DibFields(40, 4, 4, 30000), 0), 0, 0},
    {"header size 13", DibFields(13, 4, 4, 8), 0, 0},
    {"header size 39", DibFields(39, 4, 4, 8), 0, 0},
    {"header size 41", DibFields(41, 4, 4, 8), 0, 0},
    {"header size 52", DibFields(52, 4, 4, 8), 0, 0},
    {"header size 56", DibFields(56, 4, 4, 8), 0, 0},
    {"header size 64", DibFields(64, 4, 4, 8), 0, 0},
    {"header size 125", DibFields(125, 4, 4, 8), 0, 0},
};

TEST(DibCheck, MadeToOrderHeaders)
{
    for (const FieldsCase& c : kFieldsCases) {
        std::vector<uint8_t> dib = BuildDib(c.recipe);
        if (c.trim > 0)
            dib.resize(dib.size() - std::min<size_t>(dib.size(), c.trim));
        else
            dib.resize(dib.size() - c.trim, 0x5A);
        EXPECT_EQ(c.accepted, CheckExact(dib)) << c.name;
    }
}

// A header whose size field is beyond the block, or a block too short for any header.
TEST(DibCheck, HeaderBeyondTheBlock)
{
    std::vector<uint8_t> dib = BuildDib(DibFields(40, 4, 4, 8));
    for (uint32_t size : {0u, 4u, 11u, 12u + 1, 40u + 1200, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        PutU32(dib, 0, size);
        EXPECT_EQ(0, CheckExact(dib)) << "header size " << size;
    }
    EXPECT_EQ(0, CheckPackedDib(nullptr, 100));
    for (size_t length : {0, 1, 3, 4, 11, 39})
        EXPECT_EQ(0, CheckExact(BuildDib(DibFields(40, 4, 4, 8)), length)) << "length " << length;
    EXPECT_EQ(0, CheckExact(BuildDib(DibFields(12, 4, 4, 8)), 11));
}

// A V5 header may carry a colour profile: linked profiles name files and are refused,
// embedded ones must lie within the block.
TEST(DibCheck, V5ColourProfiles)
{
    struct {
        uint32_t type, offset, size;
        int accepted;
    } cases[] = {
        {0x73524742u /* sRGB */, 0xFFFFFFF0u, 0x100, 1},
        {0x4D424544u /* MBED */, 124, 20, 1},
        {0x4D424544u, 124, 0x20000, 0},
        {0x4D424544u, 0xFFFFFFF0u, 0x20, 0},
        {0x4C494E4Bu /* LINK */, 124, 8, 0},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> dib = BuildDib(DibFields(124, 4, 4, 24));
        PutU32(dib, 56, c.type);
        PutU32(dib, 112, c.offset);
        PutU32(dib, 116, c.size);
        EXPECT_EQ(c.accepted, CheckExact(dib)) << std::hex << c.type << " " << c.offset << "+" << c.size;
    }
}

// ---- The BMP suite: real files written by another program. ----

std::filesystem::path SuiteDir()
{
    const char* dir = std::getenv("BMPSUITE_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::path();
}

// The packed DIB of a .bmp file: everything after the 14-byte file header.
std::vector<uint8_t> ReadPackedDib(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 14)
        return {};
    return std::vector<uint8_t>(bytes.begin() + 14, bytes.end());
}

std::vector<std::filesystem::path> SuiteFiles(const char* kind)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(SuiteDir() / kind))
        if (entry.path().extension() == ".bmp")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class BmpSuite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SuiteDir().empty()) << "BMPSUITE_DIR names no directory";
        ASSERT_TRUE(std::filesystem::is_directory(SuiteDir() / "good")) << SuiteDir();
    }
};

// Every valid file is taken whole, and refused at every shorter length: the suite's files
// end exactly with their bits.
TEST_F(BmpSuite, GoodFilesTakenWholeAndRefusedShortened)
{
    std::vector<std::filesystem::path> files = SuiteFiles("good");
    ASSERT_GE(files.size(), 20u);
    for (const auto& file : files) {
        std::vector<uint8_t> dib = ReadPackedDib(file);
        ASSERT_FALSE(dib.empty()) << file;
        EXPECT_EQ(1, CheckExact(dib)) << file.filename();
        for (size_t length = 0; length < dib.size(); ++length) {
            // Every length near the start and the end, a spread in between.
            if (length > 1200 && length + 70 < dib.size() && length % 97 != 0)
                continue;
            ASSERT_EQ(0, CheckExact(dib, length)) << file.filename() << " cut to " << length;
        }
    }
}

// What is refused of the hostile files, and what is left to the platform to draw: the broken
// encoded streams, odd densities and masks, indices beyond the table all lie within their bytes.
TEST_F(BmpSuite, BadFilesVerdicts)
{
    const struct {
        const char* name;
        int accepted;
    } verdicts[] = {
        {"badbitcount.bmp", 0},   {"badbitssize.bmp", 0}, {"baddens1.bmp", 1},     {"baddens2.bmp", 1},
        {"badfilesize.bmp", 1},   {"badheadersize.bmp", 0}, {"badpalettesize.bmp", 0}, {"badplanes.bmp", 0},
        {"badrle.bmp", 1},        {"badrle4.bmp", 1},     {"badrle4bis.bmp", 1},   {"badrle4ter.bmp", 1},
        {"badrlebis.bmp", 1},     {"badrleter.bmp", 1},   {"badwidth.bmp", 0},     {"pal8badindex.bmp", 1},
        {"reallybig.bmp", 0},     {"rgb16-880.bmp", 1},   {"rletopdown.bmp", 0},   {"shortfile.bmp", 0},
    };
    std::vector<std::filesystem::path> files = SuiteFiles("bad");
    ASSERT_EQ(std::size(verdicts), files.size()) << "the suite's bad files and this table differ";
    for (const auto& v : verdicts) {
        std::vector<uint8_t> dib = ReadPackedDib(SuiteDir() / "bad" / v.name);
        ASSERT_FALSE(dib.empty()) << v.name;
        EXPECT_EQ(v.accepted, CheckExact(dib)) << v.name;
    }
}

}  // namespace
