// Reading the setup file's layout (the map is in package.h). Every length here comes from
// the package, which is untrusted: offsets are checked by subtraction, never by sums that
// could wrap.
#include "setup/package.h"

#include <cstring>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

static const char kMarkerFrame[] = "@@@@@-----";
static const char kMarkerFrameEnd[] = "-----@@@@@";
static const char kSetupWords[] = "boundary of setup and data";
static const char kSaverWords[] = "boundary of saver and data";

static void AssembleMarker(char marker[kBoundaryLength], const char* words)
{
    memcpy(marker, kMarkerFrame, 10);
    memcpy(marker + 10, words, 26);
    memcpy(marker + 36, kMarkerFrameEnd, 10);
}

static uint32_t ReadLittle32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static uint16_t ReadLittle16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The byte loops here and below stand in for the C library's string and memory functions,
// which the setup would otherwise import from a DLL of their own.
static int SameBytes(const unsigned char* a, const unsigned char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (a[i] != b[i])
            return 0;
    return 1;
}

static int EqualsIgnoringCase(const char* a, size_t length, const char* b)
{
    for (size_t i = 0; i < length; ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i])  // also where b ends first: no byte of a is NUL
            return 0;
    }
    return b[length] == '\0';
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices whatever extension follows them, and
// blanks before the extension do not change that.
static int IsReservedDeviceName(const char* name, size_t length)
{
    size_t base = 0;
    while (base < length && name[base] != '.')
        ++base;
    while (base > 0 && name[base - 1] == ' ')
        --base;
    // Names kept in place rather than as pointers, which a 32-bit image would relocate.
    static const char kDevices[][4] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kDevices)
        if (EqualsIgnoringCase(name, base, device))
            return 1;
    if (base == 4 && name[3] >= '1' && name[3] <= '9' &&
        (EqualsIgnoringCase(name, 3, "COM") || EqualsIgnoringCase(name, 3, "LPT")))
        return 1;
    return 0;
}

void AssembleSetupBoundary(char marker[kBoundaryLength])
{
    AssembleMarker(marker, kSetupWords);
}

void AssembleSaverBoundary(char marker[kBoundaryLength])
{
    AssembleMarker(marker, kSaverWords);
}

// Horspool's search from offset at: the marker's last byte is compared first and a mismatch
// skips by the distance of the text byte from the marker's end, so most of a payload (zeros,
// code) is passed over 46 bytes at a time. Candidates are checked whole, left to right, so the
// smallest offset is the one returned.
static size_t FindBoundaryFrom(const unsigned char* data, size_t length, const unsigned char* pattern, size_t at)
{
    const size_t m = kBoundaryLength;
    size_t skip[256];
    for (size_t& s : skip)
        s = m;
    for (size_t k = 0; k + 1 < m; ++k)
        skip[pattern[k]] = m - 1 - k;

    const unsigned char last = pattern[m - 1];
    while (at <= length - m) {
        unsigned char probe = data[at + m - 1];
        if (probe == last && SameBytes(data + at, pattern, m - 1))
            return at;
        at += skip[probe];
    }
    return length;
}

#if defined(__SSE2__) && defined(__GNUC__)
// Two bytes of the marker inside its words, 25 apart ('b' and 'a' in both markers): the
// frame bytes '@' and '-' and zero padding match neither, so a run of them, which makes
// Horspool step one byte at a time, is passed here 64 offsets per round. Offsets whose two
// bytes match are checked whole in rising order, so the first match is the smallest offset.
// 1 and *found on a match; else 0, and *at is the first offset not yet examined.
enum { kProbeFirst = 10, kProbeSecond = 35, kRoundOffsets = 64 };

// Bit i set when offset p + i has both probe bytes, for the 16 offsets from p.
static inline __m128i ProbeBoth(const unsigned char* p, __m128i first, __m128i second)
{
    return _mm_and_si128(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kProbeFirst)), first),
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kProbeSecond)), second));
}

static int ScanProbePairs(const unsigned char* data, size_t length, const unsigned char* pattern, size_t* at,
                   size_t* found)
{
    const size_t lastOffset = length - kBoundaryLength;
    const __m128i first = _mm_set1_epi8(static_cast<char>(pattern[kProbeFirst]));
    const __m128i second = _mm_set1_epi8(static_cast<char>(pattern[kProbeSecond]));
    size_t offset = *at;
    // The round's offsets all lie at or below lastOffset, so every load stays inside.
    while (offset <= lastOffset && lastOffset - offset >= kRoundOffsets - 1) {
        const unsigned char* p = data + offset;
        __m128i m0 = ProbeBoth(p, first, second), m1 = ProbeBoth(p + 16, first, second);
        __m128i m2 = ProbeBoth(p + 32, first, second), m3 = ProbeBoth(p + 48, first, second);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))) != 0) {
            uint64_t mask = static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m0))) |
                            static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m1))) << 16 |
                            static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m2))) << 32 |
                            static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m3))) << 48;
            while (mask != 0) {
                unsigned bit = static_cast<unsigned>(__builtin_ctzll(mask));
                if (SameBytes(p + bit, pattern, kBoundaryLength)) {
                    *found = offset + bit;
                    return 1;
                }
                mask &= mask - 1;
            }
        }
        offset += kRoundOffsets;
    }
    *at = offset;
    return 0;
}
#endif

// The bulk of the buffer goes through the SSE2 scan where the compiler targets SSE2 (every
// x64 build); the rest, and everything on other targets, through Horspool's search.
size_t FindBoundary(const unsigned char* data, size_t length, const char* marker)
{
    if (length < kBoundaryLength)
        return length;
    const unsigned char* pattern = reinterpret_cast<const unsigned char*>(marker);
    size_t at = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    size_t found = 0;
    if (ScanProbePairs(data, length, pattern, &at, &found))
        return found;
#endif
    return FindBoundaryFrom(data, length, pattern, at);
}

// 1 when the four bytes at ending are ".scr" in any letter case.
static int IsSaverExtension(const unsigned char* ending)
{
    return ending[0] == '.' && (ending[1] | 0x20) == 's' && (ending[2] | 0x20) == 'c' && (ending[3] | 0x20) == 'r';
}

// 1 when byte can stand behind a lead byte: the second bytes of code page 932. No double-byte
// code page has a second byte below 0x40, so a dot, a separator, a blank or a NUL never ends a
// character here, as the system would read it (x, 0x81, 0x2E: one character, no dot).
static int IsTrailByte(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

SaverNameVerdict CheckSaverName(const unsigned char* field, size_t directoryLength, LeadByteTest isLead)
{
    const char* name = reinterpret_cast<const char*>(field);
    size_t length = 0;
    while (length < kSaverNameFieldLength && field[length] != '\0')
        ++length;
    if (length == kSaverNameFieldLength)
        return kNameUnterminated;
    if (length == 0 || (field[0] == '.' && (length == 1 || (length == 2 && field[1] == '.'))))
        return kNameEmpty;

    size_t lastChar = 0;
    for (size_t i = 0; i < length;) {
        unsigned char c = field[i];
        lastChar = i;
        if (isLead(c)) {
            // The NUL behind the name is no second byte either.
            if (!IsTrailByte(field[i + 1]))
                return kNameBrokenCharacter;
            i += 2;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':')
            return kNameSeparator;
        if (c < 0x20 || c == 0x7F)
            return kNameBadCharacter;
        for (const char* bad = "<>\"|?*"; *bad != '\0'; ++bad)
            if (c == static_cast<unsigned char>(*bad))
                return kNameBadCharacter;
        ++i;
    }
    if (field[lastChar] == '.' || field[lastChar] == ' ')
        return kNameBadEnding;
    if (IsReservedDeviceName(name, length))
        return kNameReservedDevice;
    if (directoryLength + 1 + length > kPathBufferSize - 1)
        return kNameTooLong;
    // The setup writes into the system directory with an administrator's rights: a program or
    // library under a name the system loads by (a .dll, an .exe) must never land there, nor
    // take the place of one. A dot is never the second byte of a double-byte character that
    // passed above, so the last four bytes are the name's last four characters.
    if (length < 5 || !IsSaverExtension(field + length - 4))
        return kNameNotSaver;
    return kNameAccepted;
}

const char* DescribeSaverNameVerdict(SaverNameVerdict verdict)
{
    // The texts are one object of their own, not loose literals: the stub never asks for them,
    // and with -fdata-sections its linker drops them together with this function.
    static const char kTexts[][84] = {
        "accepted",
        "the name field holds no NUL within its 260 bytes",
        "the name is empty, \".\" or \"..\"",
        "the name holds a backslash, slash or colon",
        "the name holds a control character or one of < > \" | ? *",
        "the name holds a lead byte without a valid second byte",
        "the name ends in a dot or a blank",
        "the name is a reserved device name",
        "the saver's path in the system directory would exceed 259 bytes",
        "the name does not end in .scr: a package installs a screen saver and nothing else",
        "unknown",
    };
    const int kUnknown = sizeof kTexts / sizeof kTexts[0] - 1;
    static_assert(kUnknown == kNameNotSaver + 1, "a text for each verdict, in the verdicts' order");
    int index = static_cast<int>(verdict);
    return kTexts[index >= 0 && index < kUnknown ? index : kUnknown];
}

// The PE header's pieces that lead to the security directory (offsets from the "PE\0\0"
// signature): the file header's optional-header size, the optional header's magic, and where
// each kind of optional header keeps its directory count and directories.
enum : size_t {
    kDosHeaderLength = 64,
    kPeOffsetField = 0x3C,
    kPeSignature = 0x4550,  // "PE\0\0"
    kOptionalSizeField = 4 + 16,
    kOptionalHeader = 4 + 20,
    kPe32Magic = 0x10B,
    kPe32PlusMagic = 0x20B,
    kPe32Directories = 96,
    kPe32PlusDirectories = 112,
    kSecurityDirectory = 4,  // index of the entry; 8 bytes each
};

size_t FindSecurityDirectoryEntry(const unsigned char* image, size_t imageLength)
{
    if (imageLength < kDosHeaderLength || image[0] != 'M' || image[1] != 'Z')
        return 0;
    size_t pe = ReadLittle32(image + kPeOffsetField);
    // Every field read below lies within the first kOptionalHeader + 112 + 40 bytes from pe.
    const size_t reach = kOptionalHeader + kPe32PlusDirectories + (kSecurityDirectory + 1) * 8;
    if (pe > imageLength || imageLength - pe < reach || ReadLittle32(image + pe) != kPeSignature)
        return 0;
    uint16_t magic = ReadLittle16(image + pe + kOptionalHeader);
    size_t directories;
    if (magic == kPe32Magic)
        directories = kPe32Directories;
    else if (magic == kPe32PlusMagic)
        directories = kPe32PlusDirectories;
    else
        return 0;
    // The entry counts only when both the directory count and the optional header's size hold it.
    size_t entryEnd = directories + (kSecurityDirectory + 1) * 8;
    if (ReadLittle32(image + pe + kOptionalHeader + directories - 4) <= kSecurityDirectory ||
        ReadLittle16(image + pe + kOptionalSizeField) < entryEnd)
        return 0;
    return pe + kOptionalHeader + directories + kSecurityDirectory * 8;
}

int FindCertificateTable(const unsigned char* image, size_t imageLength, uint32_t* offset, uint32_t* size)
{
    size_t entry = FindSecurityDirectoryEntry(image, imageLength);
    if (entry == 0)
        return 0;
    *offset = ReadLittle32(image + entry);
    *size = ReadLittle32(image + entry + 4);
    return *offset != 0 && *size != 0;
}

int LocatePayload(const unsigned char* buffer, size_t length, size_t* boundary, size_t* payload,
                  size_t* payloadEnd)
{
    char marker[kBoundaryLength];
    AssembleSetupBoundary(marker);
    size_t at = FindBoundary(buffer, length, marker);
    if (at == length || length - at < kPayloadOffset)
        return 0;
    *boundary = at;
    *payload = at + kPayloadOffset;
    // A signed package: the certificate table behind the payload is no part of the saver. Only
    // the image's own header is read, and only a table wholly within the file is cut off.
    *payloadEnd = length;
    uint32_t tableAt = 0, tableSize = 0;
    if (FindCertificateTable(buffer, at, &tableAt, &tableSize) && tableAt >= *payload && tableAt <= length &&
        tableSize <= length - tableAt)
        *payloadEnd = tableAt;
    return 1;
}

int FindLogo(const unsigned char* payload, size_t payloadLength, const unsigned char** logo,
             uint32_t* logoLength)
{
    char marker[kBoundaryLength];
    AssembleSaverBoundary(marker);
    size_t j = FindBoundary(payload, payloadLength, marker);
    if (j == payloadLength)
        return 0;

    *logo = nullptr;
    *logoLength = 0;
    // From here on every test is "does the rest hold n more bytes", by subtraction.
    size_t rest = payloadLength - j;
    if (rest < kDataFirstStringOffset + 4)
        return 1;
    uint32_t logoBytes = ReadLittle32(payload + j + kDataLogoLengthOffset);
    uint32_t firstString = ReadLittle32(payload + j + kDataFirstStringOffset);
    if (logoBytes == 0)
        return 1;
    rest -= kDataFirstStringOffset + 4;
    if (rest < firstString || rest - firstString < 4)
        return 1;
    rest -= static_cast<size_t>(firstString) + 4;
    size_t secondAt = j + kDataFirstStringOffset + 4 + firstString;
    uint32_t secondString = ReadLittle32(payload + secondAt);
    if (rest < secondString || rest - secondString < 4)
        return 1;
    rest -= static_cast<size_t>(secondString) + 4;
    if (rest < logoBytes)
        return 1;
    *logo = payload + secondAt + 4 + secondString + 4;
    *logoLength = logoBytes;
    return 1;
}
