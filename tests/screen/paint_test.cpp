// The setup screen drawn for real under Wine into a 32-bit DIB section and read back: the
// gradient bands, the title, the logo, the bar and its percentage, in both paint modes.
#include "tests/screen/compose_fixture.h"

#include "screen/compose.h"

using namespace compose_test;

namespace {

// "スクリーンセーバー セットアップ" in code page 932: the second title line.
const char kCaption[] = "\x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93\x83\x5A\x81\x5B\x83\x6F\x81\x5B\x20"
                        "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76";

const uint32_t kWhite = 0xFFFFFF;
const uint32_t kMagenta = 0xFF00FF;
const uint32_t kNavy = 0x000080;
const uint32_t kBlack = 0x000000;

// The whole expected screen of a W x H client area, logo aside.
Frame FullFrame(int canvasWidth, int canvasHeight, int right, int bottom)
{
    Frame frame(canvasWidth, canvasHeight, kSentinel);
    ModelGradient(&frame, right, bottom);
    ModelTitle(&frame, g_state.titleFont, g_state.saverTitle, kCaption);
    ModelBar(&frame, right, bottom, g_state.progress, g_state.percentFont);
    return frame;
}

Frame BarOnlyFrame(int right, int bottom)
{
    Frame frame(right, bottom, kSentinel);
    ModelBar(&frame, right, bottom, g_state.progress, g_state.percentFont);
    return frame;
}

class PaintTest : public ComposeTest {};

TEST_F(PaintTest, BandsOnA1024By768Screen)
{
    TestWindow window(1024, 768);
    // Wider and taller than the client area: the full mode must stay inside W x H.
    Canvas canvas(1100, 800);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);

    struct {
        int firstRow;
        int lastRow;
        int blue;
    } const bands[] = {
        {0, 6, 255},
        {7, 14, 252},
        {15, 22, 249},
        {760, 767, 2},
    };
    // Column 1010 is right of the bar and below the title: gradient only.
    for (const auto& band : bands)
        for (int row = band.firstRow; row <= band.lastRow; ++row)
            EXPECT_EQ(Rgb(0, 0, band.blue), canvas.At(1010, row) & 0xFFFFFF) << "row " << row;
    EXPECT_EQ(kSentinel, canvas.At(1024, 0));
    EXPECT_EQ(kSentinel, canvas.At(0, 768));
    EXPECT_TRUE(MatchesFrame(canvas, FullFrame(1100, 800, 1024, 768)));
}

TEST_F(PaintTest, BarPlacementFollowsTheClientSize)
{
    struct {
        int width;
        int height;
        int left;
        int barWidth;
        int top;
    } const cases[] = {
        {1024, 768, 682, 322, 708},
        {1280, 1024, 852, 408, 964},
        {800, 333, 532, 248, 273},
        {62, 70, 40, 2, 10},
    };
    g_state.progress = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        TestWindow window(c.width, c.height);
        Canvas canvas(c.width, c.height);
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
        RECT bar = driver::ProgressBarRect(c.width, c.height);
        EXPECT_EQ(c.left, bar.left);
        EXPECT_EQ(c.barWidth, bar.right - bar.left);
        EXPECT_EQ(c.top, bar.top);
        // The four corners of the bar are drawn, the pixels just outside them are not.
        int right = c.left + c.barWidth - 1;
        int bottom = c.top + 39;
        EXPECT_EQ(kMagenta, canvas.At(c.left, c.top) & 0xFFFFFF);
        EXPECT_EQ(kMagenta, canvas.At(right, bottom) & 0xFFFFFF);
        EXPECT_EQ(kSentinel, canvas.At(c.left - 1, c.top));
        EXPECT_EQ(kSentinel, canvas.At(right + 1, c.top));
        EXPECT_EQ(kSentinel, canvas.At(c.left, c.top - 1));
        EXPECT_EQ(kSentinel, canvas.At(c.left, bottom + 1));
        EXPECT_TRUE(MatchesFrame(canvas, BarOnlyFrame(c.width, c.height)));
    }
}

TEST_F(PaintTest, BandsTileHeightsThatAreNoMultipleOfAHundred)
{
    const int sizes[][2] = {{800, 333}, {640, 101}, {300, 99}, {1280, 1024}};
    g_state.progress = 37;
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        TestWindow window(size[0], size[1]);
        Canvas canvas(size[0], size[1]);
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
        // Below 100 rows some bands get no row at all; from 100 rows on the first is seen.
        if (size[1] >= 100) {
            EXPECT_EQ(Rgb(0, 0, 255), canvas.At(size[0] - 1, 0) & 0xFFFFFF);
        }
        EXPECT_EQ(Rgb(0, 0, 2), canvas.At(size[0] - 1, size[1] - 1) & 0xFFFFFF);
        EXPECT_TRUE(MatchesFrame(canvas, FullFrame(size[0], size[1], size[0], size[1])));
    }
}

TEST_F(PaintTest, TinyWindowsDrawWhatFitsWithoutABar)
{
    // Below 61 pixels of width the bar has no room (its width would be 0 or less).
    const int sizes[][2] = {{1, 1}, {30, 20}, {59, 50}, {60, 80}, {61, 30}};
    g_state.progress = 50;
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        TestWindow window(size[0], size[1]);
        Canvas canvas(size[0], size[1]);
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
        EXPECT_TRUE(MatchesFrame(canvas, BarOnlyFrame(size[0], size[1])));
        canvas.Fill(kSentinel);
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
        EXPECT_TRUE(MatchesFrame(canvas, FullFrame(size[0], size[1], size[0], size[1])));
    }
}

TEST_F(PaintTest, NoClientAreaDrawsNothing)
{
    Canvas canvas(64, 64);
    PaintSetupScreen(nullptr, canvas.dc(), kPaintFull);
    PaintSetupScreen(nullptr, canvas.dc(), kPaintProgressOnly);
    TestWindow empty(0, 0);
    PaintSetupScreen(empty.hwnd(), canvas.dc(), kPaintFull);
    EXPECT_TRUE(MatchesFrame(canvas, Frame(64, 64, kSentinel)));
}

// Progress-only paints on a 1024 x 768 client: the bar only, the filled part F = B * p / 100.
TEST_F(PaintTest, ProgressOnlyDrawsTheBarAlone)
{
    struct {
        int progress;
        int filled;
    } const cases[] = {
        {0, 0}, {1, 3}, {50, 161}, {99, 318}, {100, 322},
    };
    TestWindow window(1024, 768);
    for (const auto& c : cases) {
        SCOPED_TRACE("progress " + std::to_string(c.progress));
        g_state.progress = c.progress;
        Canvas canvas(1024, 768);
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
        EXPECT_TRUE(MatchesFrame(canvas, BarOnlyFrame(1024, 768)));
        // Row 708 lies above the text: its colours show the boundary.
        if (c.filled > 0) {
            EXPECT_EQ(kMagenta, canvas.At(682 + c.filled - 1, 708) & 0xFFFFFF);
        }
        if (c.filled < 322) {
            EXPECT_EQ(kWhite, canvas.At(682 + c.filled, 708) & 0xFFFFFF);
        }
    }
}

TEST_F(PaintTest, PercentageInkFollowsTheBoundary)
{
    TestWindow window(1024, 768);
    Canvas canvas(1024, 768);

    g_state.progress = 0;
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
    RECT cell = PercentCell(1024, 768, 0, g_state.percentFont);
    EXPECT_GT(CountInk(canvas, cell, kBlack), 0) << "0 % in black";
    EXPECT_EQ(0, CountInk(canvas, cell, kNavy));

    g_state.progress = 100;
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
    cell = PercentCell(1024, 768, 100, g_state.percentFont);
    EXPECT_GT(CountInk(canvas, cell, kNavy), 0) << "100 % in navy";
    EXPECT_EQ(0, CountInk(canvas, cell, kBlack));

    // At 50 % the boundary (column 682 + 161) runs through the centred text: navy on its
    // left, black on its right.
    g_state.progress = 50;
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
    cell = PercentCell(1024, 768, 50, g_state.percentFont);
    EXPECT_GT(CountInk(canvas, cell, kNavy, cell.left, 843), 0);
    EXPECT_GT(CountInk(canvas, cell, kBlack, 843, cell.right), 0);
    EXPECT_EQ(0, CountInk(canvas, cell, kBlack, cell.left, 843));
    EXPECT_EQ(0, CountInk(canvas, cell, kNavy, 843, cell.right));
}

TEST_F(PaintTest, ProgressOnlyLeavesTheRestOfAFullPaint)
{
    TestWindow window(1024, 768);
    Canvas canvas(1024, 768);
    g_state.progress = 10;
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    g_state.progress = 64;
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
    EXPECT_TRUE(MatchesFrame(canvas, FullFrame(1024, 768, 1024, 768)));
}

TEST_F(PaintTest, TitleIsWhiteOnTheGradient)
{
    TestWindow window(1024, 768);
    Canvas canvas(1024, 768);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    RECT cell1;
    RECT cell2;
    TitleCells(g_state.titleFont, g_state.saverTitle, kCaption, &cell1, &cell2);
    EXPECT_GT(CountInk(canvas, cell1, kWhite), 0) << "line 1";
    EXPECT_GT(CountInk(canvas, cell2, kWhite), 0) << "line 2";
    // Transparent background: the cell's corner away from the glyphs shows the band colour.
    EXPECT_EQ(Rgb(0, 0, ExpectedBandBlue(32, 768)), canvas.At(28, 32) & 0xFFFFFF);
    EXPECT_TRUE(MatchesFrame(canvas, FullFrame(1024, 768, 1024, 768)));
}

TEST_F(PaintTest, ALongTitleRunsOffTheRightEdge)
{
    char title[MAX_PATH];
    for (int i = 0; i < MAX_PATH - 1; ++i)
        title[i] = static_cast<char>('A' + i % 26);
    title[MAX_PATH - 1] = '\0';
    lstrcpyA(g_state.saverTitle, title);
    TestWindow window(640, 480);
    Canvas canvas(640, 480);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    RECT cell1;
    RECT cell2;
    TitleCells(g_state.titleFont, g_state.saverTitle, kCaption, &cell1, &cell2);
    EXPECT_GT(cell1.right, 640);
    // Ink reaches the last columns: the line is neither wrapped nor shortened.
    EXPECT_GT(CountInk(canvas, cell1, kWhite, 600, 640), 0);
    EXPECT_TRUE(MatchesFrame(canvas, FullFrame(640, 480, 640, 480)));
}

TEST_F(PaintTest, WithoutFontsTheSystemFontIsUsed)
{
    DeleteSetupFonts();
    ASSERT_TRUE(g_state.titleFont == nullptr);
    g_state.progress = 50;
    TestWindow window(1024, 768);
    Canvas canvas(1024, 768);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    // The frame measures with SYSTEM_FONT where a font is null: line 2 and the percentage
    // stand where that font's extents put them.
    EXPECT_TRUE(MatchesFrame(canvas, FullFrame(1024, 768, 1024, 768)));
    RECT cell1;
    RECT cell2;
    TitleCells(nullptr, g_state.saverTitle, kCaption, &cell1, &cell2);
    EXPECT_GT(CountInk(canvas, cell1, kWhite), 0);
    EXPECT_GT(CountInk(canvas, cell2, kWhite), 0);
    EXPECT_GT(CountInk(canvas, PercentCell(1024, 768, 50, nullptr), kNavy), 0);
}

class LogoTest : public ComposeTest {
protected:
    void SetUp() override
    {
        ComposeTest::SetUp();
        pixels_ = LogoPattern(kWidth, kHeight);
        g_state.logoBitmap = MakeScreenBitmap(pixels_, kWidth, kHeight);
        ASSERT_TRUE(g_state.logoBitmap != nullptr);
    }
    void TearDown() override
    {
        DeleteObject(g_state.logoBitmap);
        ComposeTest::TearDown();
    }
    static const int kWidth = 48;
    static const int kHeight = 36;
    std::vector<uint32_t> pixels_;
};

TEST_F(LogoTest, StandsOnTheScreensBottomEdgeWithBlackTransparent)
{
    // The logo's top follows the screen's height, whatever the client's: check both a
    // screen-sized client and a taller one.
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int sizes[][2] = {{GetSystemMetrics(SM_CXSCREEN), screenHeight}, {1280, 1024}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        TestWindow window(size[0], size[1]);
        Canvas canvas(size[0], size[1]);
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
        Frame frame = FullFrame(size[0], size[1], size[0], size[1]);
        ModelLogo(&frame, pixels_, kWidth, kHeight, screenHeight - kHeight);
        EXPECT_TRUE(MatchesFrame(canvas, frame));
        // Spot checks: an opaque pixel and a transparent one.
        EXPECT_EQ(pixels_[1 * kWidth + 5], canvas.At(16 + 5, screenHeight - kHeight + 1) & 0xFFFFFF);
        EXPECT_EQ(Rgb(0, 0, ExpectedBandBlue(screenHeight - kHeight, size[1])),
                  canvas.At(16, screenHeight - kHeight) & 0xFFFFFF);
    }
}

TEST_F(LogoTest, IsLeftAsItWas)
{
    TestWindow window(1024, 768);
    Canvas canvas(1024, 768);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    Canvas copy(kWidth, kHeight);
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, g_state.logoBitmap);
    ASSERT_TRUE(old != nullptr) << "the logo is selected nowhere after the paint";
    BitBlt(copy.dc(), 0, 0, kWidth, kHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(pixels_[y * kWidth + x], copy.At(x, y) & 0xFFFFFF) << x << ", " << y;
}

TEST_F(PaintTest, WithoutALogoTheCornerShowsTheGradient)
{
    TestWindow window(1024, 768);
    Canvas canvas(1024, 768);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    for (int y = 700; y < 768; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(Rgb(0, 0, ExpectedBandBlue(y, 768)), canvas.At(x, y) & 0xFFFFFF) << x << ", " << y;
}

} // namespace
