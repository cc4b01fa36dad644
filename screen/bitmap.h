// Bitmap helpers: packed DIBs turned into screen bitmaps, and keyed (one colour transparent)
// drawing of a bitmap.
#pragma once
#include <windows.h>

WORD CountDibColors(const void* dib);
WORD GetDibColorTableSize(const void* dib);
HBITMAP CreateBitmapFromDib(const void* dib, HPALETTE palette);
// The logo bytes, checked, in a fixed block of their own, so that the buffer they stand in can
// go before the bitmap is made; null when they are no usable DIB or the block can't be had.
void* CopyLogo(const BYTE* logo, DWORD logoLength);
// A screen bitmap of a logo copy, which is freed (*copy becomes null); null when it can't be made.
HBITMAP MakeLogoBitmapFromCopy(void** copy);
// Both steps: a screen bitmap of the logo bytes; null when it can't be made.
HBITMAP MakeLogoBitmap(const BYTE* logo, DWORD logoLength);
int GetBitmapSize(HBITMAP bitmap, SIZE* size);
void DrawKeyedBitmap(HDC target, int x, int y, int width, int height, HBITMAP bitmap, int sourceX, int sourceY,
                     COLORREF keyColour);
