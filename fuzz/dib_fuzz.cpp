// libFuzzer target for the check of the logo's packed DIB. The input, copied into a block of
// exactly its length, is taken as the DIB; an input that starts like a .bmp file ("BM") is
// also tried without its 14-byte file header, so that picture files serve as seeds directly.
// Held to what MakeLogoBitmap relies on: a DIB that the check accepts has everything that the
// bitmap helpers and the platform read lying within the block (the reads are made, so that
// the address sanitizer sees them, and their end is compared with the length).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "screen/dibcheck.h"
#include "tests/common/dib_reads.h"

namespace {

void CheckOne(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return;
    uint8_t* block = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (size)
        memcpy(block, data, size);
    if (CheckPackedDib(block, static_cast<uint32_t>(size))) {
        if (DibReadEnd(block) > size)
            abort();
        TouchDibReads(block);
    }
    free(block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckOne(data, size);
    if (size >= 14 && data[0] == 'B' && data[1] == 'M')
        CheckOne(data + 14, size - 14);
    return 0;
}
