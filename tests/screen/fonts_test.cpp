// The two fonts as the platform holds them after CreateSetupFonts, and the GDI objects that
// paints leave behind (none).
#include "tests/screen/compose_fixture.h"

#include <cstring>

#include "screen/compose.h"
#include "tests/common/findings.h"
#include "tools/driver/resource_count.h"

using namespace compose_test;

namespace {

// "ＭＳ 明朝" and "ＭＳ ゴシック" in code page 932.
const char kTitleFace[] = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";
const char kPercentFace[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

TEST(TitleFontHeight, ChangesAbove1024PixelsOfWidth)
{
    const int cases[][2] = {{640, 42}, {800, 42}, {1023, 42}, {1024, 42}, {1025, 72}, {1280, 72}, {3840, 72}};
    for (const auto& c : cases)
        EXPECT_EQ(c[1], GetTitleFontHeight(c[0])) << "width " << c[0];
}

// Whether font is the logical font made of these fields.
::testing::AssertionResult IsLogicalFont(HFONT font, LONG height, BYTE italic, const char* face, size_t faceLength)
{
    LOGFONTA got;
    std::memset(&got, 0x5A, sizeof got);
    if (!font || GetObjectA(font, sizeof got, &got) != static_cast<int>(sizeof got))
        return ::testing::AssertionFailure() << "no logical font";
    // GetObjectA hands the name back through the wide form; what stands after its NUL is the
    // platform's, so only the terminator is checked here (the setup zeroes the whole field).
    return Findings()
        .Same("lfHeight", height, got.lfHeight)
        .Same("lfWidth", 0, got.lfWidth)
        .Same("lfEscapement", 0, got.lfEscapement)
        .Same("lfOrientation", 0, got.lfOrientation)
        .Same("lfWeight", FW_NORMAL, got.lfWeight)
        .Same("lfItalic", italic, got.lfItalic)
        .Same("lfUnderline", 0, got.lfUnderline)
        .Same("lfStrikeOut", 0, got.lfStrikeOut)
        .Same("lfCharSet", SHIFTJIS_CHARSET, got.lfCharSet)
        .Same("lfOutPrecision", OUT_DEFAULT_PRECIS, got.lfOutPrecision)
        .Same("lfClipPrecision", CLIP_DEFAULT_PRECIS, got.lfClipPrecision)
        .Same("lfQuality", PROOF_QUALITY, got.lfQuality)
        .Same("lfPitchAndFamily", 0, got.lfPitchAndFamily)
        .True("the face name's bytes differ", std::memcmp(got.lfFaceName, face, faceLength) == 0)
        .Same("the face name's terminator", '\0', got.lfFaceName[faceLength]);
}

class FontTest : public ComposeTest {};

TEST_F(FontTest, CreateSetupFontsOnTheRealScreen)
{
    // The test display is 1024 pixels wide: the smaller title size.
    ASSERT_EQ(1024, GetSystemMetrics(SM_CXSCREEN)) << "the Wine test display is 1024 x 768";
    EXPECT_TRUE(IsLogicalFont(g_state.titleFont, 42, 1, kTitleFace, sizeof kTitleFace - 1));
    EXPECT_TRUE(IsLogicalFont(g_state.percentFont, 16, 0, kPercentFace, sizeof kPercentFace - 1));
}

TEST_F(FontTest, DeleteSetupFontsReleasesBoth)
{
    HFONT title = g_state.titleFont;
    HFONT percent = g_state.percentFont;
    ASSERT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(title));
    DeleteSetupFonts();
    EXPECT_EQ(0u, GetObjectType(title));
    EXPECT_EQ(0u, GetObjectType(percent));
    EXPECT_TRUE(g_state.titleFont == nullptr);
    EXPECT_TRUE(g_state.percentFont == nullptr);
    DeleteSetupFonts(); // nothing left to delete
}

class LeakTest : public ComposeTest {};

TEST_F(LeakTest, PaintsLeaveNoGdiObjectOrHandleBehind)
{
    // The count must see one more object for a live brush, or it proves nothing.
    int before = driver::CountOwnGdiObjects();
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_EQ(before + 1, driver::CountOwnGdiObjects()) << "the GDI object count does not see new objects";
    DeleteObject(probe);
    ASSERT_EQ(before, driver::CountOwnGdiObjects());

    std::vector<uint32_t> logo = LogoPattern(32, 24);
    g_state.logoBitmap = MakeScreenBitmap(logo, 32, 24);
    TestWindow window(1024, 768);
    Canvas canvas(1024, 768);
    // One paint of each kind first, so that whatever the platform makes once is made.
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
    before = driver::CountOwnGdiObjects();
    // The handle count must see one more handle for a live event, or it proves nothing.
    int handlesBefore = driver::CountOwnKernelHandles();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(handlesBefore + 1, driver::CountOwnKernelHandles()) << "the handle count does not see new handles";
    CloseHandle(event);
    for (int i = 0; i < 1000; ++i) {
        g_state.progress = i % 101;
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
        PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintProgressOnly);
    }
    EXPECT_EQ(before, driver::CountOwnGdiObjects());
    EXPECT_EQ(handlesBefore, driver::CountOwnKernelHandles());
    // The fonts and the logo are the window's and the start-up's: still alive.
    EXPECT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(g_state.titleFont));
    EXPECT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(g_state.percentFont));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(g_state.logoBitmap));
    DeleteObject(g_state.logoBitmap);
    g_state.logoBitmap = nullptr;
}

} // namespace
