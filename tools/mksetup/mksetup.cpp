// mksetup: builds a setup package (stub + SetupBoundary + name field + screen saver), checks an
// existing one, and gives a screen saver the data block that carries its logo. It refuses every
// package that the stub would reject or handle badly, judging each part the way the stub will
// read it on the target machine, so that a package that leaves this tool installs.
#include <cstdio>
#include <cstring>
#include <string>

#include "setup/package.h"
#include "tools/mksetup/logo_rules.h"
#include "tools/mksetup/package_writer.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Exit codes; --help lists them.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitFile = 2,
    kExitStubHoldsMarker = 3,
    kExitBadName = 4,
    kExitNoDataBlock = 5,
    kExitBrokenDataBlock = 6,
    kExitBadLogo = 7,
    kExitNotAPackage = 8,
    kExitHasDataBlock = 9,
    kExitNotABmp = 10,
    kExitBadSignature = 11,
};

// The package names a file in the target's system directory; C:\WINDOWS\system32 is 19 bytes.
// The builder leaves room for a system directory of up to 64 bytes, so names longer than
// 259 - 64 - 1 = 194 bytes are refused.
const size_t kAssumedSystemDirectoryLength = 64;
const size_t kBmpFileHeaderLength = 14;

const char kUsage[] =
    "usage:\n"
    "  mksetup --stub SETUP.exe --saver FILE.scr [--name NAME] --out PACKAGE.exe\n"
    "      Writes the package: the stub, the setup marker, the 260-byte name field and the\n"
    "      screen saver. NAME (default: the saver's file name) is the file written into the\n"
    "      system directory; it must be a valid bare file name both in code page 932 and in\n"
    "      any single-byte code page, at most 194 bytes. The stub's image is followed by up to\n"
    "      7 zero bytes, so that a signing tool appends its certificate table right behind the\n"
    "      saver. Sign the package, not the stub.\n"
    "  mksetup --check PACKAGE.exe\n"
    "      Validates a package and reports its name, payload size, logo size and whether it is\n"
    "      signed (a certificate table behind the payload, which the setup does not install).\n"
    "  mksetup --add-data --saver IN.scr --logo LOGO.bmp --out OUT.scr\n"
    "      Appends a data block to a screen saver that has none: the saver marker, 132 zero\n"
    "      settings bytes, the logo length, two empty counted strings and the logo, which is\n"
    "      the BMP file without its 14-byte file header. Black (0,0,0) logo pixels are drawn\n"
    "      transparent by the setup.\n"
    "  mksetup --help\n"
    "exit codes:\n"
    "   0  done (warnings, if any, on stderr)\n"
    "   1  wrong command line\n"
    "   2  a file cannot be read or written\n"
    "   3  the stub holds the setup marker itself (the setup would take its own image for the payload)\n"
    "   4  the saver name is refused\n"
    "   5  the screen saver holds no data block (the setup would install it and end silently)\n"
    "   6  the data block's lengths run past the end of the screen saver\n"
    "   7  the logo is no bitmap the setup can show\n"
    "   8  --check: the file holds no setup marker with a whole name field behind it\n"
    "   9  --add-data: the screen saver already holds a data block\n"
    "  10  --add-data: the logo file is no usable BMP file\n"
    "  11  the stub carries a certificate table, or --check: the package's certificate table is\n"
    "      malformed or does not lie behind the payload (the setup would install it as the saver's)\n";

struct Options {
    std::string stub, saver, name, out, logo, check;
    bool nameGiven = false;
    bool addData = false;
    bool help = false;
};

int Refuse(int code, const std::string& text)
{
    fprintf(stderr, "mksetup: %s\n", text.c_str());
    return code;
}

void Warn(const std::string& text)
{
    fprintf(stderr, "mksetup: warning: %s\n", text.c_str());
}

// 1 and the options when the command line is one of the forms in kUsage, else 0 and *why.
int ParseArguments(int argc, char** argv, Options* o, std::string* why)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            o->help = true;
            continue;
        }
        if (a == "--add-data") {
            o->addData = true;
            continue;
        }
        std::string* target = a == "--stub" ? &o->stub : a == "--saver" ? &o->saver : a == "--name" ? &o->name
                            : a == "--out"  ? &o->out  : a == "--logo"  ? &o->logo  : a == "--check" ? &o->check
                                                                                                     : nullptr;
        if (!target) {
            *why = "unknown option " + a;
            return 0;
        }
        if (i + 1 >= argc) {
            *why = a + " needs a value";
            return 0;
        }
        if (a == "--name")
            o->nameGiven = true;
        *target = argv[++i];
    }
    if (o->help)
        return 1;
    if (!o->check.empty()) {
        if (o->addData || !o->stub.empty() || !o->saver.empty() || !o->out.empty() || !o->logo.empty() || o->nameGiven) {
            *why = "--check takes no other option";
            return 0;
        }
        return 1;
    }
    if (o->addData) {
        if (o->saver.empty() || o->logo.empty() || o->out.empty() || !o->stub.empty() || o->nameGiven) {
            *why = "--add-data needs --saver, --logo and --out, and nothing else";
            return 0;
        }
        return 1;
    }
    if (o->stub.empty() || o->saver.empty() || o->out.empty() || !o->logo.empty()) {
        *why = "a package needs --stub, --saver and --out (--logo belongs to --add-data)";
        return 0;
    }
    return 1;
}

// The file-name part of a path: behind the last separator of the platform. On Windows the
// path is in the ANSI code page, so the scan steps over double-byte characters.
std::string BareName(const std::string& path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
#ifdef _WIN32
        if (IsDBCSLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == ':')
            start = i + 1;
#endif
        if (c == '/')
            start = i + 1;
    }
    return path.substr(start);
}

int HoldsMarker(const ByteVector& bytes, void (*assemble)(char*))
{
    char marker[kBoundaryLength];
    assemble(marker);
    return FindBoundary(bytes.data(), bytes.size(), marker) != bytes.size();
}

int ReadInput(const std::string& path, const char* what, ByteVector* bytes, std::string* why)
{
    if (ReadWholeFile(path, bytes))
        return 1;
    *why = std::string("cannot read the ") + what + " " + path;
    return 0;
}

struct DataBlockFacts {
    size_t logoLength = 0;
};

// Judges the screen saver's data block as the setup will find it: the first SaverBoundary in
// the saver, every field and string whole, and a logo (if any) that the setup can show.
// kExitOk and the facts, or the exit code and *why.
int JudgeDataBlock(const unsigned char* saver, size_t length, DataBlockFacts* facts, std::string* why)
{
    char marker[kBoundaryLength];
    AssembleSaverBoundary(marker);
    size_t j = FindBoundary(saver, length, marker);
    if (j == length) {
        *why = "the screen saver holds no data block (no saver marker): the setup would install it and end without a word";
        return kExitNoDataBlock;
    }
    // Walk the block by subtraction, as the setup does, but insist that every part stands.
    size_t rest = length - j;
    if (rest < kDataFirstStringOffset + 4) {
        *why = "the screen saver's data block ends before its length fields";
        return kExitBrokenDataBlock;
    }
    const unsigned char* block = saver + j;
    auto read32 = [](const unsigned char* p) {
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
    };
    uint32_t logo = read32(block + kDataLogoLengthOffset);
    uint32_t first = read32(block + kDataFirstStringOffset);
    rest -= kDataFirstStringOffset + 4;
    if (rest < first || rest - first < 4) {
        *why = "the data block's first string (" + std::to_string(first) + " bytes) runs past the end of the screen saver";
        return kExitBrokenDataBlock;
    }
    rest -= static_cast<size_t>(first) + 4;
    uint32_t second = read32(block + kDataFirstStringOffset + 4 + first);
    if (rest < second || rest - second < 4) {
        *why = "the data block's second string (" + std::to_string(second) + " bytes) runs past the end of the screen saver";
        return kExitBrokenDataBlock;
    }
    rest -= static_cast<size_t>(second) + 4;
    if (rest < logo) {
        *why = "the logo length " + std::to_string(logo) + " runs past the end of the screen saver (" +
               std::to_string(rest) + " bytes follow the fields)";
        return kExitBrokenDataBlock;
    }

    // The setup's own reading must agree with the walk above.
    const unsigned char* found = nullptr;
    uint32_t foundLength = 0;
    if (!FindLogo(saver, length, &found, &foundLength) || foundLength != logo) {
        *why = "the setup would read the data block differently from this tool";
        return kExitBrokenDataBlock;
    }
    if (logo != 0 && !JudgeLogoDib(found, foundLength, why))
        return kExitBadLogo;
    facts->logoLength = logo;
    return kExitOk;
}

// Judges the certificate table at offset (size bytes) of a package of `length` bytes as a
// signing tool lays it out: on an 8-byte boundary, ending the file, and made of WIN_CERTIFICATE
// entries (a length that covers the 8-byte entry header, revision 1.0 or 2.0, one of the four
// published types), each padded to a multiple of 8. 1 when it is; else 0 and *why.
int JudgeCertificateTable(const unsigned char* package, size_t length, size_t offset, size_t size, std::string* why)
{
    const std::string where = "the certificate table at offset " + std::to_string(offset) + " (" +
                              std::to_string(size) + " bytes)";
    if (offset % kCertificateAlignment != 0) {
        *why = where + " does not start on a multiple of 8";
        return 0;
    }
    if (offset > length || length - offset != size) {
        *why = where + " does not end the file";
        return 0;
    }
    for (size_t at = offset; at < length;) {
        const unsigned char* entry = package + at;
        size_t rest = length - at;
        const std::string which = where + ": entry at offset " + std::to_string(at);
        if (rest < 8) {
            *why = which + " is cut short";
            return 0;
        }
        uint32_t entryLength = entry[0] | entry[1] << 8 | entry[2] << 16 | static_cast<uint32_t>(entry[3]) << 24;
        unsigned revision = entry[4] | entry[5] << 8, type = entry[6] | entry[7] << 8;
        size_t padded = (static_cast<size_t>(entryLength) + 7) / 8 * 8;
        if (entryLength < 8 || padded > rest) {
            *why = which + " has the length " + std::to_string(entryLength) + ", which does not fit";
            return 0;
        }
        if (revision != 0x0100 && revision != 0x0200) {
            *why = which + " has the unknown revision " + std::to_string(revision);
            return 0;
        }
        if (type < 1 || type > 4) {
            *why = which + " has the unknown type " + std::to_string(type);
            return 0;
        }
        at += padded;
    }
    return 1;
}

// The "signed:" line of --check: kExitOk and the line, or kExitBadSignature and *why.
int JudgeSignature(const ByteVector& package, size_t boundary, size_t payloadEnd, std::string* line, std::string* why)
{
    uint32_t offset = 0, size = 0;
    if (!FindCertificateTable(package.data(), boundary, &offset, &size)) {
        *line = "signed: no";
        return kExitOk;
    }
    if (payloadEnd == package.size()) {
        *why = "the PE header names a certificate table at offset " + std::to_string(offset) + " (" +
               std::to_string(size) + " bytes) that does not lie behind the payload: the setup would install it "
               "as part of the screen saver";
        return kExitBadSignature;
    }
    if (!JudgeCertificateTable(package.data(), package.size(), offset, size, why))
        return kExitBadSignature;
    *line = "signed: yes, certificate table of " + std::to_string(size) + " bytes at offset " + std::to_string(offset);
    return kExitOk;
}

void WarnAboutPayload(const unsigned char* saver, size_t length)
{
    char marker[kBoundaryLength];
    AssembleSetupBoundary(marker);
    if (FindBoundary(saver, length, marker) != length)
        Warn("the screen saver holds the setup marker; the setup takes the first one, in front of the name field, "
             "so this is harmless, but a package made of this package would not be");
}

int BuildCommand(const Options& o)
{
    std::string why;
    ByteVector stub, saver;
    if (!ReadInput(o.stub, "stub", &stub, &why) || !ReadInput(o.saver, "screen saver", &saver, &why))
        return Refuse(kExitFile, why);
    if (HoldsMarker(stub, AssembleSetupBoundary))
        return Refuse(kExitStubHoldsMarker, "the stub " + o.stub +
                                                " holds the setup marker itself; the setup would read its own image as the payload");
    uint32_t tableAt = 0, tableSize = 0;
    if (FindCertificateTable(stub.data(), stub.size(), &tableAt, &tableSize))
        return Refuse(kExitBadSignature, "the stub " + o.stub +
                                             " carries a certificate table, which would not cover the package: sign the package instead");
    std::string name = o.nameGiven ? o.name : BareName(o.saver);
    if (!JudgeSaverName(name, kAssumedSystemDirectoryLength, &why))
        return Refuse(kExitBadName, "name \"" + name + "\" refused: " + why);
    DataBlockFacts facts;
    int code = JudgeDataBlock(saver.data(), saver.size(), &facts, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    WarnAboutPayload(saver.data(), saver.size());
    if (!WriteWholeBytes(o.out, BuildPackage(stub, name, saver, kCertificateAlignment)))
        return Refuse(kExitFile, "cannot write " + o.out);
    printf("mksetup: wrote %s: name %s, payload %zu bytes, logo %zu bytes\n", o.out.c_str(), name.c_str(),
           saver.size(), facts.logoLength);
    return kExitOk;
}

int CheckCommand(const Options& o)
{
    std::string why;
    ByteVector package;
    if (!ReadInput(o.check, "package", &package, &why))
        return Refuse(kExitFile, why);
    size_t boundary = 0, payload = 0, payloadEnd = 0;
    if (!LocatePayload(package.data(), package.size(), &boundary, &payload, &payloadEnd))
        return Refuse(kExitNotAPackage, o.check + " is no package: it holds no setup marker with a whole name field behind it");
    const char* field = reinterpret_cast<const char*>(package.data() + boundary + kBoundaryLength);
    std::string name(field, strnlen(field, kSaverNameFieldLength));
    if (name.size() == kSaverNameFieldLength)
        return Refuse(kExitBadName, "name field refused: " + std::string(DescribeSaverNameVerdict(kNameUnterminated)));
    if (!JudgeSaverName(name, kAssumedSystemDirectoryLength, &why))
        return Refuse(kExitBadName, "name \"" + name + "\" refused: " + why);
    const unsigned char* saver = package.data() + payload;
    size_t saverLength = payloadEnd - payload;
    DataBlockFacts facts;
    int code = JudgeDataBlock(saver, saverLength, &facts, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    std::string signedLine;
    code = JudgeSignature(package, boundary, payloadEnd, &signedLine, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    WarnAboutPayload(saver, saverLength);
    printf("name: %s\nimage: %zu bytes\npayload: %zu bytes\nlogo: %zu bytes\n%s\n", name.c_str(), boundary,
           saverLength, facts.logoLength, signedLine.c_str());
    return kExitOk;
}

int AddDataCommand(const Options& o)
{
    std::string why;
    ByteVector saver, bmp;
    if (!ReadInput(o.saver, "screen saver", &saver, &why) || !ReadInput(o.logo, "logo", &bmp, &why))
        return Refuse(kExitFile, why);
    if (HoldsMarker(saver, AssembleSaverBoundary))
        return Refuse(kExitHasDataBlock, "the screen saver " + o.saver + " already holds a data block");
    if (!CheckBmpFile(bmp.data(), bmp.size(), &why))
        return Refuse(kExitNotABmp, "the logo " + o.logo + " is no usable BMP file: " + why);
    ByteVector dib(bmp.begin() + kBmpFileHeaderLength, bmp.end());
    if (!JudgeLogoDib(dib.data(), dib.size(), &why))
        return Refuse(kExitBadLogo, "the logo " + o.logo + " is refused: " + why);

    ByteVector out(saver);
    ByteVector block = BuildSaverDataBlock(ByteVector(), std::string(), std::string(), dib);
    out.insert(out.end(), block.begin(), block.end());
    DataBlockFacts facts;
    int code = JudgeDataBlock(out.data(), out.size(), &facts, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    if (!WriteWholeBytes(o.out, out))
        return Refuse(kExitFile, "cannot write " + o.out);
    printf("mksetup: wrote %s: screen saver %zu bytes, data block %zu bytes, logo %zu bytes\n", o.out.c_str(),
           saver.size(), block.size(), facts.logoLength);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    std::string why;
    if (!ParseArguments(argc, argv, &o, &why)) {
        fprintf(stderr, "mksetup: %s (mksetup --help for usage)\n", why.c_str());
        return kExitUsage;
    }
    if (o.help) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!o.check.empty())
        return CheckCommand(o);
    if (o.addData)
        return AddDataCommand(o);
    return BuildCommand(o);
}
