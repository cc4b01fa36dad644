// The setup file's layout, written.
#include "tools/mksetup/package_writer.h"

#include <cstdio>
#include <cstring>

#include "setup/package.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Opens a file by its UTF-8 path: on Windows through the UTF-16 name, so that any character
// of a file name reaches the system whatever its ANSI code page.
FILE* OpenFile(const std::string& path, const char* mode)
{
#ifdef _WIN32
    int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0'), wideMode(mode, mode + strlen(mode));
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], n);
    return _wfopen(wide.c_str(), wideMode.c_str());
#else
    return fopen(path.c_str(), mode);
#endif
}

void AppendBytes(ByteVector& out, const void* data, size_t n)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    out.insert(out.end(), p, p + n);
}

void AppendLittle32(ByteVector& out, uint32_t v)
{
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    AppendBytes(out, b, 4);
}

void PutLittle32(ByteVector& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

size_t PaddingTo(size_t length, size_t alignment)
{
    return (alignment - length % alignment) % alignment;
}

}  // namespace

ByteVector BuildPackage(const ByteVector& stub, const std::string& name, const ByteVector& saver,
                        size_t alignment)
{
    ByteVector out(stub);
    if (alignment > 1)
        out.resize(out.size() + PaddingTo(stub.size() + kPayloadOffset + saver.size(), alignment), 0);
    char marker[kBoundaryLength];
    AssembleSetupBoundary(marker);
    AppendBytes(out, marker, kBoundaryLength);
    unsigned char field[kSaverNameFieldLength] = {};
    memcpy(field, name.data(), name.size() < kSaverNameFieldLength ? name.size() : kSaverNameFieldLength - 1);
    AppendBytes(out, field, sizeof field);
    AppendBytes(out, saver.data(), saver.size());
    return out;
}

ByteVector BuildHeaderOnlyImage(bool plus)
{
    const size_t pe = 0x80, optional = pe + 24, optionalSize = 240;
    ByteVector image(optional + optionalSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    PutLittle32(image, 0x3C, pe);
    memcpy(&image[pe], "PE\0\0", 4);
    image[pe + 20] = optionalSize;
    image[optional] = 0x0B;
    image[optional + 1] = plus ? 0x02 : 0x01;
    PutLittle32(image, optional + (plus ? 108 : 92), 16);
    return image;
}

ByteVector AppendCertificateTable(const ByteVector& package, const ByteVector& certificate)
{
    const uint16_t kRevision2 = 0x0200, kPkcsSignedData = 0x0002;
    size_t entry = FindSecurityDirectoryEntry(package.data(), package.size());
    if (entry == 0)
        return ByteVector();
    ByteVector out(package);
    out.resize(out.size() + PaddingTo(out.size(), kCertificateAlignment), 0);
    size_t tableAt = out.size();
    size_t entryLength = 8 + certificate.size();
    entryLength += PaddingTo(entryLength, kCertificateAlignment);
    AppendLittle32(out, static_cast<uint32_t>(entryLength));
    AppendLittle32(out, kRevision2 | static_cast<uint32_t>(kPkcsSignedData) << 16);
    AppendBytes(out, certificate.data(), certificate.size());
    out.resize(tableAt + entryLength, 0);
    PutLittle32(out, entry, static_cast<uint32_t>(tableAt));
    PutLittle32(out, entry + 4, static_cast<uint32_t>(entryLength));
    return out;
}

ByteVector BuildSaverDataBlock(const ByteVector& settings132, const std::string& first, const std::string& second,
                               const ByteVector& logoDib)
{
    ByteVector out;
    char marker[kBoundaryLength];
    AssembleSaverBoundary(marker);
    AppendBytes(out, marker, kBoundaryLength);
    ByteVector settings(settings132);
    settings.resize(132, 0);
    AppendBytes(out, settings.data(), settings.size());
    AppendLittle32(out, static_cast<uint32_t>(logoDib.size()));
    AppendLittle32(out, 0);
    AppendLittle32(out, static_cast<uint32_t>(first.size()));
    AppendBytes(out, first.data(), first.size());
    AppendLittle32(out, static_cast<uint32_t>(second.size()));
    AppendBytes(out, second.data(), second.size());
    AppendLittle32(out, 0);
    AppendBytes(out, logoDib.data(), logoDib.size());
    return out;
}

int IsCp932Lead(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

int IsNeverLead(unsigned char)
{
    return 0;
}

namespace {

int IsCp932Trail(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// 0 at the first byte that is no character of code page 932, else 1.
int IsWholeCp932Text(const std::string& text, std::string* why)
{
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsCp932Lead(c)) {
            if (i + 1 >= text.size() || !IsCp932Trail(static_cast<unsigned char>(text[i + 1]))) {
                *why = "the name holds a lead byte without a valid second byte";
                return 0;
            }
            ++i;
        } else if (c == 0x80 || c == 0xA0 || c >= 0xFD) {
            *why = "the name holds a byte that is no character of code page 932";
            return 0;
        }
    }
    return 1;
}

}  // namespace

int JudgeSaverName(const std::string& name, size_t directoryLength, std::string* why)
{
    if (name.find('\0') != std::string::npos) {
        *why = "the name holds a NUL byte";
        return 0;
    }
    if (name.size() >= kSaverNameFieldLength) {
        *why = DescribeSaverNameVerdict(kNameTooLong);
        return 0;
    }
    unsigned char field[kSaverNameFieldLength] = {};
    memcpy(field, name.data(), name.size());
    static const LeadByteTest kTests[] = {IsCp932Lead, IsNeverLead};
    for (LeadByteTest test : kTests) {
        SaverNameVerdict verdict = CheckSaverName(field, directoryLength, test);
        if (verdict != kNameAccepted) {
            *why = DescribeSaverNameVerdict(verdict);
            return 0;
        }
    }
    return IsWholeCp932Text(name, why);
}

int ReadWholeFile(const std::string& path, ByteVector* bytes)
{
    FILE* f = OpenFile(path, "rb");
    if (!f)
        return 0;
    bytes->clear();
    unsigned char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + n);
    int ok = !ferror(f);
    fclose(f);
    return ok;
}

int WriteWholeBytes(const std::string& path, const ByteVector& bytes)
{
    FILE* f = OpenFile(path, "wb");
    if (!f)
        return 0;
    size_t written = bytes.empty() ? 0 : fwrite(bytes.data(), 1, bytes.size(), f);
    int closed = fclose(f) == 0;
    return written == bytes.size() && closed;
}
