// Where the reads of a packed DIB end, worked out independently of the check: the bitmap
// helpers' colour-table count (16-bit results, 12 mask bytes for any info header with
// BI_BITFIELDS) and the platform's own reading (the header up to the largest published size,
// at most 256 colours, the rows that the dimensions call for, for RLE the stated stream
// length). A DIB that the check accepts must end no earlier than this.
#pragma once
#include <algorithm>
#include <cstdint>

inline uint32_t DibU32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint16_t DibU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The end, in bytes from the block's start, of everything read to make a bitmap of the DIB.
// Needs only that the first 12 bytes (or, for other header sizes, 40) are readable.
inline uint64_t DibReadEnd(const uint8_t* dib)
{
    uint32_t headerSize = DibU32(dib);
    if (headerSize == 12) {
        uint16_t bitCount = DibU16(dib + 10);
        uint32_t colors = bitCount <= 8 ? 1u << bitCount : 0;
        uint64_t rowBytes = (uint64_t{DibU16(dib + 4)} * bitCount + 31) / 32 * 4;
        return 12 + uint64_t{static_cast<uint16_t>(colors * 3)} + rowBytes * DibU16(dib + 6);
    }
    uint16_t bitCount = DibU16(dib + 14);
    uint32_t compression = DibU32(dib + 16);
    uint32_t imageSize = DibU32(dib + 20);
    uint32_t colorsUsed = DibU32(dib + 32);
    uint32_t natural = bitCount <= 8 ? 1u << bitCount : 0;
    // The helpers' count.
    uint32_t counted = colorsUsed ? static_cast<uint16_t>(colorsUsed) : natural;
    uint32_t table = static_cast<uint16_t>(counted * 4 + (compression == 3 ? 12 : 0));
    uint64_t bitsStart = uint64_t{headerSize} + table;
    // The platform's reading of header and table.
    uint32_t platformColors = colorsUsed ? std::min(colorsUsed, 256u) : natural;
    uint64_t platformTableEnd = std::max<uint64_t>(headerSize, compression == 3 ? 52 : 40) + platformColors * 4ull;
    uint64_t bits;
    if (compression == 1 || compression == 2) {
        bits = imageSize;
    } else {
        int64_t width = static_cast<int32_t>(DibU32(dib + 4));
        int64_t height = static_cast<int32_t>(DibU32(dib + 8));
        uint64_t rowBytes = (static_cast<uint64_t>(width < 0 ? -width : width) * bitCount + 31) / 32 * 4;
        bits = std::max<uint64_t>(rowBytes * static_cast<uint64_t>(height < 0 ? -height : height), imageSize);
    }
    return std::max({uint64_t{std::min(headerSize, 124u)}, platformTableEnd, bitsStart + bits});
}

// Reads every byte up to DibReadEnd, so that a sanitizer catches an end beyond the block.
inline uint32_t TouchDibReads(const uint8_t* dib)
{
    uint64_t end = DibReadEnd(dib);
    uint32_t sum = 0;
    for (uint64_t i = 0; i < end; ++i)
        sum += dib[i];
    return sum;
}
