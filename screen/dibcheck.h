// The check that a packed DIB taken from a package (the logo) lies wholly within its bytes,
// as the bitmap helpers measure it and as the platform reads it. Plain bytes only, so that
// native tests and the fuzzing build run the very code of the setup.
#pragma once
#include <cstdint>

// Largest logo width and height taken, and the most pixels in all: a logo stands in a corner
// of the setup screen, where 4096 x 4096 pixels is already more than can show. The total also
// bounds the bitmap that a few hundred bytes of RLE can make the platform allocate.
enum { kMaxDibSide = 16384, kMaxDibPixels = 4096 * 4096 };

// 1 when the packed DIB of `length` bytes at `dib` can be turned into a bitmap without any
// read beyond `length`: a published header (12, 40, 108 or 124 bytes) with sane dimensions
// (each side at most kMaxDibSide, at most kMaxDibPixels in all), planes, bit count and
// compression, a colour table that its bit count allows, and pixel bits that are all present
// where the colour-table size puts them. 0 otherwise, and for null.
int CheckPackedDib(const uint8_t* dib, uint32_t length);
