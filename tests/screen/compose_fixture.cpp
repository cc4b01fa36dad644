// The canvas, the test window and the expected-frame model of the screen-composition tests.
#include "tests/screen/compose_fixture.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "screen/compose.h"

namespace compose_test {

namespace {

const char kWindowClass[] = "ComposeTestWindow";

void RegisterTestClass()
{
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSA cls;
    std::memset(&cls, 0, sizeof cls);
    cls.lpfnWndProc = DefWindowProcA;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = kWindowClass;
    registered = RegisterClassA(&cls) != 0;
}

} // namespace

TestWindow::TestWindow(int width, int height)
{
    RegisterTestClass();
    // Not shown: GetClientRect does not need it, and the shared screen stays untouched.
    hwnd_ = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    EXPECT_TRUE(hwnd_ != nullptr);
    RECT client = {0, 0, 0, 0};
    GetClientRect(hwnd_, &client);
    EXPECT_EQ(width, client.right) << "the test window's client width";
    EXPECT_EQ(height, client.bottom) << "the test window's client height";
}

TestWindow::~TestWindow()
{
    if (hwnd_)
        DestroyWindow(hwnd_);
}

Frame::Frame(int w, int h, uint32_t fill)
    : width(w), height(h), background(static_cast<size_t>(w) * h, fill), text(static_cast<size_t>(w) * h, 0),
      isText(static_cast<size_t>(w) * h, 0)
{
}

void Frame::FillRect(int left, int top, int right, int bottom, uint32_t colour)
{
    for (int y = std::max(top, 0); y < std::min(bottom, height); ++y)
        for (int x = std::max(left, 0); x < std::min(right, width); ++x)
            background[static_cast<size_t>(y) * width + x] = colour;
}

void Frame::MarkText(const RECT& cell, uint32_t colour)
{
    MarkSplitText(cell, cell.right, colour, colour);
}

void Frame::MarkSplitText(const RECT& cell, int split, uint32_t leftText, uint32_t rightText)
{
    for (int y = std::max<int>(cell.top, 0); y < std::min<int>(cell.bottom, height); ++y)
        for (int x = std::max<int>(cell.left, 0); x < std::min<int>(cell.right, width); ++x) {
            size_t i = static_cast<size_t>(y) * width + x;
            isText[i] = 1;
            text[i] = x < split ? leftText : rightText;
        }
}

int ExpectedBandBlue(int row, int height)
{
    for (int band = 0; band < 100; ++band)
        if (row >= band * height / 100 && row < (band + 1) * height / 100)
            return (25500 - 255 * band) / 100;
    return -1;
}

void ModelGradient(Frame* frame, int right, int bottom)
{
    for (int y = 0; y < bottom; ++y)
        frame->FillRect(0, y, right, y + 1, Rgb(0, 0, ExpectedBandBlue(y, bottom)));
}

namespace {

SIZE MeasureText(HFONT font, const char* text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    SIZE size = {0, 0};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, text, lstrlenA(text), &size));
    SelectObject(dc, old);
    DeleteDC(dc);
    return size;
}

} // namespace

void TitleCells(HFONT font, const char* line1, const char* line2, RECT* cell1, RECT* cell2)
{
    SIZE size1 = MeasureText(font, line1);
    SIZE size2 = MeasureText(font, line2);
    // An italic face leans past its advance widths; leave it room on both sides.
    int slant = size1.cy / 3 + 4;
    *cell1 = {32 - 4, 32, 32 + size1.cx + slant, 32 + size1.cy};
    *cell2 = {32 - 4, 32 + size1.cy, 32 + size2.cx + slant, 32 + size1.cy + size2.cy};
}

void ModelTitle(Frame* frame, HFONT font, const char* line1, const char* line2)
{
    RECT cell1;
    RECT cell2;
    TitleCells(font, line1, line2, &cell1, &cell2);
    frame->MarkText(cell1, Rgb(255, 255, 255));
    frame->MarkText(cell2, Rgb(255, 255, 255));
}

RECT PercentCell(int right, int bottom, int progress, HFONT font)
{
    RECT cell = driver::PercentTextRect(driver::ProgressBarRect(right, bottom), progress, font);
    InflateRect(&cell, 2, 0);
    return cell;
}

void ModelBar(Frame* frame, int right, int bottom, int progress, HFONT font)
{
    RECT bar = driver::ProgressBarRect(right, bottom);
    if (bar.right <= bar.left)
        return;
    int filled = (bar.right - bar.left) * progress / 100;
    frame->FillRect(bar.left, bar.top, bar.left + filled, bar.bottom, Rgb(255, 0, 255));
    frame->FillRect(bar.left + filled, bar.top, bar.right, bar.bottom, Rgb(255, 255, 255));
    // The text never leaves the bar: its cell is clipped to the bar's rectangle.
    RECT text = PercentCell(right, bottom, progress, font), cell;
    IntersectRect(&cell, &text, &bar);
    frame->MarkSplitText(cell, bar.left + filled, Rgb(0, 0, 128), Rgb(0, 0, 0));
}

void ModelLogo(Frame* frame, const std::vector<uint32_t>& logo, int width, int height, int top)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = logo[static_cast<size_t>(y) * width + x];
            if (pixel != Rgb(0, 0, 0))
                frame->FillRect(16 + x, top + y, 17 + x, top + y + 1, pixel);
        }
}

namespace {

bool Between(uint32_t value, uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t v = (value >> shift) & 0xFF;
        uint32_t lo = std::min((a >> shift) & 0xFF, (b >> shift) & 0xFF);
        uint32_t hi = std::max((a >> shift) & 0xFF, (b >> shift) & 0xFF);
        if (v < lo || v > hi)
            return false;
    }
    return true;
}

std::string Hex(uint32_t value)
{
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

} // namespace

::testing::AssertionResult MatchesFrame(const Canvas& canvas, const Frame& frame)
{
    if (!canvas.ok())
        return ::testing::AssertionFailure() << "no canvas of " << canvas.width() << " x " << canvas.height();
    if (canvas.width() != frame.width || canvas.height() != frame.height)
        return ::testing::AssertionFailure() << "canvas and frame differ in size";
    const uint32_t* bits = canvas.bits();
    int wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            size_t i = static_cast<size_t>(y) * frame.width + x;
            uint32_t want = frame.background[i];
            uint32_t got = bits[i];
            bool ok;
            if (want == kSentinel)
                ok = got == kSentinel;
            else if (frame.isText[i])
                ok = (got >> 24) == 0 && Between(got, want, frame.text[i]);
            else
                ok = (got & 0xFFFFFF) == want && got != kSentinel;
            if (!ok && wrong++ < 5)
                first << " (" << x << ", " << y << "): " << Hex(got) << " wanted " << Hex(want)
                      << (frame.isText[i] ? " to " + Hex(frame.text[i]) : std::string());
        }
    if (wrong)
        return ::testing::AssertionFailure() << wrong << " pixels differ, first:" << first.str();
    return ::testing::AssertionSuccess();
}

int CountInk(const Canvas& canvas, const RECT& cell, uint32_t colour, int fromX, int toX)
{
    int count = 0;
    for (int y = std::max<int>(cell.top, 0); y < std::min<int>(cell.bottom, canvas.height()); ++y)
        for (int x = std::max<int>({cell.left, 0, fromX}); x < std::min<int>({cell.right, canvas.width(), toX}); ++x)
            if ((canvas.At(x, y) & 0xFFFFFF) == colour)
                ++count;
    return count;
}

std::vector<uint32_t> LogoPattern(int width, int height)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * width + x] =
                ((x / 4 + y / 4) % 3 == 0) ? Rgb(0, 0, 0) : Rgb(40 + x * 3 % 200, 200 - y * 4 % 190, 100 + (x + y) % 50);
    return pixels;
}

void ComposeTest::SetUp()
{
    saved_ = g_state;
    g_state.logoBitmap = nullptr;
    g_state.progress = 0;
    lstrcpyA(g_state.saverTitle, "Aurora");
    CreateSetupFonts();
    ASSERT_TRUE(g_state.titleFont != nullptr);
    ASSERT_TRUE(g_state.percentFont != nullptr);
}

void ComposeTest::TearDown()
{
    DeleteSetupFonts();
    g_state = saved_;
}

} // namespace compose_test
