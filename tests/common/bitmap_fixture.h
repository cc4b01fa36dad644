// Shared pieces of the bitmap helpers' tests under Wine: the BMP suite's files as packed DIBs,
// 32-bit DIB sections pre-filled with a sentinel to draw into, screen bitmaps made from
// pixel arrays, and blocks that end at an inaccessible page, so that a read beyond the
// bytes faults.
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

// A top-down 32-bit DIB section selected into a memory context; pixels as 0x00RRGGBB.
struct DibSection {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    DWORD* pixels = nullptr;
    int width = 0;
    int height = 0;
    DWORD& At(int x, int y) { return pixels[y * width + x]; }
};
DibSection MakeDibSection(int width, int height, DWORD fill);
void FreeDibSection(DibSection* section);

// A bitmap compatible with the screen holding width x height pixels given as 0x00RRGGBB, row
// by row from the top.
HBITMAP MakeScreenBitmap(const std::vector<DWORD>& pixels, int width, int height);
// The pixels of a bitmap, read back as 0x00RRGGBB from the top; empty on failure.
std::vector<DWORD> ReadBitmapPixels(HBITMAP bitmap, int width, int height);

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
inline DWORD PixelOf(COLORREF colour)
{
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}
