// The lead-byte ranges of code page 932, for scanning test strings natively.
#pragma once

inline int IsCp932LeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
