// The whole setup screen at 1024 x 768 with a known title, logo and progress, compared with
// the layout model: every pixel outside the text cells (whose glyphs depend on the fonts
// installed) exactly as the model computes it on its own, so that a wrong first run fails.
#include "tests/screen/compose_fixture.h"

#include "screen/compose.h"

using namespace compose_test;

namespace {

const char kCaption[] = "\x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93\x83\x5A\x81\x5B\x83\x6F\x81\x5B\x20"
                        "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76"; // スクリーンセーバー セットアップ
const int kWidth = 1024;
const int kHeight = 768;

class GoldenTest : public ComposeTest {};

TEST_F(GoldenTest, FullScreenAt1024By768)
{
    ASSERT_EQ(kWidth, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(kHeight, GetSystemMetrics(SM_CYSCREEN));

    lstrcpyA(g_state.saverTitle, "Aurora Borealis");
    g_state.progress = 42;
    std::vector<uint32_t> logo = LogoPattern(64, 48);
    g_state.logoBitmap = MakeScreenBitmap(logo, 64, 48);
    ASSERT_TRUE(g_state.logoBitmap != nullptr);

    TestWindow window(kWidth, kHeight);
    Canvas canvas(kWidth, kHeight);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    DeleteObject(g_state.logoBitmap);
    g_state.logoBitmap = nullptr;

    Frame frame(kWidth, kHeight, kSentinel);
    ModelGradient(&frame, kWidth, kHeight);
    ModelTitle(&frame, g_state.titleFont, g_state.saverTitle, kCaption);
    ModelLogo(&frame, logo, 64, 48, kHeight - 48);
    ModelBar(&frame, kWidth, kHeight, 42, g_state.percentFont);
    EXPECT_TRUE(MatchesFrame(canvas, frame));
}

} // namespace
