// The setup file's layout read from hand-made packages: the payload behind the first
// boundary, the name field's rules, and the logo's place in the saver's data block with
// every length taken as hostile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "setup/package.h"
#include "tools/mksetup/package_writer.h"
#include "tests/common/cp932.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void Append(Bytes& out, const void* data, size_t n)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    out.insert(out.end(), p, p + n);
}

Bytes SetupMarker()
{
    char m[kBoundaryLength];
    AssembleSetupBoundary(m);
    return Bytes(m, m + kBoundaryLength);
}

Bytes SaverMarker()
{
    char m[kBoundaryLength];
    AssembleSaverBoundary(m);
    return Bytes(m, m + kBoundaryLength);
}

// A data block with the given fields; logoBytesPresent logo bytes follow, whatever L says.
Bytes DataBlock(uint32_t logoLength, uint32_t a, uint32_t b, size_t logoBytesPresent)
{
    Bytes out = BuildSaverDataBlock(Bytes(132, 0x11), std::string(a, 'a'), std::string(b, 'b'),
                                    Bytes(logoBytesPresent, 0x42));
    memcpy(&out[kDataLogoLengthOffset], &logoLength, 4);  // little-endian host
    return out;
}

TEST(Markers, AssembledFromPieces)
{
    Bytes setup = SetupMarker(), saver = SaverMarker();
    EXPECT_EQ("@@@@@-----boundary of setup and data-----@@@@@", std::string(setup.begin(), setup.end()));
    EXPECT_EQ("@@@@@-----boundary of saver and data-----@@@@@", std::string(saver.begin(), saver.end()));
}

TEST(FindBoundary, SmallestOffsetOrLength)
{
    Bytes marker = SetupMarker();
    const char* m = reinterpret_cast<const char*>(marker.data());
    Bytes data(1000, 0);
    EXPECT_EQ(1000u, FindBoundary(data.data(), data.size(), m));
    EXPECT_EQ(10u, FindBoundary(data.data(), 10, m));
    EXPECT_EQ(0u, FindBoundary(data.data(), 0, m));
    // Near misses everywhere, and the marker at 0, in the middle, at the very end, twice.
    for (size_t at : {size_t(0), size_t(1), size_t(477), size_t(1000 - kBoundaryLength)}) {
        Bytes d(1000, '@');
        for (size_t k = 0; k + 10 < d.size(); k += 13)
            memcpy(&d[k], "-----@@@@@", 10);
        memcpy(&d[at], m, kBoundaryLength);
        if (at + 2 * kBoundaryLength + 5 <= d.size())
            memcpy(&d[at + kBoundaryLength + 5], m, kBoundaryLength);
        EXPECT_EQ(at, FindBoundary(d.data(), d.size(), m)) << "at " << at;
    }
    // Every prefix of the marker alone, and the marker less its last byte, is no match.
    EXPECT_EQ(kBoundaryLength - 1, FindBoundary(marker.data(), kBoundaryLength - 1, m));
    Bytes broken = marker;
    broken[kBoundaryLength - 1] = '#';
    EXPECT_EQ(kBoundaryLength, FindBoundary(broken.data(), broken.size(), m));
}

TEST(LocatePayload, NeedsTheWholeNameField)
{
    Bytes file(100, 0x90);
    Append(file, SetupMarker().data(), kBoundaryLength);
    size_t boundary = 0, payload = 0;
    Bytes shortFile = file;
    shortFile.resize(file.size() + kSaverNameFieldLength - 1, 0);
    size_t end = 0;
    EXPECT_EQ(0, LocatePayload(shortFile.data(), shortFile.size(), &boundary, &payload, &end));
    file.resize(file.size() + kSaverNameFieldLength, 0);  // empty payload
    ASSERT_EQ(1, LocatePayload(file.data(), file.size(), &boundary, &payload, &end));
    EXPECT_EQ(100u, boundary);
    EXPECT_EQ(file.size(), payload);
    EXPECT_EQ(file.size(), end);
    Bytes none(5000, 0);
    EXPECT_EQ(0, LocatePayload(none.data(), none.size(), &boundary, &payload, &end));
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

const size_t kSecurityEntryPlus = 0x80 + 24 + 112 + 32, kSecurityEntry32 = 0x80 + 24 + 96 + 32;

// The payload ends where a certificate table named by the image's header starts, when that
// table lies behind the name field and within the file; else at the end of the file.
TEST(LocatePayload, EndsAtACertificateTableBehindTheNameField)
{
    const Bytes saver = DataBlock(8, 3, 5, 8);
    const Bytes signature(20, 0x30);  // 28 bytes with the entry header, 32 padded
    enum Change { kAsSigned, kTableAt, kTableSize, kDirectoryCount, kHeaderInSaver };
    struct Case {
        const char* what;
        bool plus;
        Change change;
        int64_t value;  // kTableAt: offset from the payload's start
        bool cut;
    } const cases[] = {
        {"PE32+, signed", true, kAsSigned, 0, true},
        {"PE32, signed", false, kAsSigned, 0, true},
        {"table in the name field", true, kTableAt, -250, false},
        {"table at the payload's start", true, kTableAt, 0, true},
        {"table beyond the end", true, kTableAt, 1 << 30, false},
        {"table running past the end", true, kTableSize, 33, false},
        {"table of size 0", true, kTableSize, 0, false},
        {"four directories only", true, kDirectoryCount, 4, false},
        {"the header of a signed saver", true, kHeaderInSaver, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A saver that is a program itself has a PE header of its own.
        Bytes caseSaver = saver;
        if (c.change == kHeaderInSaver) {
            const Bytes header = BuildHeaderOnlyImage(true);
            caseSaver.insert(caseSaver.begin(), header.begin(), header.end());
        }
        Bytes unsigned_ = BuildPackage(BuildHeaderOnlyImage(c.plus), "s.scr", caseSaver, kCertificateAlignment);
        Bytes package = AppendCertificateTable(unsigned_, signature);
        ASSERT_EQ(unsigned_.size() + 32, package.size());
        const size_t entry = c.plus ? kSecurityEntryPlus : kSecurityEntry32;
        const size_t payloadAt = unsigned_.size() - caseSaver.size();
        size_t tableAt = unsigned_.size();
        switch (c.change) {
        case kAsSigned:
            break;
        case kTableAt:
            tableAt = static_cast<size_t>(static_cast<int64_t>(payloadAt) + c.value);
            Put32(package, entry, static_cast<uint32_t>(tableAt));
            Put32(package, entry + 4, static_cast<uint32_t>(package.size() - std::min(tableAt, package.size())));
            break;
        case kTableSize:
            Put32(package, entry + 4, static_cast<uint32_t>(c.value));
            break;
        case kDirectoryCount:
            Put32(package, entry - 4 * 8 - 4, static_cast<uint32_t>(c.value));
            break;
        case kHeaderInSaver:  // the image's header moved away, the saver's naming the table
            Put32(package, 0x3C, static_cast<uint32_t>(payloadAt + 0x80));
            Put32(package, payloadAt + entry, static_cast<uint32_t>(tableAt));
            Put32(package, payloadAt + entry + 4, 32);
            break;
        }
        size_t boundary = 0, payload = 0, end = 0;
        ASSERT_EQ(1, LocatePayload(package.data(), package.size(), &boundary, &payload, &end));
        EXPECT_EQ(payloadAt, payload);
        EXPECT_EQ(c.cut ? tableAt : package.size(), end);
        if (c.change == kAsSigned) {
            EXPECT_EQ(caseSaver, Bytes(package.begin() + payload, package.begin() + end));
        }
    }
}

SaverNameVerdict Judge(const std::string& name, size_t directoryLength = 19)
{
    Bytes field(kSaverNameFieldLength, 0);
    memcpy(field.data(), name.data(), std::min(name.size(), field.size()));
    return CheckSaverName(field.data(), directoryLength, IsCp932LeadByte);
}

TEST(SaverName, Rules)
{
    struct { std::string name; SaverNameVerdict verdict; } cases[] = {
        {"abc.scr", kNameAccepted},
        {"a.b.scr", kNameAccepted},
        {"A.SCR", kNameAccepted},
        {"\x95\x5C\x8E\xA6.scr", kNameAccepted},  // 表示.scr
        {"abc", kNameNotSaver},
        {".scr", kNameNotSaver},
        {"evil.exe", kNameNotSaver},
        {"evil.scr.dll", kNameNotSaver},
        {"version.dll", kNameNotSaver},
        {"a.scrx", kNameNotSaver},
        {"\x95\x5C.scr", kNameAccepted},       // 0x5C as a second byte is part of a character
        {"\x83\x58\x83\x4E.scr", kNameAccepted},
        {"CONSOLE.scr", kNameAccepted},
        {"COM0.scr", kNameAccepted},
        {"", kNameEmpty},
        {".", kNameEmpty},
        {"..", kNameEmpty},
        {"..\\evil.scr", kNameSeparator},
        {"sub/evil.scr", kNameSeparator},
        {"C:evil.scr", kNameSeparator},
        {"x\\\x95", kNameSeparator},
        {"a\tb.scr", kNameBadCharacter},
        {"a\x1F.scr", kNameBadCharacter},
        {"a*.scr", kNameBadCharacter},
        {"a?.scr", kNameBadCharacter},
        {"a\".scr", kNameBadCharacter},
        {"abc\x95", kNameBrokenCharacter},
        {"x\x81.scr", kNameBrokenCharacter},  // the system reads 0x81 0x2E as one character
        {"abc.", kNameBadEnding},
        {"abc ", kNameBadEnding},
        {"CON", kNameReservedDevice},
        {"con.scr", kNameReservedDevice},
        {"Nul .txt", kNameReservedDevice},
        {"LPT9.scr", kNameReservedDevice},
        {"com1", kNameReservedDevice},
        {"aux.a.b", kNameReservedDevice},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.verdict, Judge(c.name)) << "name '" << c.name << "'";
}

TEST(SaverName, FieldAndPathLength)
{
    Bytes field(kSaverNameFieldLength, 'x');
    EXPECT_EQ(kNameUnterminated, CheckSaverName(field.data(), 19, IsCp932LeadByte));
    // Directory (19) + backslash + name must stay within 259 bytes.
    EXPECT_EQ(kNameAccepted, Judge(std::string(235, 'n') + ".scr"));
    EXPECT_EQ(kNameTooLong, Judge(std::string(240, 'n')));
    EXPECT_EQ(kNameTooLong, Judge("abc.scr", 252));
}

TEST(FindLogo, WellFormedBlock)
{
    Bytes payload(300, 0x4D);
    Bytes block = DataBlock(8, 3, 5, 8);
    Append(payload, block.data(), block.size());
    const unsigned char* logo = nullptr;
    uint32_t logoLength = 99;
    ASSERT_EQ(1, FindLogo(payload.data(), payload.size(), &logo, &logoLength));
    EXPECT_EQ(8u, logoLength);
    EXPECT_EQ(payload.data() + 300 + 198 + 3 + 5, logo);
    EXPECT_EQ(0x42, logo[0]);
}

TEST(FindLogo, NoMarkerFails)
{
    Bytes payload(300, 0);
    const unsigned char* logo = nullptr;
    uint32_t logoLength = 0;
    EXPECT_EQ(0, FindLogo(payload.data(), payload.size(), &logo, &logoLength));
    EXPECT_EQ(0, FindLogo(payload.data(), 0, &logo, &logoLength));
}

// Each case has the marker but no usable logo: the result is 1 with logoLength 0.
TEST(FindLogo, LengthsPastTheEndGiveNoLogo)
{
    struct { uint32_t l, a, b; size_t present; size_t cut; } cases[] = {
        {0, 0, 0, 0, 0},                   // L = 0
        {8, 0, 0, 7, 0},                   // logo one byte short
        {8, 3, 5, 8, 8 + 1},               // cut into the unread field before the logo
        {8, 0xFFFFFFFFu, 0, 0, 0},         // A near 2^32
        {8, 0xFFFFFFFCu, 0, 0, 0},         // A + 4 wraps to 0
        {8, 0, 0xFFFFFFFFu, 0, 0},         // B near 2^32
        {0xFFFFFFFFu, 0, 0, 16, 0},        // L near 2^32
        {8, 0, 0, 8, 8 + 4 + 4 + 4 + 1},   // cut inside the fixed fields
    };
    for (auto& c : cases) {
        Bytes payload = DataBlock(c.l, c.a > 1000 ? 0 : c.a, c.b > 1000 ? 0 : c.b, c.present);
        // Put the hostile A and B into their fields after building a short block.
        if (c.a > 1000) {
            payload[186] = payload[187] = payload[188] = payload[189] = 0;
            uint32_t a = c.a;
            memcpy(&payload[186], &a, 4);
        }
        if (c.b > 1000) {
            uint32_t b = c.b;
            memcpy(&payload[190], &b, 4);
        }
        payload.resize(payload.size() - std::min(c.cut, payload.size()));
        const unsigned char* logo = nullptr;
        uint32_t logoLength = 77;
        ASSERT_EQ(1, FindLogo(payload.data(), payload.size(), &logo, &logoLength))
            << "L " << c.l << " A " << c.a << " B " << c.b;
        EXPECT_EQ(0u, logoLength) << "L " << c.l << " A " << c.a << " B " << c.b;
    }
    // The marker with the fields from 178 on missing altogether.
    Bytes bare = SaverMarker();
    bare.resize(bare.size() + 140, 0);
    const unsigned char* logo = nullptr;
    uint32_t logoLength = 77;
    EXPECT_EQ(1, FindLogo(bare.data(), bare.size(), &logo, &logoLength));
    EXPECT_EQ(0u, logoLength);
}

}  // namespace
