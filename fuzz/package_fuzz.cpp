// libFuzzer target for the reading of a setup file: LocatePayload, the name rules under both
// kinds of code page, and FindLogo, each held to what its callers rely on:
//   - the marker offset is the smallest one (a byte-by-byte search agrees with FindBoundary)
//   - every pointer handed back lies inside the input, the logo wholly inside the payload
//   - the payload ends at the end of the input, or where a certificate table starts that the
//     image's own header names, behind the name field and wholly within the input
//   - an accepted name, joined to the system directory, stays a file of that directory
// Any broken promise aborts, which libFuzzer reports with the input that did it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_common.h"
#include "setup/package.h"
#include "support/pathscan.h"

namespace {

size_t NaiveSearch(const uint8_t* data, size_t size, const char* marker)
{
    for (size_t at = 0; at + kBoundaryLength <= size; ++at)
        if (memcmp(data + at, marker, kBoundaryLength) == 0)
            return at;
    return size;
}

uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// An accepted name joined to a system directory must come back out as the file-name part,
// whole: no separator, drive or dot-dot in it can lead elsewhere.
void CheckAcceptedName(const uint8_t* field, LeadByteTest isLead)
{
    static const char kSystemDirectory[] = "C:\\WINDOWS\\system32";
    const size_t directoryLength = sizeof kSystemDirectory - 1;
    SaverNameVerdict verdict = CheckSaverName(field, directoryLength, isLead);
    Require(verdict >= kNameAccepted && verdict <= kNameNotSaver);
    Require(DescribeSaverNameVerdict(verdict) != nullptr);
    if (verdict != kNameAccepted)
        return;
    const char* name = reinterpret_cast<const char*>(field);
    size_t length = strnlen(name, kSaverNameFieldLength);
    Require(length > 4 && length < kSaverNameFieldLength && strncasecmp(name + length - 4, ".scr", 4) == 0);
    Require(directoryLength + 1 + length <= kPathBufferSize - 1);
    char path[kPathBufferSize];
    memcpy(path, kSystemDirectory, sizeof kSystemDirectory);
    Require(ScanAppendPathPart(path, name, isLead) == 1);
    Require(strlen(path) == directoryLength + 1 + length);
    Require(ScanFileNamePart(path, isLead) == path + directoryLength + 1);
    Require(memcmp(path + directoryLength + 1, name, length) == 0);
}

void CheckLogo(const uint8_t* payload, size_t length)
{
    char marker[kBoundaryLength];
    AssembleSaverBoundary(marker);
    size_t j = NaiveSearch(payload, length, marker);
    Require(FindBoundary(payload, length, marker) == j);

    const uint8_t* logo = reinterpret_cast<const uint8_t*>(&marker);  // a sentinel: must be replaced
    uint32_t logoLength = 0xDEADBEEF;
    int found = FindLogo(payload, length, &logo, &logoLength);
    Require(found == (j != length));
    if (!found)
        return;
    if (logoLength == 0) {
        Require(logo == nullptr);
        return;
    }
    Require(length - j >= kDataFixedLength);
    Require(logoLength == Read32(payload + j + kDataLogoLengthOffset));
    Require(logo >= payload + j + kDataFixedLength && logo <= payload + length);
    Require(static_cast<size_t>(payload + length - logo) >= logoLength);
    uint32_t first = Read32(payload + j + kDataFirstStringOffset);
    uint32_t second = Read32(payload + j + kDataFirstStringOffset + 4 + first);
    Require(static_cast<size_t>(logo - payload) == j + kDataFixedLength + first + second);
}

// A payload cut short of the input's end was cut at a certificate table that the header in
// front of the boundary names, that starts behind the name field and that the input holds whole.
void CheckPayloadEnd(const uint8_t* data, size_t size, size_t boundary, size_t payload, size_t end)
{
    uint32_t offset = 0, tableSize = 0;
    int named = FindCertificateTable(data, boundary, &offset, &tableSize);
    size_t entry = FindSecurityDirectoryEntry(data, boundary);
    Require(entry == 0 || entry + 8 <= boundary);
    Require(!named || entry != 0);
    bool cut = named && offset >= payload && offset <= size && tableSize <= size - offset;
    Require(end == (cut ? offset : size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char marker[kBoundaryLength];
    AssembleSetupBoundary(marker);
    size_t naive = NaiveSearch(data, size, marker);
    Require(FindBoundary(data, size, marker) == naive);

    size_t boundary = 0, payload = 0, end = 0;
    int located = LocatePayload(data, size, &boundary, &payload, &end);
    Require(located == (naive != size && size - naive >= kPayloadOffset));
    if (located) {
        Require(boundary == naive && payload == boundary + kPayloadOffset && payload <= end && end <= size);
        CheckPayloadEnd(data, size, boundary, payload, end);
        CheckAcceptedName(data + boundary + kBoundaryLength, IsCp932LeadByte);
        CheckAcceptedName(data + boundary + kBoundaryLength, IsNeverLead);
        CheckLogo(data + payload, end - payload);
    }
    // The name rules and the data block also on the raw input, so that mutations need not keep
    // a marker alive to reach them.
    size_t entry = FindSecurityDirectoryEntry(data, size);
    Require(entry == 0 || (size >= 8 && entry <= size - 8));
    if (size >= kSaverNameFieldLength) {
        CheckAcceptedName(data, IsCp932LeadByte);
        CheckAcceptedName(data, IsNeverLead);
    }
    CheckLogo(data, size);
    return 0;
}
