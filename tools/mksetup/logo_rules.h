// The builder's rules for the logo: a BMP file turned into the packed DIB that a screen saver's
// data block carries, and the judgement whether the setup can show that DIB.
#pragma once
#include <cstddef>
#include <string>

// Where the setup reads a packed DIB's pixel bits: header size + colour table size, the table
// counted the setup's way (16-bit entry count and size, BI_BITFIELDS masks added to any
// non-core header). 0 when the header can't be read.
size_t SetupBitsOffset(const unsigned char* dib, size_t length);

// 1 when bmp is a BMP file whose packed DIB (everything behind the 14-byte file header) has its
// bits exactly where the file header says, so that dropping the file header loses nothing and
// the setup finds the bits. Else 0 and *why.
int CheckBmpFile(const unsigned char* bmp, size_t length, std::string* why);

// 1 when the setup would show dib (length bytes) as a logo; else 0 and *why.
int JudgeLogoDib(const unsigned char* dib, size_t length, std::string* why);
