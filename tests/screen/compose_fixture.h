// Shared pieces of the screen-composition tests: the driver's canvas pre-filled with a
// sentinel, a hidden popup window that supplies a real client
// rectangle of the wanted size, and an expected frame built from the screen's layout rules
// (exact colours everywhere except in text cells, where glyph rendering depends on the fonts
// installed and only the range of colours is checked).
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/state.h"
#include "tests/common/bitmap_fixture.h"
#include "tools/driver/driver.h"

namespace compose_test {

const uint32_t kSentinel = 0xAAAAAAAAu;

// A colour as a 32-bit DIB stores it: 0x00RRGGBB.
inline uint32_t Rgb(int r, int g, int b)
{
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

// A canvas of the driver's, filled with the sentinel.
struct Canvas : driver::Canvas {
    Canvas(int width, int height) : driver::Canvas(width, height, kSentinel) {}
};

// A hidden WS_POPUP window whose client rectangle is exactly width x height, also where that
// is larger than the screen.
class TestWindow {
public:
    TestWindow(int width, int height);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

// The expected picture: per pixel a background colour and, in text cells, the text colour.
struct Frame {
    Frame(int width, int height, uint32_t fill);
    void FillRect(int left, int top, int right, int bottom, uint32_t colour);
    // Marks a text cell: its pixels may take any colour between background and `text`.
    void MarkText(const RECT& cell, uint32_t text);
    // A text cell whose text colour changes at column `split` (the bar's boundary).
    void MarkSplitText(const RECT& cell, int split, uint32_t leftText, uint32_t rightText);
    int width;
    int height;
    std::vector<uint32_t> background;
    std::vector<uint32_t> text;
    std::vector<unsigned char> isText;
};

// Blue value of the gradient at `row` of a client area `height` rows high.
int ExpectedBandBlue(int row, int height);

// The model of each element, drawn into the expected frame.
void ModelGradient(Frame* frame, int right, int bottom);
void ModelTitle(Frame* frame, HFONT font, const char* line1, const char* line2);
void ModelBar(Frame* frame, int right, int bottom, int progress, HFONT font);
// A logo of `width` x `height` pixels given as 0x00RRGGBB, black being transparent.
void ModelLogo(Frame* frame, const std::vector<uint32_t>& logo, int width, int height, int top);

// The rectangle of the percentage text inside the bar (with a small margin for overhang).
RECT PercentCell(int right, int bottom, int progress, HFONT font);
// Text cells of both title lines, line 1 first (widened for the italic slant).
void TitleCells(HFONT font, const char* line1, const char* line2, RECT* cell1, RECT* cell2);

// Compares a canvas with a frame: exact colours outside text cells (the sentinel exactly,
// drawn pixels in their 24 colour bits), channel ranges inside them.
::testing::AssertionResult MatchesFrame(const Canvas& canvas, const Frame& frame);
// Pixels inside `cell` (clipped to [fromX, toX)) that are exactly `colour`: the text's ink.
int CountInk(const Canvas& canvas, const RECT& cell, uint32_t colour, int fromX = -1, int toX = 1 << 30);

// A test logo: coloured squares with transparent black ones between them.
std::vector<uint32_t> LogoPattern(int width, int height);


// Sets g_state to a known screen (title, no logo, progress 0, the real fonts) and restores it.
class ComposeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    SetupState saved_;
};

} // namespace compose_test
