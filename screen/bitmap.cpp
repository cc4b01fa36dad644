// Bitmap helpers of the setup screen: the logo's packed DIB measured and turned into a screen
// bitmap, a bitmap's size, and the keyed drawing that shows the logo with black transparent.
//
// A packed DIB is one block: header (12-byte core header or an info header), colour table
// (3-byte entries after a core header, 4-byte entries otherwise, with BI_BITFIELDS the three
// 32-bit masks in front of it), then the pixel bits.
//
//   +0                 header (size in its first 32 bits)
//   +header            colour table, GetDibColorTableSize bytes
//   +header+table      pixel bits
#include "screen/bitmap.h"

#include "screen/dibcheck.h"
#include "support/memblock.h"

// The keyed drawing's work contexts, in the order they are made.
enum { kInverseMask, kMask, kComposite, kSave, kWorkCount };

enum {
    kCoreHeaderSize = 12,
    kBitFieldsCompression = 3,  // BI_BITFIELDS
    kMaskBytes = 12,            // three 32-bit colour masks
};
constexpr LONG kBandRows = 64;  // rows of an uncompressed logo handed to the platform at once

// Header fields are read byte by byte: the logo copy is aligned, but a DIB handed in by a
// caller need not be.
static DWORD ReadDibDword(const void* dib, int offset)
{
    const BYTE* p = static_cast<const BYTE*>(dib) + offset;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

static WORD ReadDibWord(const void* dib, int offset)
{
    const BYTE* p = static_cast<const BYTE*>(dib) + offset;
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

static int IsCoreHeader(const void* dib)
{
    return ReadDibDword(dib, 0) == kCoreHeaderSize;
}

WORD CountDibColors(const void* dib)
{
    WORD bitCount;
    if (IsCoreHeader(dib)) {
        bitCount = ReadDibWord(dib, 10);
    } else {
        DWORD colorsUsed = ReadDibDword(dib, 32);
        if (colorsUsed != 0)
            return static_cast<WORD>(colorsUsed);
        bitCount = ReadDibWord(dib, 14);
    }
    return bitCount <= 8 ? static_cast<WORD>(1u << bitCount) : 0;
}

WORD GetDibColorTableSize(const void* dib)
{
    unsigned colors = CountDibColors(dib);
    if (IsCoreHeader(dib))
        return static_cast<WORD>(colors * sizeof(RGBTRIPLE));
    unsigned size = colors * sizeof(RGBQUAD);
    if (ReadDibDword(dib, 16) == kBitFieldsCompression)
        size += kMaskBytes;
    return static_cast<WORD>(size);
}

HBITMAP CreateBitmapFromDib(const void* dib, HPALETTE palette)
{
    if (!dib)
        return nullptr;
    HWND desktop = GetDesktopWindow();
    HDC screen = GetDC(desktop);
    if (!screen)
        return nullptr;
    HPALETTE previous = nullptr;
    if (palette) {
        previous = SelectPalette(screen, palette, FALSE);
        RealizePalette(screen);
    }
    const BYTE* bits = static_cast<const BYTE*>(dib) + ReadDibDword(dib, 0) + GetDibColorTableSize(dib);
    const BITMAPINFO* info = static_cast<const BITMAPINFO*>(dib);
    HBITMAP bitmap;
    LONG width = static_cast<LONG>(ReadDibDword(dib, 4)), height = static_cast<LONG>(ReadDibDword(dib, 8));
    DWORD compression = ReadDibDword(dib, 16);
    if (IsCoreHeader(dib) || height <= 0 || (compression != BI_RGB && compression != kBitFieldsCompression)) {
        bitmap = CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
    } else {
        // Uncompressed rows from the bottom up, handed over a band at a time: the platform may
        // convert what it is handed into the bitmap's format first (Wine does, into a block of
        // the bitmap's size), and a band keeps that copy small.
        bitmap = CreateCompatibleBitmap(screen, width, height);
        DWORD stride = (static_cast<DWORD>(width) * ReadDibWord(dib, 14) + 31) / 32 * 4;
        for (LONG row = 0; bitmap && row < height; row += kBandRows)
            SetDIBits(screen, bitmap, row, height - row < kBandRows ? height - row : kBandRows, bits + row * stride,
                      info, DIB_RGB_COLORS);
    }
    if (previous)
        SelectPalette(screen, previous, FALSE);
    ReleaseDC(desktop, screen);
    return bitmap;
}

// The logo bytes come from the package: a DIB whose header, table or bits would lead the
// platform to read beyond logoLength is no logo, and the setup runs on without one.
void* CopyLogo(const BYTE* logo, DWORD logoLength)
{
    if (!logo || !CheckPackedDib(logo, logoLength))
        return nullptr;
    void* block = AllocPtr(logoLength);
    if (block)
        CopyMemory(block, logo, logoLength);
    return block;
}

HBITMAP MakeLogoBitmapFromCopy(void** copy)
{
    HBITMAP bitmap = CreateBitmapFromDib(*copy, nullptr);
    FreePtr(copy);
    return bitmap;
}

HBITMAP MakeLogoBitmap(const BYTE* logo, DWORD logoLength)
{
    void* copy = CopyLogo(logo, logoLength);
    return copy ? MakeLogoBitmapFromCopy(&copy) : nullptr;
}

int GetBitmapSize(HBITMAP bitmap, SIZE* size)
{
    if (!bitmap || !size)
        return 0;
    // A handle that is no bitmap would have its own kind of description written over the
    // record; it gets an empty size instead, which draws nothing.
    BITMAP description = {};
    if (GetObjectType(bitmap) == OBJ_BITMAP)
        GetObjectA(bitmap, sizeof description, &description);
    size->cx = description.bmWidth;
    size->cy = description.bmHeight;
    return 1;
}

// The nine transfers: the image's key-colour pixels become a mask, the background under the
// drawing is kept there and the image shown elsewhere, and the caller's bitmap gets back the
// pixels that the transfers blackened.
static void BlendKeyed(HDC target, int x, int y, int cx, int cy, HDC image, int sourceX, int sourceY,
                       COLORREF keyColour, HDC inverseMask, HDC mask, HDC composite, HDC save)
{
    BitBlt(save, 0, 0, cx, cy, image, sourceX, sourceY, SRCCOPY);
    // Colour to monochrome: pixels of the background colour become 1, all others 0.
    COLORREF background = SetBkColor(image, keyColour);
    BitBlt(mask, 0, 0, cx, cy, image, sourceX, sourceY, SRCCOPY);
    SetBkColor(image, background);
    BitBlt(inverseMask, 0, 0, cx, cy, mask, 0, 0, NOTSRCCOPY);
    BitBlt(composite, 0, 0, cx, cy, target, x, y, SRCCOPY);
    BitBlt(composite, 0, 0, cx, cy, mask, 0, 0, SRCAND);
    BitBlt(image, sourceX, sourceY, cx, cy, inverseMask, 0, 0, SRCAND);
    BitBlt(composite, 0, 0, cx, cy, image, sourceX, sourceY, SRCPAINT);
    BitBlt(target, x, y, cx, cy, composite, 0, 0, SRCCOPY);
    BitBlt(image, sourceX, sourceY, cx, cy, save, 0, 0, SRCCOPY);
}

void DrawKeyedBitmap(HDC target, int x, int y, int width, int height, HBITMAP bitmap, int sourceX, int sourceY,
                     COLORREF keyColour)
{
    if (!bitmap)
        return;
    HDC image = CreateCompatibleDC(target);
    if (!image)
        return;
    // A bitmap that can't be selected (no bitmap, or held by another context) would leave the
    // context's default 1x1 bitmap as the source: draw nothing instead.
    if (!SelectObject(image, bitmap)) {
        DeleteDC(image);
        return;
    }
    POINT extent = {width, height};
    DPtoLP(image, &extent, 1);
    int cx = extent.x;
    int cy = extent.y;
    // An empty area draws nothing; the platform would hand out its stock 1x1 bitmap for it,
    // which must not be deleted.
    if (cx <= 0 || cy <= 0) {
        DeleteDC(image);
        return;
    }

    // The work contexts and their bitmaps (the two masks monochrome, the others in the
    // target's format), each made only when everything before it was made.
    HDC work[kWorkCount] = {};
    HBITMAP workBitmaps[kWorkCount] = {};
    int made = 1;
    for (int i = 0; made && i < kWorkCount; ++i)
        made = (work[i] = CreateCompatibleDC(target)) != nullptr;
    for (int i = 0; made && i < kWorkCount; ++i) {
        workBitmaps[i] = i <= kMask ? CreateBitmap(cx, cy, 1, 1, nullptr) : CreateCompatibleBitmap(target, cx, cy);
        made = workBitmaps[i] != nullptr;
    }

    if (made) {
        for (int i = 0; i < kWorkCount; ++i)
            SelectObject(work[i], workBitmaps[i]);
        SetMapMode(image, GetMapMode(target));
        BlendKeyed(target, x, y, cx, cy, image, sourceX, sourceY, keyColour, work[kInverseMask], work[kMask],
                   work[kComposite], work[kSave]);
    }

    // Contexts first (the composite's, then the others in order), so that no bitmap is
    // deleted while selected; the caller's bitmap is released from the image context and
    // stays the caller's.
    if (work[kComposite])
        DeleteDC(work[kComposite]);
    for (int i = 0; i < kWorkCount; ++i)
        if (i != kComposite && work[i])
            DeleteDC(work[i]);
    DeleteDC(image);
    for (HBITMAP workBitmap : workBitmaps)
        if (workBitmap)
            DeleteObject(workBitmap);
}
