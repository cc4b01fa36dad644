// Keyed drawing: a screen bitmap drawn into a 32-bit surface whose every pixel differs, so
// that each target pixel shows whether it was kept or covered. Checked: the drawn area pixel
// by pixel, the rest of the surface untouched, the caller's bitmap unchanged and selected
// nowhere afterwards; through a trace of its drawing calls, their order and that no drawing
// object is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "screen/bitmap.h"
#include "tests/common/bitmap_fixture.h"
#include "tests/common/gdi_trace.h"
#include "tools/driver/driver.h"

namespace {

const int kTargetWidth = 24;
const int kTargetHeight = 18;
const int kSourceWidth = 13;
const int kSourceHeight = 11;

// A distinct background colour for every target pixel; none of them black or a key below.
uint32_t Background(int x, int y)
{
    return 0x00A00000 | (x << 8) | (y + 0x40);
}

// The target surface, every pixel its own background colour.
struct Target : driver::Canvas {
    Target() : Canvas(kTargetWidth, kTargetHeight)
    {
        for (int y = 0; ok() && y < kTargetHeight; ++y)
            for (int x = 0; x < kTargetWidth; ++x)
                At(x, y) = Background(x, y);
    }
    // Pixels that no longer show their background.
    int Changed() const
    {
        int changed = 0;
        for (int y = 0; y < kTargetHeight; ++y)
            for (int x = 0; x < kTargetWidth; ++x)
                changed += (At(x, y) & 0x00FFFFFF) != Background(x, y);
        return changed;
    }
};

std::vector<uint32_t> MakeSourcePixels(const std::function<uint32_t(int, int)>& pixel)
{
    std::vector<uint32_t> pixels(kSourceWidth * kSourceHeight);
    for (int y = 0; y < kSourceHeight; ++y)
        for (int x = 0; x < kSourceWidth; ++x)
            pixels[y * kSourceWidth + x] = pixel(x, y);
    return pixels;
}

struct KeyedCase {
    const char* name;
    COLORREF key;
    std::function<uint32_t(int, int)> pixel;  // source pixels as 0x00RRGGBB
    int x, y, width, height, sourceX, sourceY;
};

// Colours that are no key: never 0, never 0xFF00FF.
uint32_t Opaque(int x, int y)
{
    return 0x00102030 + x * 0x0B0000 + y * 0x000C01;
}

const KeyedCase kCases[] = {
    {"no key pixel covers the area", RGB(0, 0, 0), Opaque, 3, 2, 9, 7, 1, 2},
    {"only key pixels keep the target", RGB(0, 0, 0), [](int, int) -> uint32_t { return 0; }, 3, 2, 9, 7, 1, 2},
    {"checkered key pixels", RGB(0, 0, 0), [](int x, int y) { return (x + y) % 2 ? 0 : Opaque(x, y); }, 5, 4, 13,
     11, 0, 0},
    {"key in the left columns and one row", RGB(0, 0, 0),
     [](int x, int y) { return x < 4 || y == 6 ? 0 : Opaque(x, y); }, 0, 0, 12, 10, 1, 1},
    {"magenta key, black drawn", RGB(255, 0, 255),
     [](int x, int y) -> uint32_t { return x % 3 == 0 ? 0xFF00FF : (y % 2 ? 0 : Opaque(x, y)); }, 7, 3, 10, 8, 2, 1},
    {"near-key colours are drawn", RGB(0, 0, 0),
     [](int x, int y) -> uint32_t { return (x + 2 * y) % 3 == 0 ? 0 : (x % 2 ? 0x000001 : 0x010000); }, 2, 5, 13,
     11, 0, 0},
    {"area at the target's edge", RGB(0, 0, 0), [](int x, int) { return x == 5 ? 0 : Opaque(x, 0); },
     kTargetWidth - 6, kTargetHeight - 4, 6, 4, 7, 7},
};

TEST(DrawKeyedBitmap, ShowsTargetExactlyWhereTheKeyColourWas)
{
    for (const KeyedCase& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> source = MakeSourcePixels(c.pixel);
        HBITMAP bitmap = MakeScreenBitmap(source, kSourceWidth, kSourceHeight);
        ASSERT_NE(nullptr, bitmap);
        ASSERT_TRUE(source == ReadBitmapPixels(bitmap, kSourceWidth, kSourceHeight)) << "screen is not true-colour";
        Target target;
        ASSERT_TRUE(target.ok());

        DrawKeyedBitmap(target.dc(), c.x, c.y, c.width, c.height, bitmap, c.sourceX, c.sourceY, c.key);

        int wrong = 0;
        for (int y = 0; y < kTargetHeight; ++y) {
            for (int x = 0; x < kTargetWidth; ++x) {
                uint32_t expected = Background(x, y);
                int sx = x - c.x + c.sourceX;
                int sy = y - c.y + c.sourceY;
                if (x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height) {
                    uint32_t pixel = source[sy * kSourceWidth + sx];
                    if (pixel != PixelOf(c.key))
                        expected = pixel;
                }
                uint32_t actual = target.At(x, y) & 0x00FFFFFF;
                if (actual != expected && wrong++ < 3)
                    ADD_FAILURE() << "at (" << x << "," << y << ") " << std::hex << actual << " expected " << expected;
            }
        }
        EXPECT_EQ(0, wrong);

        // The caller's bitmap: its own pixels, selectable (so selected nowhere), deletable.
        EXPECT_TRUE(source == ReadBitmapPixels(bitmap, kSourceWidth, kSourceHeight));
        HDC probe = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(probe, bitmap);
        EXPECT_NE(nullptr, previous);
        SelectObject(probe, previous);
        DeleteDC(probe);
        EXPECT_EQ(OBJ_BITMAP, static_cast<int>(GetObjectType(bitmap)));
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

// Nothing drawn: a null bitmap, an empty area, a bitmap held by another context.
TEST(DrawKeyedBitmap, DrawsNothingWhenItCannot)
{
    std::vector<uint32_t> source = MakeSourcePixels(Opaque);
    HBITMAP bitmap = MakeScreenBitmap(source, kSourceWidth, kSourceHeight);
    ASSERT_NE(nullptr, bitmap);
    HDC holder = CreateCompatibleDC(nullptr);
    const struct {
        const char* name;
        HBITMAP bitmap;
        int width, height;
        bool held;
    } cases[] = {
        {"null bitmap", nullptr, 5, 5, false},
        {"width 0", bitmap, 0, 5, false},
        {"height 0", bitmap, 5, 0, false},
        {"negative width", bitmap, -5, 5, false},
        {"bitmap selected elsewhere", bitmap, 5, 5, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HGDIOBJ previous = c.held ? SelectObject(holder, bitmap) : nullptr;
        Target target;
        DrawKeyedBitmap(target.dc(), 1, 1, c.width, c.height, c.bitmap, 0, 0, RGB(0, 0, 0));
        EXPECT_EQ(0, target.Changed());
        if (previous)
            SelectObject(holder, previous);
    }
    DeleteDC(holder);
    EXPECT_TRUE(source == ReadBitmapPixels(bitmap, kSourceWidth, kSourceHeight));
    DeleteObject(bitmap);
}

// The nine transfers in their order between the five contexts, the key colour as the image
// context's background for the mask transfer only, the contexts deleted before the bitmaps,
// every object made deleted and the caller's bitmap never.
TEST(DrawKeyedBitmap, TransfersAndReleasesInOrder)
{
    ASSERT_EQ(1, InstallGdiTrace());
    std::vector<uint32_t> source = MakeSourcePixels(Opaque);
    HBITMAP bitmap = MakeScreenBitmap(source, kSourceWidth, kSourceHeight);
    ASSERT_NE(nullptr, bitmap);
    Target target;
    const COLORREF key = RGB(1, 2, 3);

    StartGdiTrace();
    DrawKeyedBitmap(target.dc(), 2, 2, 4, 4, bitmap, 1, 1, key);
    std::vector<GdiCall> calls = StopGdiTrace();

    std::vector<HANDLE> contexts, bitmaps, deletedContexts, deletedObjects;
    std::vector<const GdiCall*> transfers, backgrounds;
    size_t firstObjectDeletion = calls.size(), lastContextDeletion = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        const GdiCall& call = calls[i];
        switch (call.kind) {
        case GdiCall::kCreateDC: contexts.push_back(call.handle); break;
        case GdiCall::kCreateBitmap:
        case GdiCall::kCreateCompatibleBitmap: bitmaps.push_back(call.handle); break;
        case GdiCall::kDeleteDC:
            deletedContexts.push_back(call.handle);
            lastContextDeletion = i;
            break;
        case GdiCall::kDeleteObject:
            deletedObjects.push_back(call.handle);
            firstObjectDeletion = std::min(firstObjectDeletion, i);
            break;
        case GdiCall::kBitBlt: transfers.push_back(&call); break;
        case GdiCall::kSetBkColor: backgrounds.push_back(&call); break;
        }
    }
    ASSERT_EQ(5u, contexts.size());
    ASSERT_EQ(4u, bitmaps.size());
    for (const GdiCall& call : calls) {
        if (call.kind == GdiCall::kCreateBitmap) {
            EXPECT_TRUE(call.handle == bitmaps[0] || call.handle == bitmaps[1]) << "masks first, monochrome";
        }
    }
    HANDLE image = contexts[0], inverseMask = contexts[1], mask = contexts[2], composite = contexts[3],
           save = contexts[4];

    const struct {
        HANDLE destination, source;
        DWORD rop;
    } order[] = {
        {save, image, SRCCOPY},          {mask, image, SRCCOPY},         {inverseMask, mask, NOTSRCCOPY},
        {composite, target.dc(), SRCCOPY}, {composite, mask, SRCAND},      {image, inverseMask, SRCAND},
        {composite, image, SRCPAINT},    {target.dc(), composite, SRCCOPY}, {image, save, SRCCOPY},
    };
    ASSERT_EQ(9u, transfers.size());
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(order[i].destination, transfers[i]->handle) << "transfer " << char('a' + i);
        EXPECT_EQ(order[i].source, transfers[i]->source) << "transfer " << char('a' + i);
        EXPECT_EQ(order[i].rop, transfers[i]->value) << "transfer " << char('a' + i);
    }
    // Background colour: the key right before transfer b, the former one right after.
    ASSERT_EQ(2u, backgrounds.size());
    EXPECT_EQ(image, backgrounds[0]->handle);
    EXPECT_EQ(key, backgrounds[0]->value);
    EXPECT_EQ(transfers[1], backgrounds[0] + 1);
    EXPECT_EQ(transfers[1] + 1, backgrounds[1]);
    EXPECT_EQ(image, backgrounds[1]->handle);
    EXPECT_EQ(RGB(255, 255, 255), backgrounds[1]->value);

    std::vector<HANDLE> contextOrder = {composite, inverseMask, mask, save, image};
    EXPECT_TRUE(deletedContexts == contextOrder);
    EXPECT_TRUE(deletedObjects == bitmaps);
    EXPECT_LT(lastContextDeletion, firstObjectDeletion);
    for (HANDLE made : contexts)
        EXPECT_EQ(0u, GetObjectType(made)) << "context left behind";
    for (HANDLE made : bitmaps)
        EXPECT_EQ(0u, GetObjectType(made)) << "bitmap left behind";

    EXPECT_TRUE(source == ReadBitmapPixels(bitmap, kSourceWidth, kSourceHeight));
    EXPECT_TRUE(DeleteObject(bitmap));
}

// When the n-th context or bitmap can't be made, nothing is drawn, the caller's bitmap keeps
// its pixels, and whatever had been made is deleted.
TEST(DrawKeyedBitmap, ReleasesWhatItMadeWhenACreationFails)
{
    ASSERT_EQ(1, InstallGdiTrace());
    std::vector<uint32_t> source = MakeSourcePixels([](int x, int y) { return (x + y) % 3 ? Opaque(x, y) : 0; });
    HBITMAP bitmap = MakeScreenBitmap(source, kSourceWidth, kSourceHeight);
    ASSERT_NE(nullptr, bitmap);
    for (int failAt = 1; failAt <= 9; ++failAt) {
        SCOPED_TRACE(failAt);
        Target target;
        StartGdiTrace(failAt);
        DrawKeyedBitmap(target.dc(), 1, 1, kSourceWidth, kSourceHeight, bitmap, 0, 0, RGB(0, 0, 0));
        std::vector<GdiCall> calls = StopGdiTrace();
        int made = 0, deleted = 0, transfers = 0;
        for (const GdiCall& call : calls) {
            bool creation = call.kind == GdiCall::kCreateDC || call.kind == GdiCall::kCreateBitmap ||
                            call.kind == GdiCall::kCreateCompatibleBitmap;
            if (creation && call.handle) {
                ++made;
                EXPECT_EQ(0u, GetObjectType(call.handle)) << "left behind";
            }
            deleted += call.kind == GdiCall::kDeleteDC || call.kind == GdiCall::kDeleteObject;
            transfers += call.kind == GdiCall::kBitBlt;
            EXPECT_FALSE(call.kind == GdiCall::kDeleteObject && call.handle == bitmap);
        }
        EXPECT_EQ(failAt - 1, made);
        EXPECT_EQ(made, deleted);
        EXPECT_EQ(0, transfers);
        EXPECT_EQ(0, target.Changed());
    }
    EXPECT_TRUE(source == ReadBitmapPixels(bitmap, kSourceWidth, kSourceHeight));
    EXPECT_TRUE(DeleteObject(bitmap));
}

}  // namespace
