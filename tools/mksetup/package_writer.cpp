// The setup file's layout, written.
#include "tools/mksetup/package_writer.h"

#include <cstdio>
#include <cstring>

#include "setup/package.h"

namespace {

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

}  // namespace

ByteVector BuildPackage(const ByteVector& stub, const std::string& name, const ByteVector& saver)
{
    ByteVector out(stub);
    char marker[kBoundaryLength];
    AssembleSetupBoundary(marker);
    AppendBytes(out, marker, kBoundaryLength);
    unsigned char field[kSaverNameFieldLength] = {};
    memcpy(field, name.data(), name.size() < kSaverNameFieldLength ? name.size() : kSaverNameFieldLength - 1);
    AppendBytes(out, field, sizeof field);
    AppendBytes(out, saver.data(), saver.size());
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
    FILE* f = fopen(path.c_str(), "rb");
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
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    size_t written = bytes.empty() ? 0 : fwrite(bytes.data(), 1, bytes.size(), f);
    int closed = fclose(f) == 0;
    return written == bytes.size() && closed;
}
