// Packed DIBs made to order for the tests of the DIB check and the bitmap helpers: a header of
// any size with the given fields, the colour table and bits that a well-formed DIB of that
// kind carries, so that a case can then shorten, lengthen or falsify it.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

struct DibRecipe {
    uint32_t headerSize = 40;
    int32_t width = 4;
    int32_t height = 4;
    uint16_t planes = 1;
    uint16_t bitCount = 8;
    uint32_t compression = 0;
    uint32_t imageSize = 0;   // RLE: length of the encoded stream that is appended
    uint32_t colorsUsed = 0;
    uint32_t tableEntries = ~0u;  // entries actually written; ~0: what the fields call for
};

// A recipe with the fields that most cases vary; the rest as a well-formed DIB has them.
inline DibRecipe DibFields(uint32_t headerSize, int32_t width, int32_t height, uint16_t bitCount,
                           uint32_t compression = 0, uint32_t colorsUsed = 0)
{
    DibRecipe s;
    s.headerSize = headerSize;
    s.width = width;
    s.height = height;
    s.bitCount = bitCount;
    s.compression = compression;
    s.colorsUsed = colorsUsed;
    return s;
}

inline void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Entries of the colour table of a well-formed DIB with these fields.
inline uint32_t NaturalTableEntries(const DibRecipe& s)
{
    if (s.headerSize != 12 && s.colorsUsed != 0)
        return s.colorsUsed;
    return s.bitCount <= 8 ? (1u << s.bitCount) : 0;
}

inline std::vector<uint8_t> BuildDib(const DibRecipe& s)
{
    const bool core = s.headerSize == 12;
    std::vector<uint8_t> dib(s.headerSize >= 40 || core ? s.headerSize : 40, 0);
    PutU32(dib, 0, s.headerSize);
    if (core) {
        PutU16(dib, 4, static_cast<uint16_t>(s.width));
        PutU16(dib, 6, static_cast<uint16_t>(s.height));
        PutU16(dib, 8, s.planes);
        PutU16(dib, 10, s.bitCount);
    } else {
        PutU32(dib, 4, static_cast<uint32_t>(s.width));
        PutU32(dib, 8, static_cast<uint32_t>(s.height));
        PutU16(dib, 12, s.planes);
        PutU16(dib, 14, s.bitCount);
        PutU32(dib, 16, s.compression);
        PutU32(dib, 20, s.imageSize);
        PutU32(dib, 32, s.colorsUsed);
    }
    if (s.compression == 3 && s.headerSize == 40) {  // 5-6-5 or 8-8-8 masks behind the header
        uint32_t masks16[3] = {0xF800, 0x07E0, 0x001F};
        uint32_t masks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
        for (uint32_t m : s.bitCount == 16 ? masks16 : masks32) {
            dib.resize(dib.size() + 4);
            PutU32(dib, dib.size() - 4, m);
        }
    }
    uint32_t entries = s.tableEntries != ~0u ? s.tableEntries : NaturalTableEntries(s);
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t grey = static_cast<uint8_t>(i * 37 + 11);
        uint8_t entry[4] = {grey, static_cast<uint8_t>(255 - grey), static_cast<uint8_t>(i), 0};
        dib.insert(dib.end(), entry, entry + (core ? 3 : 4));
    }
    if (s.compression == 1 || s.compression == 2) {
        // An encoded stream that ends the picture at once, padded to the stated size.
        size_t at = dib.size();
        dib.resize(at + s.imageSize, 0);
        if (s.imageSize >= 2)
            dib[at + 1] = 1;
        return dib;
    }
    uint64_t rowBytes = (static_cast<uint64_t>(s.width > 0 ? s.width : 0) * s.bitCount + 31) / 32 * 4;
    uint64_t rows = s.height < 0 ? -static_cast<int64_t>(s.height) : s.height;
    uint64_t bits = rowBytes * rows;
    if (bits > (1u << 24))
        bits = 0;  // claims of huge pictures come without their bits
    size_t at = dib.size();
    dib.resize(at + bits);
    for (uint64_t i = 0; i < bits; ++i)
        dib[at + i] = static_cast<uint8_t>(i * 13 + 5);
    return dib;
}
