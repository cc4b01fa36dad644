// The logo rules of the package builder (see logo_rules.h). The bits offset is computed exactly
// as the setup computes it, so a BMP whose bits stand elsewhere is rewritten rather than shown
// shifted.
#include "tools/mksetup/logo_rules.h"

#include <cstdint>
#include <cstring>

#include "screen/dibcheck.h"

namespace {

const size_t kFileHeaderLength = 14;
const size_t kCoreHeaderLength = 12;
const size_t kInfoHeaderLength = 40;

uint32_t Read32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Read16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

size_t SetupBitsOffset(const unsigned char* dib, size_t length)
{
    if (length < 4)
        return 0;
    uint32_t headerSize = Read32(dib);
    uint16_t colours;
    uint16_t tableSize;
    if (headerSize == kCoreHeaderLength) {
        if (length < kCoreHeaderLength)
            return 0;
        uint16_t bits = Read16(dib + 10);
        colours = bits <= 8 ? static_cast<uint16_t>(1u << bits) : 0;
        tableSize = static_cast<uint16_t>(3u * colours);
    } else {
        if (headerSize < kInfoHeaderLength || length < kInfoHeaderLength)
            return 0;
        uint32_t used = Read32(dib + 32);
        uint16_t bits = Read16(dib + 14);
        colours = used != 0 ? static_cast<uint16_t>(used) : bits <= 8 ? static_cast<uint16_t>(1u << bits) : 0;
        tableSize = static_cast<uint16_t>(4u * colours + (Read32(dib + 16) == 3 ? 12u : 0u));
    }
    return static_cast<size_t>(headerSize) + tableSize;
}

namespace {

// Why the setup's DIB check refused dib, as far as the header says it; a general reason when
// the fault lies deeper (a broken compressed stream, a colour table the bit count forbids).
std::string DescribeDibFault(const unsigned char* dib, size_t length)
{
    std::string general = "the setup's bitmap check refuses its header, colour table or pixel bits";
    size_t bitsAt = SetupBitsOffset(dib, length);
    if (bitsAt == 0 || bitsAt > length) {
        return "its header and colour table do not fit in its " + std::to_string(length) + " bytes";
    }
    int64_t width, height;
    unsigned bitCount, compression = 0, planes;
    if (Read32(dib) == kCoreHeaderLength) {
        width = Read16(dib + 4);
        height = Read16(dib + 6);
        planes = Read16(dib + 8);
        bitCount = Read16(dib + 10);
    } else {
        width = static_cast<int32_t>(Read32(dib + 4));
        height = static_cast<int32_t>(Read32(dib + 8));
        planes = Read16(dib + 12);
        bitCount = Read16(dib + 14);
        compression = Read32(dib + 16);
    }
    if (height < 0)
        height = -height;
    if (planes != 1 || (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
                        bitCount != 32)) {
        return "it has " + std::to_string(planes) + " plane(s) of " + std::to_string(bitCount) + " bits; a logo has one plane of 1, 4, 8, 16, 24 or 32 bits";
    }
    if (width <= 0 || height <= 0 || width > kMaxDibSide || height > kMaxDibSide) {
        return "its size " + std::to_string(width) + " x " + std::to_string(height) + " is not a logo's";
    }
    if (width * height > kMaxDibPixels) {
        return "its size " + std::to_string(width) + " x " + std::to_string(height) + " is more than " +
               std::to_string(kMaxDibPixels) + " pixels";
    }
    if (compression == 0 || compression == 3) {
        uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
        if (stride * static_cast<uint64_t>(height) > length - bitsAt)
            return "its pixel bits run past its end";
    } else if (!((compression == 1 && bitCount == 8) || (compression == 2 && bitCount == 4))) {
        return "its compression " + std::to_string(compression) + " does not go with " + std::to_string(bitCount) +
               " bits";
    }
    return general;
}

}  // namespace

// The setup's own check decides; the description only says why.
int JudgeLogoDib(const unsigned char* dib, size_t length, std::string* why)
{
    if (length <= UINT32_MAX && CheckPackedDib(dib, static_cast<uint32_t>(length)))
        return 1;
    *why = DescribeDibFault(dib, length);
    return 0;
}

namespace {

// The fields of a BMP file's header that the rewriting needs.
struct BmpFields {
    uint32_t headerSize, compression, colorsUsed, masks[3];
    int64_t width, height;  // height < 0: rows top-down
    unsigned planes, bitCount;
};

const uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

// A channel of a pixel under its mask, scaled to 8 bits.
unsigned char Channel(uint32_t pixel, uint32_t mask)
{
    if (mask == 0)
        return 0;
    unsigned shift = 0;
    while (!(mask >> shift & 1))
        ++shift;
    uint64_t most = mask >> shift, value = (pixel & mask) >> shift;
    return static_cast<unsigned char>((value * 255 + most / 2) / most);
}

void Put32(std::vector<unsigned char>* out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        (*out)[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// Reads the header at h (rest bytes); kLogoMade, or the verdict and *why.
int ReadBmpFields(const unsigned char* h, size_t rest, BmpFields* f, std::string* why)
{
    f->headerSize = Read32(h);
    if (f->headerSize == kCoreHeaderLength) {
        f->width = Read16(h + 4);
        f->height = Read16(h + 6);
        f->planes = Read16(h + 8);
        f->bitCount = Read16(h + 10);
        f->compression = kRgb;
        f->colorsUsed = 0;
        return kLogoMade;
    }
    const uint32_t size = f->headerSize;
    if ((size != 40 && size != 52 && size != 56 && size != 108 && size != 124) || rest < size) {
        *why = "its bitmap header of " + std::to_string(size) + " bytes is none that this tool reads";
        return kLogoNoBmp;
    }
    f->width = static_cast<int32_t>(Read32(h + 4));
    f->height = static_cast<int32_t>(Read32(h + 8));
    f->planes = Read16(h + 12);
    f->bitCount = Read16(h + 14);
    f->compression = Read32(h + 16);
    f->colorsUsed = Read32(h + 32);
    // The masks follow a 40-byte header and stand inside the longer ones, at the same offset.
    if (f->compression == kBitFields || f->compression == kAlphaBitFields) {
        if (rest < 52) {
            *why = "its colour masks are cut short";
            return kLogoNoBmp;
        }
        for (int i = 0; i < 3; ++i)
            f->masks[i] = Read32(h + 40 + 4 * i);
    } else if (f->bitCount == 16) {
        f->masks[0] = 0x7C00, f->masks[1] = 0x03E0, f->masks[2] = 0x001F;
    } else {
        f->masks[0] = 0xFF0000, f->masks[1] = 0xFF00, f->masks[2] = 0xFF;
    }
    return kLogoMade;
}

// Whether the header describes a bitmap the setup could show once rewritten; else *why.
int IsShowable(const BmpFields& f, std::string* why)
{
    const int64_t rows = f.height < 0 ? -f.height : f.height;
    const unsigned b = f.bitCount;
    const bool known = f.compression == kRgb ? b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32
                       : f.compression == kRle8 ? b == 8
                       : f.compression == kRle4 ? b == 4
                       : f.compression == kBitFields || f.compression == kAlphaBitFields ? b == 16 || b == 32
                                                                                          : false;
    if (f.planes != 1 || !known) {
        *why = "it has " + std::to_string(f.planes) + " plane(s) of " + std::to_string(b) + " bits with compression " +
               std::to_string(f.compression);
        return 0;
    }
    const std::string size = "its size " + std::to_string(f.width) + " x " + std::to_string(rows);
    if (f.width <= 0 || rows == 0 || f.width > kMaxDibSide || rows > kMaxDibSide) {
        *why = size + " is not a logo's";
        return 0;
    }
    if (f.width * rows > kMaxDibPixels) {
        *why = size + " is more than " + std::to_string(kMaxDibPixels) + " pixels";
        return 0;
    }
    if (b <= 8 && f.colorsUsed > (1u << b)) {
        *why = "its colour table of " + std::to_string(f.colorsUsed) + " colours is longer than " + std::to_string(b) +
               " bits allow";
        return 0;
    }
    return 1;
}

}  // namespace

int MakeLogoDib(const unsigned char* bmp, size_t length, std::vector<unsigned char>* dib, std::string* why)
{
    if (length < kFileHeaderLength + kCoreHeaderLength || bmp[0] != 'B' || bmp[1] != 'M') {
        *why = "it does not start with a BMP file header";
        return kLogoNoBmp;
    }
    const unsigned char* h = bmp + kFileHeaderLength;
    const size_t rest = length - kFileHeaderLength;
    const uint32_t bitsAt = Read32(bmp + 10);
    if (Read32(h) == kInfoHeaderLength && bitsAt == kFileHeaderLength + SetupBitsOffset(h, rest) &&
        JudgeLogoDib(h, rest, why)) {
        dib->assign(h, h + rest);
        return kLogoMade;
    }
    BmpFields f = {};
    int verdict = ReadBmpFields(h, rest, &f, why);
    if (verdict != kLogoMade)
        return verdict;
    if (!IsShowable(f, why))
        return kLogoNotShown;
    const size_t rows = static_cast<size_t>(f.height < 0 ? -f.height : f.height), width = static_cast<size_t>(f.width);
    const bool core = f.headerSize == kCoreHeaderLength, rle = f.compression == kRle8 || f.compression == kRle4;
    const size_t entry = core ? 3 : 4;
    const size_t colours = f.bitCount > 8 ? 0 : f.colorsUsed ? f.colorsUsed : 1u << f.bitCount;
    const size_t tableAt = f.headerSize + (f.headerSize == kInfoHeaderLength && f.compression == kBitFields ? 12 : 0);
    if (tableAt + colours * entry > rest || bitsAt < kFileHeaderLength + f.headerSize || bitsAt > length) {
        *why = "its colour table or pixel bits do not lie within the file";
        return kLogoNoBmp;
    }
    const unsigned char* bits = bmp + bitsAt;
    const size_t present = length - bitsAt, inStride = (width * f.bitCount + 31) / 32 * 4;
    const size_t bitsLength = rle ? (Read32(h + 20) ? Read32(h + 20) : present) : inStride * rows;
    if (bitsLength > present || (rle && f.height < 0)) {
        *why = rle ? "its compressed rows run past its end or run top-down" : "its pixel bits run past its end";
        return kLogoNotShown;
    }

    const unsigned outBits = f.bitCount <= 8 ? f.bitCount : 24;
    const size_t outStride = rle ? 0 : (width * outBits + 31) / 32 * 4;
    dib->assign(kInfoHeaderLength + colours * 4 + (rle ? bitsLength : outStride * rows), 0);
    Put32(dib, 0, kInfoHeaderLength);
    Put32(dib, 4, static_cast<uint32_t>(width));
    Put32(dib, 8, static_cast<uint32_t>(rows));
    Put32(dib, 12, 1 | outBits << 16);
    Put32(dib, 16, rle ? f.compression : kRgb);
    if (!core)  // the resolution and the important colours as they were
        memcpy(dib->data() + 24, h + 24, 16);
    Put32(dib, 20, static_cast<uint32_t>(rle ? bitsLength : outStride * rows));
    Put32(dib, 32, static_cast<uint32_t>(colours));
    unsigned char* out = dib->data() + kInfoHeaderLength;
    for (size_t i = 0; i < colours; ++i, out += 4)
        memcpy(out, h + tableAt + i * entry, 3);
    if (rle) {
        memcpy(out, bits, bitsLength);
    } else {
        for (size_t y = 0; y < rows; ++y, out += outStride) {
            const unsigned char* row = bits + (f.height < 0 ? rows - 1 - y : y) * inStride;
            if (f.bitCount <= 8 || f.bitCount == 24) {
                memcpy(out, row, (width * f.bitCount + 7) / 8);
                continue;
            }
            for (size_t x = 0; x < width; ++x) {
                uint32_t pixel = f.bitCount == 16 ? Read16(row + 2 * x) : Read32(row + 4 * x);
                for (int c = 0; c < 3; ++c)
                    out[3 * x + c] = Channel(pixel, f.masks[2 - c]);
            }
        }
    }
    if (!JudgeLogoDib(dib->data(), dib->size(), why))
        return kLogoNotShown;
    return kLogoMade;
}
