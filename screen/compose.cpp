// The setup screen as the window shows it: a vertical blue gradient of 100 bands, the saver's
// name and the setup caption in the upper left, the logo on the bottom edge, and a progress
// bar with its percentage in the lower right. A full paint composes all of it off screen and
// hands the window one finished frame; a progress paint redraws the bar alone, so that the
// timer's frequent ticks cost no more than the rows of the bar.
//
// The lengths below are pixels of a 96-DPI screen. The program is system-DPI aware, so the
// platform does not enlarge its window: every such length (offsets, font heights, the bar's
// height and margins, the logo) is multiplied by the system DPI / 96 here instead. At 96 DPI
// the factor is 1 and every pixel is where it always was.
#include "screen/compose.h"

#include "screen/bitmap.h"
#include "screen/widetext.h"
#include "support/state.h"

// Second title line, "スクリーンセーバー セットアップ" in code page 932 (31 bytes).
static const char kCaptionLine[] = "\x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93\x83\x5A\x81\x5B\x83\x6F\x81\x5B\x20"
                            "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76";
// Title face "ＭＳ 明朝" in code page 932 (9 bytes).
static const char kTitleFace[] = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";
// Percentage face "ＭＳ ゴシック" in code page 932 (13 bytes).
static const char kPercentFace[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

enum {
    kLineBufferSize = 512,  // WCHARs of a title line
    kBaseDpi = 96,          // the DPI that the lengths here are given for
    kTitleInset = 32,       // the title's text cell from the left and top edges
    kLogoLeft = 16,
    kBarHeight = 40,
    kBarMargin = 20,        // free at the right of the bar and below it
    kPercentHeight = 16,    // cell height of the percentage font
    kBandCount = 100,
};
constexpr COLORREF kLogoKey = RGB(0, 0, 0);
constexpr COLORREF kTitleColour = RGB(255, 255, 255);
constexpr COLORREF kEmptyTextColour = RGB(0, 0, 0);
constexpr COLORREF kFilledColour = RGB(255, 0, 255);
constexpr COLORREF kFilledTextColour = RGB(0, 0, 128);

// Where the bar stands in the window: left x, top row, width B, filled width F and height.
struct BarLayout {
    int left;
    int top;
    int width;
    int filled;
    int height;
};

// The two pre-rendered pictures of the bar, as it looks at 0 % and at 100 %, each a memory
// context with a bitmap of its own selected (either may be null when it could not be made).
struct BarStrips {
    HDC emptyDc;
    HBITMAP emptyBitmap;
    HDC filledDc;
    HBITMAP filledBitmap;
};

// A length of a 96-DPI screen at the system DPI, rounded as MulDiv rounds.
static int Scaled(int length)
{
    return MulDiv(length, g_state.dpi, kBaseDpi);
}

// Every field of the logical font set here, so that nothing depends on a default. The height
// is a cell height for a 96-DPI screen.
static void FillSetupFont(LOGFONTW* font, int height, BYTE italic, const char* face)
{
    font->lfHeight = Scaled(height);
    font->lfWidth = 0;
    font->lfEscapement = 0;
    font->lfOrientation = 0;
    font->lfWeight = FW_NORMAL;
    font->lfItalic = italic;
    font->lfUnderline = 0;
    font->lfStrikeOut = 0;
    font->lfCharSet = SHIFTJIS_CHARSET;
    font->lfOutPrecision = OUT_DEFAULT_PRECIS;
    font->lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font->lfQuality = PROOF_QUALITY;
    font->lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    // The face names are far shorter than the field; the rest of it stays zero. They are
    // code page 932 text, named to the platform in UTF-16 so that they match on any system.
    ZeroMemory(font->lfFaceName, sizeof font->lfFaceName);
    WidenText(kTextCodePage, face, font->lfFaceName, LF_FACESIZE);
}

// A missing font is replaced by the system's own at every use.
static HGDIOBJ FontOrSystem(HFONT font)
{
    return font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT);
}

// The progress as drawn: the window keeps it within 0 to 100; anything else is held to that
// range so that the filled part never leaves the bar.
static int GetShownProgress()
{
    if (g_state.progress < 0)
        return 0;
    if (g_state.progress > 100)
        return 100;
    return static_cast<int>(g_state.progress);
}

// The bar's place in a client area of W x H: two thirds across, the margin free on the right
// and below. A width of 0 or less means the window is too narrow for a bar.
static BarLayout GetBarLayout(int right, int bottom)
{
    BarLayout bar;
    int margin = Scaled(kBarMargin);
    bar.height = Scaled(kBarHeight);
    bar.left = 2 * (right / 3);
    bar.width = right - 2 * (right / 3) - margin;
    bar.top = bottom - bar.height - margin;
    bar.filled = bar.width > 0 ? (bar.width * GetShownProgress()) / 100 : 0;
    return bar;
}

// Both strips, compatible with `dc`, the empty one first. Failures are not tested here: a
// strip that could not be made simply draws nothing.
static void CreateBarStrips(HDC dc, const BarLayout& bar, BarStrips* strips)
{
    strips->emptyDc = CreateCompatibleDC(dc);
    strips->emptyBitmap = CreateCompatibleBitmap(dc, bar.width, bar.height);
    if (strips->emptyDc && strips->emptyBitmap)
        SelectObject(strips->emptyDc, strips->emptyBitmap);
    strips->filledDc = CreateCompatibleDC(dc);
    strips->filledBitmap = CreateCompatibleBitmap(dc, bar.width, bar.height);
    if (strips->filledDc && strips->filledBitmap)
        SelectObject(strips->filledDc, strips->filledBitmap);
}

// Every context goes before the bitmap selected into it: the strips' contexts first, their
// bitmaps once the caller has deleted its own contexts too.
static void DeleteStripContexts(BarStrips* strips)
{
    if (strips->emptyDc)
        DeleteDC(strips->emptyDc);
    if (strips->filledDc)
        DeleteDC(strips->filledDc);
}

static void DeleteStripBitmaps(BarStrips* strips)
{
    if (strips->emptyBitmap)
        DeleteObject(strips->emptyBitmap);
    if (strips->filledBitmap)
        DeleteObject(strips->filledBitmap);
}

// The strip's font and transparent text background.
static void PrepareStrip(HDC strip)
{
    SelectObject(strip, FontOrSystem(g_state.percentFont));
    SetBkMode(strip, TRANSPARENT);
}

// One strip: filled with brush (none: left as it is), the text in textColour at the same
// place in both strips.
static void DrawStrip(HDC strip, const RECT& area, HBRUSH brush, COLORREF textColour, const POINT& at,
                      const WCHAR* text, int length)
{
    if (brush)
        FillRect(strip, &area, brush);
    SetTextColor(strip, textColour);
    TextOutW(strip, at.x, at.y, text, length);
}

// Paints both strips with the same percentage at the same place, then joins them on the
// target with two transfers: the filled strip's left F columns and the empty strip's rest.
// Since the text sits at one place in both, the boundary runs through the text.
static void DrawBar(HDC target, const BarLayout& bar, const BarStrips& strips)
{
    WCHAR text[32];
    int length = wsprintfW(text, L"%d %%", GetShownProgress());
    RECT area = {0, 0, bar.width, bar.height};
    SIZE extent = {0, 0};

    PrepareStrip(strips.emptyDc);
    GetTextExtentPoint32W(strips.emptyDc, text, length, &extent);
    POINT at = {(bar.width - extent.cx) / 2, (bar.height - extent.cy) / 2};
    DrawStrip(strips.emptyDc, area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), kEmptyTextColour, at, text,
              length);
    PrepareStrip(strips.filledDc);
    HBRUSH magenta = CreateSolidBrush(kFilledColour);
    DrawStrip(strips.filledDc, area, magenta, kFilledTextColour, at, text, length);
    if (magenta)
        DeleteObject(magenta);

    BitBlt(target, bar.left, bar.top, bar.filled, bar.height, strips.filledDc, 0, 0, SRCCOPY);
    BitBlt(target, bar.left + bar.filled, bar.top, bar.width - bar.filled, bar.height, strips.emptyDc, bar.filled, 0,
           SRCCOPY);
}

// 100 bands from blue 255 down to blue 2. The running total t advances by H per band, so
// band i covers rows i*H/100 up to (i+1)*H/100: the bands tile all H rows without a gap.
static void DrawGradient(HDC buffer, int right, int bottom)
{
    int total = 0;
    for (int value = kBandCount * 255; value > 0; value -= 255) {
        RECT band = {0, total / kBandCount, right, (total + bottom) / kBandCount};
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, value / kBandCount));
        if (brush) {
            FillRect(buffer, &band, brush);
            DeleteObject(brush);
        }
        total += bottom;
    }
}

// Both title lines in white over the gradient; line 2 goes one text height of line 1 lower.
static void DrawTitle(HDC buffer, const WCHAR* line1, const WCHAR* line2)
{
    SIZE extent = {0, 0};
    int length1 = lstrlenW(line1);
    int inset = Scaled(kTitleInset);
    SelectObject(buffer, FontOrSystem(g_state.titleFont));
    SetBkMode(buffer, TRANSPARENT);
    GetTextExtentPoint32W(buffer, line1, length1, &extent);
    SetTextColor(buffer, kTitleColour);
    TextOutW(buffer, inset, inset, line1, length1);
    TextOutW(buffer, inset, inset + extent.cy, line2, lstrlenW(line2));
}

// The logo stands on the bottom edge of the screen from the left inset; its black pixels let
// the gradient show. Only its lowest rows that fit the screen's height and its columns left of
// the screen's right edge are ever seen, so only that part is copied at the screen's scale, by
// the first full paint; the copy lives as long as the fonts. It is the corner of a StretchBlt
// of the whole logo whose top lies above the copy: every pixel comes from where the whole
// enlarged logo has it. An enlarging StretchBlt repeats whole pixels and blends none, so an
// exact black stays exact and keeps its hole.
static void DrawLogo(HDC buffer)
{
    SIZE size;
    // An empty size would get the platform's stock 1x1 bitmap as the copy, never deleted.
    if (!GetBitmapSize(g_state.logoBitmap, &size) || size.cx <= 0 || size.cy <= 0)
        return;
    int left = Scaled(kLogoLeft);
    int screenRight = GetSystemMetrics(SM_CXSCREEN), screenBottom = GetSystemMetrics(SM_CYSCREEN);
    int cx = Scaled(size.cx);
    int cy = Scaled(size.cy);
    int shownX = cx < screenRight - left ? cx : screenRight - left;
    int shownY = cy < screenBottom ? cy : screenBottom;
    if (shownX <= 0 || shownY <= 0)
        return;
    if (!g_state.shownLogo) {
        // What can't be made draws nothing (the calls take a null handle as a failure); the
        // copy's contexts go before it is drawn, which selects it into a context of its own.
        HDC logo = CreateCompatibleDC(buffer);
        HDC scaled = CreateCompatibleDC(buffer);
        g_state.shownLogo = CreateCompatibleBitmap(buffer, shownX, shownY);
        SelectObject(logo, g_state.logoBitmap);
        SelectObject(scaled, g_state.shownLogo);
        StretchBlt(scaled, 0, shownY - cy, cx, cy, logo, 0, 0, size.cx, size.cy, SRCCOPY);
        DeleteDC(scaled);
        DeleteDC(logo);
    }
    DrawKeyedBitmap(buffer, left, screenBottom - shownY, shownX, shownY, g_state.shownLogo, 0, 0, kLogoKey);
}

// The whole screen, composed in a buffer of the client area's size and copied to `dc` in one
// transfer, so the window never shows a half-drawn frame. When the buffer can't be made the
// window keeps what it showed.
static void PaintFullScreen(HDC dc, int right, int bottom, const BarLayout& bar)
{
    // The title is a file name, in the system's ANSI code page; the caption is the program's
    // own code page 932 text.
    WCHAR line1[kLineBufferSize];
    WCHAR line2[kLineBufferSize];
    WidenText(CP_ACP, g_state.saverTitle, line1, MAX_PATH);
    WidenText(kTextCodePage, kCaptionLine, line2, kLineBufferSize);

    HDC buffer = CreateCompatibleDC(dc);
    if (!buffer)
        return;
    HBITMAP bufferBitmap = CreateCompatibleBitmap(dc, right, bottom);
    if (!bufferBitmap) {
        DeleteDC(buffer);
        return;
    }
    SelectObject(buffer, bufferBitmap);

    BarStrips strips = {nullptr, nullptr, nullptr, nullptr};
    if (bar.width > 0)
        CreateBarStrips(dc, bar, &strips);

    DrawGradient(buffer, right, bottom);
    DrawTitle(buffer, line1, line2);
    DrawLogo(buffer);
    if (bar.width > 0)
        DrawBar(buffer, bar, strips);
    BitBlt(dc, 0, 0, right, bottom, buffer, 0, 0, SRCCOPY);

    DeleteDC(buffer);
    DeleteStripContexts(&strips);
    DeleteObject(bufferBitmap);
    DeleteStripBitmaps(&strips);
}

// Only the bar, straight onto `dc`: nothing outside its rectangle is touched.
static void PaintProgressOnly(HDC dc, const BarLayout& bar)
{
    if (bar.width <= 0)
        return;
    BarStrips strips = {nullptr, nullptr, nullptr, nullptr};
    CreateBarStrips(dc, bar, &strips);
    DrawBar(dc, bar, strips);
    DeleteStripContexts(&strips);
    DeleteStripBitmaps(&strips);
}

int GetTitleFontHeight(int screenWidth)
{
    return screenWidth <= 1024 ? 42 : 72;
}

void CreateSetupFonts()
{
    // The system DPI, read once with the fonts, as a system-DPI-aware program sees it; a
    // screen that reports less than 96 (or can't be asked) is taken as a 96-DPI screen.
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    g_state.dpi = dpi > kBaseDpi ? dpi : kBaseDpi;
    // The title's size is chosen by the width in 96-DPI units, then scaled with the rest.
    LOGFONTW font;
    FillSetupFont(&font, GetTitleFontHeight(GetSystemMetrics(SM_CXSCREEN) * kBaseDpi / g_state.dpi), 1, kTitleFace);
    g_state.titleFont = CreateFontIndirectW(&font);
    FillSetupFont(&font, kPercentHeight, 0, kPercentFace);
    g_state.percentFont = CreateFontIndirectW(&font);
}

void DeleteSetupFonts()
{
    if (g_state.titleFont)
        DeleteObject(g_state.titleFont);
    if (g_state.percentFont)
        DeleteObject(g_state.percentFont);
    if (g_state.shownLogo)
        DeleteObject(g_state.shownLogo);
    g_state.titleFont = nullptr;
    g_state.percentFont = nullptr;
    g_state.shownLogo = nullptr;
}

void PaintSetupScreen(HWND window, HDC dc, int mode)
{
    RECT client = {0, 0, 0, 0};
    if (!dc || !GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
        return;
    BarLayout bar = GetBarLayout(client.right, client.bottom);
    if (mode == kPaintFull)
        PaintFullScreen(dc, client.right, client.bottom, bar);
    else
        PaintProgressOnly(dc, bar);
}
