// The builder's rules for the logo: a BMP file turned into the packed DIB that a screen saver's
// data block carries, and the judgement whether the setup can show that DIB.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Where the setup reads a packed DIB's pixel bits: header size + colour table size, the table
// counted the setup's way (16-bit entry count and size, BI_BITFIELDS masks added to any
// non-core header). 0 when the header can't be read.
size_t SetupBitsOffset(const unsigned char* dib, size_t length);

enum LogoVerdict { kLogoMade, kLogoNoBmp, kLogoNotShown };

// The logo of a BMP file as common editors write it (1, 4, 8, 16, 24 or 32 bits; core, 40-byte,
// V4 and V5 headers; bit fields; RLE; rows top-down or bottom-up), in the form the setup reads:
// the packed DIB behind the file header when it has a 40-byte header already and its bits stand
// where the setup looks for them; else rewritten with a 40-byte header, bottom-up, with the
// colour table and bits of 8 bits or less kept and deeper pixels as 24 bits (alpha dropped).
// kLogoMade and *dib; else kLogoNoBmp (not a BMP file this reads) or kLogoNotShown (a bitmap
// the setup can't show), and *why.
int MakeLogoDib(const unsigned char* bmp, size_t length, std::vector<unsigned char>* dib, std::string* why);

// 1 when the setup would show dib (length bytes) as a logo; else 0 and *why.
int JudgeLogoDib(const unsigned char* dib, size_t length, std::string* why);
