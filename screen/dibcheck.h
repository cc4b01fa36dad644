// The check that a packed DIB taken from a package (the logo) lies wholly within its bytes,
// as the bitmap helpers measure it and as the platform reads it. Plain bytes only, so that
// native tests and the fuzzing build run the very code of the setup.
#pragma once
#include <cstdint>

// Largest logo width and height taken, in pixels.
enum { kMaxDibSide = 16384 };

// 1 when the packed DIB of `length` bytes at `dib` can be turned into a bitmap without any
// read beyond `length`: a published header (12, 40, 108 or 124 bytes) with sane dimensions,
// planes, bit count and compression, a colour table that its bit count allows, and pixel bits
// that are all present where the colour-table size puts them. 0 otherwise, and for null.
int CheckPackedDib(const uint8_t* dib, uint32_t length);
