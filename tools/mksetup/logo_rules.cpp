// The logo rules of the package builder (see logo_rules.h). The bits offset is computed exactly
// as the setup computes it, so a BMP whose file header points elsewhere is refused rather than
// shown shifted.
#include "tools/mksetup/logo_rules.h"

#include <cstdint>

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

int CheckBmpFile(const unsigned char* bmp, size_t length, std::string* why)
{
    if (length < kFileHeaderLength + kCoreHeaderLength || bmp[0] != 'B' || bmp[1] != 'M') {
        *why = "it does not start with a BMP file header";
        return 0;
    }
    uint32_t bitsAt = Read32(bmp + 10);
    size_t expected = SetupBitsOffset(bmp + kFileHeaderLength, length - kFileHeaderLength);
    if (expected == 0) {
        *why = "its bitmap header can't be read";
        return 0;
    }
    if (bitsAt != kFileHeaderLength + expected) {
        *why = "its pixel bits stand at byte " + std::to_string(bitsAt) + ", the setup would read them at byte " +
               std::to_string(kFileHeaderLength + expected);
        return 0;
    }
    return 1;
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
