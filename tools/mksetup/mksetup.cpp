// mksetup: builds a setup package (stub + SetupBoundary + name field + screen saver), checks an
// existing one, and gives a screen saver the data block that carries its logo. It refuses every
// package that the stub would reject or handle badly, judging each part the way the stub will
// read it on the target machine, so that a package that leaves this tool installs.
#include <cstdio>
#include <cstring>
#include <string>

#include "setup/package.h"
#include "tools/mksetup/embedded_stubs.h"
#include "tools/mksetup/logo_rules.h"
#include "tools/mksetup/package_writer.h"
#include "version.h"

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
    kExitSignedSaver = 12,
};

// The package names a file in the target's system directory; C:\WINDOWS\system32 is 19 bytes.
// The builder leaves room for a system directory of up to 64 bytes, so names longer than
// 259 - 64 - 1 = 194 bytes are refused.
const size_t kAssumedSystemDirectoryLength = 64;
const size_t kBmpFileHeaderLength = 14;

const char kUsage[] =
    "usage:\n"
    "  mksetup [--logo LOGO.bmp] [--name NAME] [--out PACKAGE.exe] [STUB] FILE.scr\n"
    "      One step from a screen saver to a package (what a file dropped on mksetup.exe gives):\n"
    "      writes FILE-setup.exe beside the saver unless --out says otherwise. A saver without a\n"
    "      data block is packaged with one added (empty, or with the logo of --logo); a signed\n"
    "      saver can't be changed, so give it its data block (--add-data) before signing it.\n"
    "      STUB is --stub SETUP.exe, or --arch x64 for the x64 stub built into mksetup; by\n"
    "      default the built-in x86 stub, which runs on 32-bit and 64-bit Windows.\n"
    "  mksetup [STUB] --saver FILE.scr [--name NAME] --out PACKAGE.exe\n"
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
    "  mksetup --help | --version\n"
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
    "      malformed or does not lie behind the payload (the setup would install it as the saver's)\n"
    "  12  the screen saver is signed and would need a data block: add it before signing\n";

struct Options {
    std::string stub, saver, name, out, logo, check;
    bool nameGiven = false;
    bool addData = false;
    bool help = false;
    bool version = false;
    std::string arch;      // --arch: which built-in stub, when --stub names none
    bool oneStep = false;  // the saver given alone, as a drop on the program gives it
};

// Every line mksetup writes, kept for the box that a run started by a drop ends with.
std::string g_outcome;

void Say(FILE* stream, const std::string& line)
{
    fprintf(stream, "mksetup: %s\n", line.c_str());
    g_outcome += line + "\n";
}

int Refuse(int code, const std::string& text)
{
    Say(stderr, text);
    return code;
}

void Warn(const std::string& text)
{
    Say(stderr, "warning: " + text);
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
        if (a == "--version") {
            o->version = true;
            continue;
        }
        if (a.rfind("--", 0) != 0 && o->saver.empty()) {
            o->saver = a;
            o->oneStep = true;
            continue;
        }
        std::string* target = a == "--stub" ? &o->stub : a == "--saver" ? &o->saver : a == "--name" ? &o->name
                            : a == "--out"  ? &o->out  : a == "--logo"  ? &o->logo  : a == "--check" ? &o->check
                            : a == "--arch" ? &o->arch                                               : nullptr;
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
    if (o->help || o->version)
        return 1;
    if (!o->stub.empty() && !o->arch.empty()) {
        *why = "--stub and --arch both choose the stub: give one";
        return 0;
    }
    if (!o->arch.empty() && o->arch != "x86" && o->arch != "x64") {
        *why = "--arch takes x86 or x64";
        return 0;
    }
    if (o->oneStep) {
        if (!o->check.empty() || o->addData) {
            *why = "a screen saver given alone takes --logo, --name, --out and --stub or --arch";
            return 0;
        }
        return 1;
    }
    if (!o->check.empty()) {
        if (o->addData || !o->stub.empty() || !o->saver.empty() || !o->out.empty() || !o->logo.empty() || o->nameGiven ||
            !o->arch.empty()) {
            *why = "--check takes no other option";
            return 0;
        }
        return 1;
    }
    if (o->addData) {
        if (o->saver.empty() || o->logo.empty() || o->out.empty() || !o->stub.empty() || o->nameGiven || !o->arch.empty()) {
            *why = "--add-data needs --saver, --logo and --out, and nothing else";
            return 0;
        }
        return 1;
    }
    if (argc == 1) {
        *why = "no screen saver given: drop a .scr file on mksetup, or name one";
        return 0;
    }
    if (o->saver.empty() || o->out.empty() || !o->logo.empty()) {
        *why = "a package needs --saver and --out (--logo belongs to --add-data)";
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

// The package's stub: the file of --stub, else the one built in for --arch (x86 by default).
// kExitOk, its bytes and how the messages name it; else the exit code and *why.
int LoadStub(const Options& o, ByteVector* stub, std::string* name, std::string* why)
{
    if (!o.stub.empty()) {
        *name = o.stub;
        return ReadInput(o.stub, "stub", stub, why) ? kExitOk : kExitFile;
    }
    const std::string arch = o.arch.empty() ? "x86" : o.arch;
    *name = "built in for " + arch;
    if (FindEmbeddedStub(arch, stub))
        return kExitOk;
    *why = "this mksetup carries no stub: name one with --stub SETUP.exe";
    return kExitUsage;
}

// Where the package goes: --out, else NAME-setup.exe beside the saver NAME.scr.
std::string PackagePath(const Options& o)
{
    if (!o.out.empty())
        return o.out;
    std::string name = BareName(o.saver);
    const std::string folder = o.saver.substr(0, o.saver.size() - name.size());
    size_t dot = name.rfind('.');  // never a trail byte: those of code page 932 start at 0x40
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return folder + name + "-setup.exe";
}

// The data block that a saver without one gets: no settings, two empty strings and the logo of
// the BMP file at logoPath (none when empty). kExitOk and the block; else the exit code and *why.
int MakeDataBlock(const std::string& logoPath, ByteVector* block, std::string* why)
{
    ByteVector dib;
    if (!logoPath.empty()) {
        ByteVector bmp;
        if (!ReadInput(logoPath, "logo", &bmp, why))
            return kExitFile;
        if (!CheckBmpFile(bmp.data(), bmp.size(), why)) {
            *why = "the logo " + logoPath + " is no usable BMP file: " + *why;
            return kExitNotABmp;
        }
        dib.assign(bmp.begin() + kBmpFileHeaderLength, bmp.end());
        if (!JudgeLogoDib(dib.data(), dib.size(), why)) {
            *why = "the logo " + logoPath + " is refused: " + *why;
            return kExitBadLogo;
        }
    }
    *block = BuildSaverDataBlock(ByteVector(), std::string(), std::string(), dib);
    return kExitOk;
}

// A signed saver names a certificate table in its PE header. Anything appended to it would
// break the signature, so it gets no data block here. 1 when signed, with *why saying so.
int IsSignedSaver(const ByteVector& saver, const std::string& path, std::string* why)
{
    uint32_t at = 0, size = 0;
    if (!FindCertificateTable(saver.data(), saver.size(), &at, &size))
        return 0;
    *why = "the screen saver " + path + " is signed: a data block appended now would break its signature; "
           "add the data block first (mksetup --add-data), then sign the saver";
    return 1;
}

// The saver as the one-step form packages it: as it is when it holds a data block, else with
// one appended (empty, or with the logo of --logo) and a line saying so. The saver's own file
// stays as it was. kExitOk; else the exit code of the refusal.
int GiveDataBlock(const Options& o, ByteVector* saver)
{
    std::string why;
    if (HoldsMarker(*saver, AssembleSaverBoundary))
        return o.logo.empty() ? kExitOk
                              : Refuse(kExitHasDataBlock, "the screen saver " + o.saver +
                                                              " already holds a data block; --logo gives one to a saver without");
    if (IsSignedSaver(*saver, o.saver, &why))
        return Refuse(kExitSignedSaver, why);
    ByteVector block;
    int code = MakeDataBlock(o.logo, &block, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    saver->insert(saver->end(), block.begin(), block.end());
    Say(stdout, "the screen saver " + o.saver + " holds no data block: the package carries it with one added (" +
                    (o.logo.empty() ? std::string("no logo") : "logo " + o.logo) + ")");
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
    std::string why, stubName;
    ByteVector stub, saver;
    int loaded = LoadStub(o, &stub, &stubName, &why);
    if (loaded != kExitOk)
        return Refuse(loaded, why);
    if (!ReadInput(o.saver, "screen saver", &saver, &why))
        return Refuse(kExitFile, why);
    if (o.oneStep && (loaded = GiveDataBlock(o, &saver)) != kExitOk)
        return loaded;
    if (HoldsMarker(stub, AssembleSetupBoundary))
        return Refuse(kExitStubHoldsMarker, "the stub " + stubName +
                                                " holds the setup marker itself; the setup would read its own image as the payload");
    uint32_t tableAt = 0, tableSize = 0;
    if (FindCertificateTable(stub.data(), stub.size(), &tableAt, &tableSize))
        return Refuse(kExitBadSignature, "the stub " + stubName +
                                             " carries a certificate table, which would not cover the package: sign the package instead");
    std::string name = o.nameGiven ? o.name : BareName(o.saver);
    if (!JudgeSaverName(name, kAssumedSystemDirectoryLength, &why))
        return Refuse(kExitBadName, "name \"" + name + "\" refused: " + why);
    DataBlockFacts facts;
    int code = JudgeDataBlock(saver.data(), saver.size(), &facts, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    WarnAboutPayload(saver.data(), saver.size());
    const std::string out = PackagePath(o);
    if (!WriteWholeBytes(out, BuildPackage(stub, name, saver, kCertificateAlignment)))
        return Refuse(kExitFile, "cannot write " + out);
    Say(stdout, "wrote " + out + ": name " + name + ", payload " + std::to_string(saver.size()) + " bytes, logo " +
                    std::to_string(facts.logoLength) + " bytes");
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
    ByteVector saver, block;
    if (!ReadInput(o.saver, "screen saver", &saver, &why))
        return Refuse(kExitFile, why);
    if (HoldsMarker(saver, AssembleSaverBoundary))
        return Refuse(kExitHasDataBlock, "the screen saver " + o.saver + " already holds a data block");
    if (IsSignedSaver(saver, o.saver, &why))
        return Refuse(kExitSignedSaver, why);
    int code = MakeDataBlock(o.logo, &block, &why);
    if (code != kExitOk)
        return Refuse(code, why);

    ByteVector out(saver);
    out.insert(out.end(), block.begin(), block.end());
    DataBlockFacts facts;
    code = JudgeDataBlock(out.data(), out.size(), &facts, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    if (!WriteWholeBytes(o.out, out))
        return Refuse(kExitFile, "cannot write " + o.out);
    printf("mksetup: wrote %s: screen saver %zu bytes, data block %zu bytes, logo %zu bytes\n", o.out.c_str(),
           saver.size(), block.size(), facts.logoLength);
    return kExitOk;
}

int Run(int argc, char** argv)
{
    Options o;
    std::string why;
    if (!ParseArguments(argc, argv, &o, &why))
        return Refuse(kExitUsage, why + " (mksetup --help for usage)");
    if (o.help) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    if (o.version) {
        printf("mksetup %s\n", SETUP_VERSION_TEXT);
        return kExitOk;
    }
    if (!o.check.empty())
        return CheckCommand(o);
    if (o.addData)
        return AddDataCommand(o);
    return BuildCommand(o);
}

#ifdef _WIN32
// Started by a drop on mksetup.exe or a double-click, the program is the only one on its
// console, whose window closes with it: the outcome is shown in a box as well, so that the
// author reads it. Started from a command prompt, the console is shared and the lines suffice.
// (Wine gives a program started from a Unix shell a console that lists no processes: no box.)
void ShowOutcomeOnOwnConsole(int code)
{
    DWORD processes[2];
    if (g_outcome.empty() || GetConsoleProcessList(processes, 2) != 1)
        return;
    MessageBoxA(nullptr, g_outcome.c_str(), code == kExitOk ? "mksetup" : "mksetup: refused",
                MB_OK | MB_SETFOREGROUND | (code == kExitOk ? MB_ICONINFORMATION : MB_ICONERROR));
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    int code = Run(argc, argv);
#ifdef _WIN32
    ShowOutcomeOnOwnConsole(code);
#endif
    return code;
}
