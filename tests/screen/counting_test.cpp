// Colour counts and colour-table sizes of packed DIBs, the screen bitmap made from a DIB,
// and a bitmap's size: made-to-order headers and the BMP suite's real files.
#include <gtest/gtest.h>

#include "screen/bitmap.h"
#include "tests/common/bitmap_fixture.h"
#include "tests/common/dib_builder.h"

namespace {

DibRecipe Fields(uint32_t headerSize, uint16_t bitCount, uint32_t compression = 0, uint32_t colorsUsed = 0)
{
    DibRecipe s = DibFields(headerSize, 4, 4, bitCount, compression, colorsUsed);
    s.tableEntries = 0;  // only the header is read here
    return s;
}

TEST(DibCounting, ColoursTableSizeAndBitsOffset)
{
    const struct {
        const char* name;
        DibRecipe recipe;
        WORD colours, tableBytes;
        DWORD bitsOffset;
    } cases[] = {
        {"8-bit info", Fields(40, 8), 256, 1024, 1064},
        {"8-bit info, 16 colours used", Fields(40, 8, 0, 16), 16, 64, 104},
        {"4-bit core", Fields(12, 4), 16, 48, 60},
        {"1-bit core", Fields(12, 1), 2, 6, 18},
        {"24-bit core", Fields(12, 24), 0, 0, 12},
        {"1-bit info", Fields(40, 1), 2, 8, 48},
        {"24-bit info", Fields(40, 24), 0, 0, 40},
        {"32-bit info", Fields(40, 32), 0, 0, 40},
        {"16-bit bit fields", Fields(40, 16, 3), 0, 12, 52},
        {"32-bit bit fields, 256 colours used", Fields(40, 32, 3, 256), 256, 1036, 1076},
        {"bit count 0", Fields(40, 0), 1, 4, 44},
        {"V4 8-bit", Fields(108, 8), 256, 1024, 1132},
        {"V4 16-bit bit fields: masks counted all the same", Fields(108, 16, 3), 0, 12, 120},
        {"V5 24-bit, 2 colours used", Fields(124, 24, 0, 2), 2, 8, 132},
        {"65552 colours used: low 16 bits", Fields(40, 8, 0, 65552), 16, 64, 104},
        {"16384 colours: table size wraps to 0", Fields(40, 8, 0, 16384), 16384, 0, 40},
        {"16385 colours and masks: wraps to 16", Fields(40, 16, 3, 16385), 16385, 16, 56},
        {"header size 41 read as an info header", Fields(41, 8, 0, 3), 3, 12, 53},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> dib = BuildDib(c.recipe);
        EXPECT_EQ(c.colours, CountDibColors(dib.data())) << c.name;
        EXPECT_EQ(c.tableBytes, GetDibColorTableSize(dib.data())) << c.name;
        EXPECT_EQ(c.bitsOffset, c.recipe.headerSize + GetDibColorTableSize(dib.data())) << c.name;
    }
}

// The bits begin where the files' own headers say: the table count agrees with the program
// that wrote them, for every kind of header and table in the suite.
TEST(DibCounting, SuiteFilesBitsOffsetAgreesWithFileHeader)
{
    std::vector<SuiteFile> files = ReadSuite("good");
    ASSERT_GE(files.size(), 20u) << "no BMP suite at '" << SuiteDir() << "' (BMPSUITE_DIR)";
    for (const SuiteFile& file : files) {
        DWORD headerSize = *reinterpret_cast<const DWORD*>(file.dib.data());
        EXPECT_EQ(file.bitsOffset, headerSize + GetDibColorTableSize(file.dib.data())) << file.name;
    }
}

TEST(CreateBitmapFromDib, NullDibGivesNull)
{
    EXPECT_EQ(nullptr, CreateBitmapFromDib(nullptr, nullptr));
    HDC screen = GetDC(nullptr);
    HPALETTE palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(nullptr, CreateBitmapFromDib(nullptr, palette));
    ReleaseDC(nullptr, screen);
}

// A palette realized on the screen for the conversion changes nothing on a true-colour screen,
// and the screen's own palette is back afterwards.
TEST(CreateBitmapFromDib, WithPaletteSameAsWithout)
{
    std::vector<SuiteFile> files = ReadSuite("good");
    ASSERT_FALSE(files.empty());
    const SuiteFile* pal8 = nullptr;
    for (const SuiteFile& f : files)
        if (f.name == "pal8.bmp")
            pal8 = &f;
    ASSERT_NE(nullptr, pal8);
    struct {
        LOGPALETTE header;
        PALETTEENTRY more[1];
    } logical = {{0x300, 2, {{0, 0, 255, 0}}}, {{255, 0, 0, 0}}};
    HPALETTE palette = CreatePalette(&logical.header);
    ASSERT_NE(nullptr, palette);
    HBITMAP plain = CreateBitmapFromDib(pal8->dib.data(), nullptr);
    HBITMAP withPalette = CreateBitmapFromDib(pal8->dib.data(), palette);
    ASSERT_NE(nullptr, plain);
    ASSERT_NE(nullptr, withPalette);
    std::vector<uint32_t> a = ReadBitmapPixels(plain, 127, 64);
    std::vector<uint32_t> b = ReadBitmapPixels(withPalette, 127, 64);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b);
    HDC screen = GetDC(GetDesktopWindow());
    HPALETTE current = static_cast<HPALETTE>(GetCurrentObject(screen, OBJ_PAL));
    EXPECT_NE(palette, current);
    ReleaseDC(GetDesktopWindow(), screen);
    DeleteObject(plain);
    DeleteObject(withPalette);
    EXPECT_TRUE(DeleteObject(palette));  // not left selected anywhere
}

TEST(GetBitmapSize, NullArgumentsStoreNothing)
{
    SIZE size = {-7, -9};
    EXPECT_EQ(0, GetBitmapSize(nullptr, &size));
    EXPECT_EQ(-7, size.cx);
    EXPECT_EQ(-9, size.cy);
    HBITMAP bitmap = CreateBitmap(3, 2, 1, 1, nullptr);
    EXPECT_EQ(0, GetBitmapSize(bitmap, nullptr));
    DeleteObject(bitmap);
}

TEST(GetBitmapSize, WidthThenHeight)
{
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {127, 64}, {5, 300}, {640, 2}};
    HDC screen = GetDC(nullptr);
    for (const auto& s : sizes) {
        HBITMAP monochrome = CreateBitmap(s.width, s.height, 1, 1, nullptr);
        HBITMAP colour = CreateCompatibleBitmap(screen, s.width, s.height);
        for (HBITMAP bitmap : {monochrome, colour}) {
            SIZE size = {-1, -1};
            EXPECT_EQ(1, GetBitmapSize(bitmap, &size));
            EXPECT_EQ(s.width, size.cx);
            EXPECT_EQ(s.height, size.cy);
            DeleteObject(bitmap);
        }
    }
    ReleaseDC(nullptr, screen);
}

// Left open by the design: a handle that is no bitmap gives an empty size, which draws nothing.
TEST(GetBitmapSize, HandleThatIsNoBitmapGivesEmptySize)
{
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    SIZE size = {-1, -1};
    EXPECT_EQ(1, GetBitmapSize(reinterpret_cast<HBITMAP>(brush), &size));
    EXPECT_EQ(0, size.cx);
    EXPECT_EQ(0, size.cy);
    DeleteObject(brush);
}

}  // namespace
