// The logo bitmap made from a package's bytes: every valid file of the BMP suite becomes a
// bitmap of its size whose pixels are those that the platform itself draws from the same DIB;
// hostile DIBs are refused, or drawn without a read beyond their bytes (each DIB lies at the
// end of its block, right before a page without access).
#include <gtest/gtest.h>

#include <cstdlib>

#include "screen/bitmap.h"
#include "screen/dibcheck.h"
#include "tests/common/bitmap_fixture.h"
#include "tests/common/dib_builder.h"
#include "tools/driver/driver.h"

namespace {

const uint32_t kSentinel = 0x00C0FFEE;

LONG DibWidth(const std::vector<BYTE>& dib)
{
    if (*reinterpret_cast<const DWORD*>(dib.data()) == 12)
        return reinterpret_cast<const BITMAPCOREHEADER*>(dib.data())->bcWidth;
    return reinterpret_cast<const BITMAPINFOHEADER*>(dib.data())->biWidth;
}

LONG DibHeight(const std::vector<BYTE>& dib)
{
    if (*reinterpret_cast<const DWORD*>(dib.data()) == 12)
        return reinterpret_cast<const BITMAPCOREHEADER*>(dib.data())->bcHeight;
    return std::labs(reinterpret_cast<const BITMAPINFOHEADER*>(dib.data())->biHeight);
}

// The platform's own drawing of the DIB, 1:1 into a 32-bit surface; empty when it can't.
// Encoded DIBs may leave pixels out: the surface starts black, as a new bitmap does.
std::vector<uint32_t> PlatformPixels(const SuiteFile& file, int width, int height)
{
    driver::Canvas surface(width, height);
    std::vector<uint32_t> pixels;
    const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(file.dib.data());
    const BYTE* bits = file.dib.data() + file.bitsOffset;
    int lines = SetDIBitsToDevice(surface.dc(), 0, 0, width, height, 0, 0, 0, height, bits, info, DIB_RGB_COLORS);
    if (lines == 0)
        lines = StretchDIBits(surface.dc(), 0, 0, width, height, 0, 0, width, height, bits, info, DIB_RGB_COLORS,
                              SRCCOPY);
    if (lines != 0)
        pixels.assign(surface.bits(), surface.bits() + width * height);
    for (uint32_t& p : pixels)
        p &= 0x00FFFFFF;  // alpha of 32-bit sources is no part of a screen bitmap
    return pixels;
}

// The bitmap copied 1:1 into a 32-bit surface pre-filled with the sentinel.
std::vector<uint32_t> BitmapPixels(HBITMAP bitmap, int width, int height)
{
    driver::Canvas surface(width, height, kSentinel);
    HDC source = CreateCompatibleDC(surface.dc());
    HGDIOBJ previous = SelectObject(source, bitmap);
    BitBlt(surface.dc(), 0, 0, width, height, source, 0, 0, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    std::vector<uint32_t> pixels(surface.bits(), surface.bits() + width * height);
    for (uint32_t& p : pixels)
        p &= 0x00FFFFFF;
    return pixels;
}

class LogoSuite : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(SuiteDir().empty()) << "BMPSUITE_DIR is not set"; }
};

TEST_F(LogoSuite, GoodFilesBecomeBitmapsAsThePlatformDrawsThem)
{
    std::vector<SuiteFile> files = ReadSuite("good");
    ASSERT_GE(files.size(), 20u) << "no BMP suite at '" << SuiteDir() << "'";
    int compared = 0;
    for (const SuiteFile& file : files) {
        SCOPED_TRACE(file.name);
        const int width = DibWidth(file.dib);
        const int height = DibHeight(file.dib);
        std::vector<uint32_t> expected = PlatformPixels(file, width, height);
        GuardedBlock logo(file.dib);
        HBITMAP bitmap = MakeLogoBitmap(logo.data(), logo.size());
        if (expected.empty()) {
            // The platform can't draw this kind itself: the logo may be missing, nothing more.
            ADD_FAILURE() << "the platform draws no pixels of this file" ;
            if (bitmap)
                DeleteObject(bitmap);
            continue;
        }
        ASSERT_NE(nullptr, bitmap);
        SIZE size = {};
        EXPECT_EQ(1, GetBitmapSize(bitmap, &size));
        EXPECT_EQ(width, size.cx);
        EXPECT_EQ(height, size.cy);
        std::vector<uint32_t> actual = BitmapPixels(bitmap, width, height);
        int differing = 0;
        for (size_t i = 0; i < actual.size(); ++i)
            differing += actual[i] != expected[i];
        EXPECT_EQ(0, differing) << "first pixel " << std::hex << actual[0] << " expected " << expected[0];
        DeleteObject(bitmap);
        ++compared;
    }
    EXPECT_EQ(static_cast<int>(files.size()), compared);
}

// The hostile files: refused, or (where the check finds them within their bytes) made into a
// bitmap and drawn; no read beyond the bytes in either case, by the helpers or the platform.
TEST_F(LogoSuite, BadFilesRefusedOrDrawnWithinTheirBytes)
{
    std::vector<SuiteFile> files = ReadSuite("bad");
    ASSERT_GE(files.size(), 15u);
    driver::Canvas target(200, 100, kSentinel);
    for (const SuiteFile& file : files) {
        SCOPED_TRACE(file.name);
        GuardedBlock logo(file.dib);
        int accepted = CheckPackedDib(logo.data(), logo.size());
        HBITMAP bitmap = MakeLogoBitmap(logo.data(), logo.size());
        if (!accepted) {
            EXPECT_EQ(nullptr, bitmap);
            continue;
        }
        // The platform reads the very bytes it is given, at the end of their block.
        HBITMAP direct = CreateBitmapFromDib(logo.data(), nullptr);
        EXPECT_EQ(bitmap != nullptr, direct != nullptr);
        if (direct)
            DeleteObject(direct);
        if (!bitmap)
            continue;
        SIZE size = {};
        ASSERT_EQ(1, GetBitmapSize(bitmap, &size));
        DrawKeyedBitmap(target.dc(), 0, 0, size.cx, size.cy, bitmap, 0, 0, RGB(0, 0, 0));
        EXPECT_EQ(kSentinel, target.At(199, 99));
        DeleteObject(bitmap);
    }
}

// Every DIB that the check accepts is read by the platform within its bytes, also when it is
// handed over without the copy.
TEST_F(LogoSuite, GoodFilesReadWithinTheirBytesWithoutCopy)
{
    for (const SuiteFile& file : ReadSuite("good")) {
        GuardedBlock logo(file.dib);
        HBITMAP bitmap = CreateBitmapFromDib(logo.data(), nullptr);
        EXPECT_NE(nullptr, bitmap) << file.name;
        DeleteObject(bitmap);
    }
}

// A package's logo made hostile in the ways a package can: each line a DIB and whether a
// logo comes of it. The sound lines beside the hostile ones show that the refusal is the
// fault's doing.
TEST(MakeLogoBitmap, HostileLogosGiveNull)
{
    struct Case {
        const char* name;
        DibRecipe recipe;
        int trim;             // bytes taken off the end
        int64_t headerSize;   // written over the header's size field when not -1
        uint32_t colorsUsed;  // written over biColorsUsed when not 0
        int made;
    };
    DibRecipe truncatedTable = DibFields(40, 16, 16, 8);
    truncatedTable.tableEntries = 25;
    DibRecipe rle = DibFields(40, 16, 16, 8, 1);
    rle.imageSize = 40;
    const Case cases[] = {
        {"8-bit 16 x 16", DibFields(40, 16, 16, 8), 0, -1, 0, 1},
        {"8-bit, bits 10 bytes short", DibFields(40, 16, 16, 8), 10, -1, 0, 0},
        {"24-bit, last byte missing", DibFields(40, 5, 3, 24), 1, -1, 0, 0},
        {"header size past the end", DibFields(40, 16, 16, 8), 0, 0x7FFFFFFF, 0, 0},
        {"header size 2000 in a shorter block", DibFields(40, 16, 16, 8), 0, 2000, 0, 0},
        {"header size 0", DibFields(40, 16, 16, 8), 0, 0, 0, 0},
        {"60000 x 60000 pixels claimed", DibFields(40, 60000, 60000, 24), 0, -1, 0, 0},
        {"colour table cut short", truncatedTable, 0, -1, 0, 0},
        {"colours used past 65535", DibFields(40, 16, 16, 8), 0, -1, 0x10010, 0},
        {"RLE8 16 x 16", rle, 0, -1, 0, 1},
        {"RLE8 stream past the end", rle, 1, -1, 0, 0},
        {"bit count 30000", DibFields(40, 16, 16, 30000), 0, -1, 0, 0},
        {"V4 with masks in the header", DibFields(108, 16, 16, 16, 3), 0, -1, 0, 0},
        {"4-bit core", DibFields(12, 16, 16, 4), 0, -1, 0, 1},
        {"4-bit core, 3 bytes short", DibFields(12, 16, 16, 4), 3, -1, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = BuildDib(c.recipe);
        bytes.resize(bytes.size() - c.trim);
        if (c.headerSize >= 0)
            PutU32(bytes, 0, static_cast<uint32_t>(c.headerSize));
        if (c.colorsUsed)
            PutU32(bytes, 32, c.colorsUsed);
        GuardedBlock logo(std::vector<BYTE>(bytes.begin(), bytes.end()));
        HBITMAP bitmap = MakeLogoBitmap(logo.data(), logo.size());
        EXPECT_EQ(c.made, bitmap != nullptr) << c.name;
        if (bitmap)
            DeleteObject(bitmap);
    }
}

// The logo stands anywhere in the package, at any alignment; no logo bytes give no bitmap.
TEST(MakeLogoBitmap, AnyAlignmentAndEmptyInput)
{
    std::vector<uint8_t> dib = BuildDib(DibFields(40, 7, 5, 24));
    std::vector<BYTE> shifted(dib.size() + 3, 0xEE);
    std::copy(dib.begin(), dib.end(), shifted.begin() + 3);
    HBITMAP aligned = MakeLogoBitmap(dib.data(), static_cast<DWORD>(dib.size()));
    HBITMAP odd = MakeLogoBitmap(shifted.data() + 3, static_cast<DWORD>(dib.size()));
    ASSERT_NE(nullptr, aligned);
    ASSERT_NE(nullptr, odd);
    std::vector<uint32_t> a = ReadBitmapPixels(aligned, 7, 5);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == ReadBitmapPixels(odd, 7, 5));
    DeleteObject(aligned);
    DeleteObject(odd);
    EXPECT_EQ(nullptr, MakeLogoBitmap(nullptr, static_cast<DWORD>(dib.size())));
    EXPECT_EQ(nullptr, MakeLogoBitmap(dib.data(), 0));
}

}  // namespace
