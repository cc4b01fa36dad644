// The bounds check of a packed DIB from a package. The bitmap helpers find the pixel bits at
// header size + colour-table size, counted their way (16-bit results; a 12-byte header is a
// core header, every other size is read as an info header; 12 mask bytes for any info header
// with BI_BITFIELDS); the platform then reads the header, up to 256 colours and the bits that
// the dimensions (or, for RLE, biSizeImage) call for. The check takes only DIBs for which all
// of that lies within the block, and only header layouts for which that counting is right.
//
// Header fields read (offsets from the block's start, little-endian):
//   core (12):          4 width (16), 6 height (16), 8 planes (16), 10 bit count (16)
//   info (40/108/124):  4 width (s32), 8 height (s32, < 0 top-down), 12 planes (16),
//                       14 bit count (16), 16 compression, 20 image size, 32 colours used
//   V5 (124):           56 colour-space type, 112 profile offset, 116 profile size
#include "screen/dibcheck.h"

enum : uint32_t {
    kCoreHeaderSize = 12,
    kInfoHeaderSize = 40,
    kV4HeaderSize = 108,
    kV5HeaderSize = 124,
    kRgb = 0,        // BI_RGB
    kRle8 = 1,       // BI_RLE8
    kRle4 = 2,       // BI_RLE4
    kBitFields = 3,  // BI_BITFIELDS
    kMaskBytes = 12,
    kMaxColors = 256,  // the most colours the platform reads from a table
    kProfileLinked = 0x4C494E4Bu,    // 'LINK': names a profile file
    kProfileEmbedded = 0x4D424544u,  // 'MBED': profile bytes inside the block
};

struct DibFields {
    uint32_t headerSize;
    int32_t width;   // a core header's 16-bit sides fit as well
    int32_t height;  // negative: rows top-down
    uint32_t planes;
    uint32_t bitCount;
    uint32_t compression;
    uint32_t imageSize;
    uint32_t colorsUsed;
};

static uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

static uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

static int32_t ReadS32(const uint8_t* p)
{
    return static_cast<int32_t>(ReadU32(p));
}

// Reads the header's fields; 0 when its size is not one of the published ones or the header
// itself is not wholly present.
static int ReadHeader(const uint8_t* dib, uint32_t length, DibFields* f)
{
    if (length < 4)
        return 0;
    f->headerSize = ReadU32(dib);
    if (f->headerSize > length)
        return 0;
    if (f->headerSize == kCoreHeaderSize) {
        f->width = ReadU16(dib + 4);
        f->height = ReadU16(dib + 6);
        f->planes = ReadU16(dib + 8);
        f->bitCount = ReadU16(dib + 10);
        f->compression = kRgb;
        f->imageSize = 0;
        f->colorsUsed = 0;
        return 1;
    }
    // Sizes 52 and 56 hold their masks inside the header, and 64 is another system's layout
    // with its own compression numbers: the colour-table count would put the bits elsewhere.
    if (f->headerSize != kInfoHeaderSize && f->headerSize != kV4HeaderSize && f->headerSize != kV5HeaderSize)
        return 0;
    f->width = ReadS32(dib + 4);
    f->height = ReadS32(dib + 8);
    f->planes = ReadU16(dib + 12);
    f->bitCount = ReadU16(dib + 14);
    f->compression = ReadU32(dib + 16);
    f->imageSize = ReadU32(dib + 20);
    f->colorsUsed = ReadU32(dib + 32);
    return 1;
}

static int IsSaneFormat(const DibFields& f)
{
    if (f.planes != 1)
        return 0;
    if (f.headerSize == kCoreHeaderSize)
        return f.bitCount == 1 || f.bitCount == 4 || f.bitCount == 8 || f.bitCount == 24;
    switch (f.compression) {
    case kRgb:
        return f.bitCount == 1 || f.bitCount == 4 || f.bitCount == 8 || f.bitCount == 16 || f.bitCount == 24 ||
               f.bitCount == 32;
    case kRle8:
        return f.bitCount == 8;
    case kRle4:
        return f.bitCount == 4;
    case kBitFields:
        // Only the 40-byte header keeps its masks behind it, where they are counted.
        return f.headerSize == kInfoHeaderSize && (f.bitCount == 16 || f.bitCount == 32);
    default:
        return 0;
    }
}

static int IsRle(const DibFields& f)
{
    return f.headerSize != kCoreHeaderSize && (f.compression == kRle8 || f.compression == kRle4);
}

static int IsSaneSize(const DibFields& f)
{
    if (f.width < 1 || f.width > kMaxDibSide)
        return 0;
    if (f.height == 0 || f.height < -kMaxDibSide || f.height > kMaxDibSide)
        return 0;
    // Both sides are at most 2^14 here, so the product fits in 32 bits.
    if (f.width * (f.height < 0 ? -f.height : f.height) > kMaxDibPixels)
        return 0;
    // Encoded rows run bottom-up only.
    return !(IsRle(f) && f.height < 0);
}

// A table longer than the bit count allows would be read only in part by the platform, and
// past 65535 entries it would be miscounted: such a DIB is malformed.
static int IsSanePalette(const DibFields& f)
{
    if (f.headerSize == kCoreHeaderSize)
        return 1;
    uint32_t most = f.bitCount <= 8 ? (1u << f.bitCount) : kMaxColors;
    return f.colorsUsed <= most;
}

// The colour table's size as the bitmap helpers count it (16-bit, masks included).
static uint32_t CountedTableBytes(const DibFields& f)
{
    uint32_t colors;
    if (f.headerSize != kCoreHeaderSize && f.colorsUsed != 0)
        colors = static_cast<uint16_t>(f.colorsUsed);
    else
        colors = f.bitCount <= 8 ? (1u << f.bitCount) : 0;
    if (f.headerSize == kCoreHeaderSize)
        return static_cast<uint16_t>(colors * 3);
    uint32_t size = colors * 4;
    if (f.compression == kBitFields)
        size += kMaskBytes;
    return static_cast<uint16_t>(size);
}

// Bytes of pixel bits that the platform reads: rows padded to 4 bytes, or the encoded
// stream's stated size. For a DIB of sane format and size (rows of at most 2^14 pixels of at
// most 32 bits, at most 2^14 of them) that is at most 2^30 bytes: 32 bits hold it.
static uint32_t BitsBytes(const DibFields& f)
{
    if (IsRle(f))
        return f.imageSize;
    uint32_t rowBytes = (static_cast<uint32_t>(f.width) * f.bitCount + 31) / 32 * 4;
    uint32_t rows = static_cast<uint32_t>(f.height < 0 ? -f.height : f.height);
    return rowBytes * rows;
}

// A V5 header may name a colour profile: a linked one names a file (no business of a logo),
// an embedded one must lie within the block.
static int IsSaneProfile(const uint8_t* dib, uint32_t length, const DibFields& f)
{
    if (f.headerSize != kV5HeaderSize)
        return 1;
    uint32_t type = ReadU32(dib + 56);
    if (type == kProfileLinked)
        return 0;
    if (type != kProfileEmbedded)
        return 1;
    uint32_t offset = ReadU32(dib + 112);
    uint32_t size = ReadU32(dib + 116);
    return offset <= length && size <= length - offset;
}

int CheckPackedDib(const uint8_t* dib, uint32_t length)
{
    DibFields f = {};
    if (!dib || !ReadHeader(dib, length, &f))
        return 0;
    if (!IsSaneFormat(f) || !IsSaneSize(f) || !IsSanePalette(f) || (IsRle(f) && f.imageSize == 0))
        return 0;
    if (!IsSaneProfile(dib, length, f))
        return 0;
    uint32_t bitsOffset = f.headerSize + CountedTableBytes(f);  // at most 124 + 65535
    if (bitsOffset > length)
        return 0;
    uint32_t present = length - bitsOffset;
    // A stated image size is taken at its word by some readers even for uncompressed rows.
    return BitsBytes(f) <= present && f.imageSize <= present;
}
