// Bitmaps for the tests under Wine: the BMP suite's files as packed DIBs, screen bitmaps made
// from pixel arrays and read back, and blocks that end at an inaccessible page, so that a read
// beyond the bytes faults. Pixels are 0x00RRGGBB, as in the driver's Canvas.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A .bmp file of the suite: the packed DIB behind its 14-byte file header, and the offset of
// the bits in the DIB as the file header states it.
struct SuiteFile {
    std::string name;
    std::vector<BYTE> dib;
    DWORD bitsOffset = 0;
};

// The suite's folder as a Windows path (from BMPSUITE_DIR); empty when it is not set.
std::string SuiteDir();
// Every .bmp of good/ or bad/, by name.
std::vector<SuiteFile> ReadSuite(const char* kind);

// A bitmap compatible with the screen holding width x height pixels given as 0x00RRGGBB, row
// by row from the top.
HBITMAP MakeScreenBitmap(const std::vector<uint32_t>& pixels, int width, int height);
// The pixels of a bitmap, read back as 0x00RRGGBB from the top; empty on failure.
std::vector<uint32_t> ReadBitmapPixels(HBITMAP bitmap, int width, int height);

// A copy of bytes that ends right before a page without access.
class GuardedBlock {
public:
    explicit GuardedBlock(const std::vector<BYTE>& bytes);
    ~GuardedBlock();
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    const BYTE* data() const { return data_; }
    DWORD size() const { return size_; }

private:
    BYTE* base_ = nullptr;
    BYTE* data_ = nullptr;
    DWORD size_ = 0;
};

// COLORREF (0x00BBGGRR) as a DIB section pixel (0x00RRGGBB).
inline uint32_t PixelOf(COLORREF colour)
{
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}
