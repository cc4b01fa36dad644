// Bitmap helpers: packed DIBs turned into screen bitmaps, and keyed (one colour transparent)
// drawing of a bitmap.
#pragma once
#include <windows.h>

WORD CountDibColors(const void* dib);
WORD GetDibColorTableSize(const void* dib);
HBITMAP CreateBitmapFromDib(const void* dib, HPALETTE palette);
// A screen bitmap of the logo bytes (copied first); null when it can't be made.
HBITMAP MakeLogoBitmap(const BYTE* logo, DWORD logoLength);
int GetBitmapSize(HBITMAP bitmap, SIZE* size);
void DrawKeyedBitmap(HDC target, int x, int y, int width, int height, HBITMAP bitmap, int sourceX, int sourceY,
                     COLORREF keyColour);
