// mksetup: builds a setup package (stub + SetupBoundary + name field + screen saver), checks an
// existing one, and gives a screen saver the data block that carries its logo. It refuses every
// package that the stub would reject or handle badly, judging each part the way the stub will
// read it on the target machine, so that a package that leaves this tool installs.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "setup/package.h"
#include "tools/mksetup/code_page.h"
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
    kExitWrongArch = 13,
};

// The package names a file in the target's system directory; C:\WINDOWS\system32 is 19 bytes.
// The builder leaves room for a system directory of up to 64 bytes, so names longer than
// 259 - 64 - 1 = 194 bytes are refused.
const size_t kAssumedSystemDirectoryLength = 64;

const char kUsage[] =
    "usage:\n"
    "  mksetup [--logo LOGO.bmp] [--name NAME] [--out PACKAGE.exe] [STUB] FILE.scr\n"
    "  mksetup [--logo LOGO.bmp] [--name NAME] [--out PACKAGE.exe] [STUB] --saver FILE.scr\n"
    "      From a screen saver to a package (a file dropped on mksetup.exe is the first form):\n"
    "      writes FILE-setup.exe beside the saver unless --out says otherwise, and never over\n"
    "      the saver, the logo or the stub. The saver's file is never changed: a saver without\n"
    "      a data block is packaged with one added (empty, or with the logo of --logo), and\n"
    "      --logo on a saver with a data block replaces its logo in the package. A signed\n"
    "      saver can't be changed: give it its data block (--add-data) before signing it.\n"
    "      STUB is --arch x64 or --arch x86 for a stub built into mksetup, or --stub SETUP.exe.\n"
    "      By default the stub follows the saver: x64 for a 64-bit saver, else x86 (which runs\n"
    "      on 32-bit and 64-bit Windows). A 64-bit saver in the x86 stub is refused.\n"
    "      NAME (default: the saver's file name) is the file written into the system directory.\n"
    "      The package holds it in code page 932, the code page the setup reads it in: a name\n"
    "      with a character code page 932 has not is refused. It must be a valid bare file\n"
    "      name in code page 932 and in any single-byte code page, at most 194 bytes.\n"
    "      The stub's image is followed by up to 7 zero bytes, so that a signing tool appends\n"
    "      its certificate table right behind the saver. Sign the package, not the stub.\n"
    "  mksetup --check PACKAGE.exe\n"
    "      Validates a package and reports its name (as the setup reads it), its stub's\n"
    "      architecture, payload size, logo size and whether it is signed (a certificate table\n"
    "      behind the payload, which the setup does not install).\n"
    "  mksetup --add-data --saver IN.scr [--logo LOGO.bmp] --out OUT.scr\n"
    "      Writes OUT.scr: IN.scr with a data block appended (the saver marker, 132 zero\n"
    "      settings bytes, the logo length, two empty counted strings and the logo, if any).\n"
    "  Logos: BMP files of 1, 4, 8, 16, 24 or 32 bits (any header, top-down or bottom-up) of\n"
    "  at most 4096 x 4096 pixels, written into the package as the setup reads them (deeper\n"
    "  than 8 bits as 24 bits, alpha dropped). Black (0,0,0) pixels are drawn transparent.\n"
    "  mksetup --help | --version\n"
    "exit codes:\n"
    "   0  done (warnings, if any, on stderr)\n"
    "   1  wrong command line\n"
    "   2  a file can't be read or written, or the output would replace an input\n"
    "   3  the stub holds the setup marker itself (the setup would take its own image for the payload)\n"
    "   4  the saver name is refused\n"
    "   5  the package's screen saver holds no data block (the setup would install it and end silently)\n"
    "   6  the data block's lengths run past the end of the screen saver\n"
    "   7  the logo is no bitmap the setup can show\n"
    "   8  the file is no package: no setup marker with a whole name field behind it\n"
    "   9  the screen saver already holds a data block, which --add-data would duplicate\n"
    "  10  the logo file is no BMP file\n"
    "  11  a certificate table where the setup would install it: in the stub, or a package's table\n"
    "      malformed or not behind the payload\n"
    "  12  the screen saver is signed and would need a new data block: add it before signing\n"
    "  13  the stub can't run the screen saver (a 64-bit saver and the x86 stub)\n";

struct Options {
    std::string stub, saver, name, out, logo, check;  // UTF-8 texts
    bool nameGiven = false;
    bool addData = false;
    bool help = false;
    bool version = false;
    std::string arch;  // --arch: which built-in stub, when --stub names none
};

// Every line mksetup writes, kept for the box that a run started by a drop ends with.
std::string g_outcome;

// Writes UTF-8 text: on Windows, to a console as its characters, elsewhere (a file, a pipe)
// as the UTF-8 bytes; on other systems as it is.
void Print(FILE* stream, const std::string& text)
{
#ifdef _WIN32
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        fflush(stream);
        std::wstring wide = WideFromUtf8(text);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
#endif
    fputs(text.c_str(), stream);
}

void Say(FILE* stream, const std::string& line)
{
    Print(stream, "mksetup: " + line + "\n");
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
int ParseArguments(const std::vector<std::string>& args, Options* o, std::string* why)
{
    bool alone = false;  // the saver given without --saver, as a drop on the program gives it
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
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
            alone = true;
            continue;
        }
        std::string* target = a == "--stub" ? &o->stub : a == "--saver" ? &o->saver : a == "--name" ? &o->name
                            : a == "--out"  ? &o->out  : a == "--logo"  ? &o->logo  : a == "--check" ? &o->check
                            : a == "--arch" ? &o->arch                                               : nullptr;
        if (!target) {
            *why = "unknown option " + a;
            return 0;
        }
        if (i + 1 >= args.size()) {
            *why = a + " needs a value";
            return 0;
        }
        if (a == "--name")
            o->nameGiven = true;
        *target = args[++i];
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
    if (!o->check.empty()) {
        if (o->addData || !o->stub.empty() || !o->saver.empty() || !o->out.empty() || !o->logo.empty() || o->nameGiven ||
            !o->arch.empty()) {
            *why = "--check takes no other option";
            return 0;
        }
        return 1;
    }
    if (o->addData) {
        if (alone || o->saver.empty() || o->out.empty() || !o->stub.empty() || o->nameGiven || !o->arch.empty()) {
            *why = "--add-data needs --saver and --out, takes --logo, and nothing else";
            return 0;
        }
        return 1;
    }
    if (o->saver.empty()) {
        *why = "no screen saver given: drop a .scr file on mksetup, or name one";
        return 0;
    }
    return 1;
}

// The file-name part of a path: behind the last separator of the platform. The path is UTF-8,
// whose bytes of a character are never a separator.
std::string BareName(const std::string& path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
#ifdef _WIN32
        if (path[i] == '\\' || path[i] == ':')
            start = i + 1;
#endif
        if (path[i] == '/')
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

int IsFolder(const std::string& path)
{
#ifdef _WIN32
    DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

// Why a read or write of path failed, from the system's error number (taken right after it).
std::string FileFault(const std::string& path, int error, bool writing)
{
    if (IsFolder(path))
        return "it is a folder";
    switch (error) {
    case ENOENT:
        return writing ? "its folder does not exist" : "it does not exist";
    case EACCES:
    case EPERM:
        return "access is denied";
    case ENOSPC:
        return "the disk is full";
    default:
        return strerror(error);
    }
}

int ReadInput(const std::string& path, const char* what, ByteVector* bytes, std::string* why)
{
    errno = 0;
    if (ReadWholeFile(path, bytes))
        return 1;
    *why = std::string("cannot read the ") + what + " " + path + ": " + FileFault(path, errno, false);
    return 0;
}

// Whether the two paths name one file (also through another spelling, a link or a junction):
// the same volume and file number. 0 when either can't be opened.
int IsSameFile(const std::string& a, const std::string& b)
{
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileW(WideFromUtf8(*paths[i]).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 0;
        BOOL read = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!read)
            return 0;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
#else
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
}

int Exists(const std::string& path)
{
#ifdef _WIN32
    return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0;
#endif
}

// Refuses an output that is one of the inputs (empty paths skipped); else writes it, saying in
// *replaced whether a file stood there. kExitOk, or kExitFile and *why.
int WriteOutput(const std::string& out, const ByteVector& bytes, const std::vector<std::string>& inputs, bool* replaced,
                std::string* why)
{
    for (const std::string& input : inputs)
        if (!input.empty() && IsSameFile(out, input)) {
            *why = "the output " + out + " is the input " + input + ", which mksetup never overwrites: name another --out";
            return kExitFile;
        }
    *replaced = Exists(out) && !IsFolder(out);
    errno = 0;
    if (WriteWholeBytes(out, bytes))
        return kExitOk;
    *why = "cannot write " + out + ": " + FileFault(out, errno, true);
    return kExitFile;
}

// The machine a program image is built for: "x64", "x86", or "" when no PE header names one of
// the two.
std::string ImageArch(const unsigned char* image, size_t length)
{
    if (length < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return "";
    uint32_t pe = image[0x3C] | image[0x3D] << 8 | image[0x3E] << 16 | static_cast<uint32_t>(image[0x3F]) << 24;
    if (pe > length || length - pe < 6 || memcmp(image + pe, "PE\0\0", 4) != 0)
        return "";
    unsigned machine = image[pe + 4] | image[pe + 5] << 8;
    return machine == 0x8664 ? "x64" : machine == 0x14C ? "x86" : "";
}

uint32_t ReadLittle32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
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
    uint32_t logo = ReadLittle32(block + kDataLogoLengthOffset);
    uint32_t first = ReadLittle32(block + kDataFirstStringOffset);
    rest -= kDataFirstStringOffset + 4;
    if (rest < first || rest - first < 4) {
        *why = "the data block's first string (" + std::to_string(first) + " bytes) runs past the end of the screen saver";
        return kExitBrokenDataBlock;
    }
    rest -= static_cast<size_t>(first) + 4;
    uint32_t second = ReadLittle32(block + kDataFirstStringOffset + 4 + first);
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

// The package's stub: the file of --stub, else the one built in for --arch, else the one that
// follows the saver's machine (x64 for a 64-bit saver, else x86). A 64-bit saver in an x86 stub
// is refused: that package would install it on 32-bit Windows, where it can't run (an x86 saver
// in the x64 stub runs). kExitOk, its bytes and its architecture; else the exit code and *why.
int LoadStub(const Options& o, const std::string& saverArch, ByteVector* stub, std::string* arch, std::string* why)
{
    if (!o.stub.empty()) {
        if (!ReadInput(o.stub, "stub", stub, why))
            return kExitFile;
        *arch = ImageArch(stub->data(), stub->size());
    } else {
        *arch = !o.arch.empty() ? o.arch : saverArch == "x64" ? "x64" : "x86";
        if (!FindEmbeddedStub(*arch, stub)) {
            *why = "this mksetup carries no stub: name one with --stub SETUP.exe";
            return kExitUsage;
        }
    }
    if (saverArch == "x64" && *arch == "x86") {
        *why = "the screen saver " + o.saver + " is a 64-bit program, and the x86 stub would install it on 32-bit "
               "Windows too, where it can't run: leave out --arch, or give --arch x64";
        return kExitWrongArch;
    }
    return kExitOk;
}

// Where the package goes: --out, else NAME-setup.exe beside the saver NAME.scr.
std::string PackagePath(const Options& o)
{
    if (!o.out.empty())
        return o.out;
    std::string name = BareName(o.saver);
    const std::string folder = o.saver.substr(0, o.saver.size() - name.size());
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return folder + name + "-setup.exe";
}

// The logo of the BMP file at logoPath in the form the setup reads (none when the path is
// empty). kExitOk and the DIB; else the exit code and *why.
int ReadLogo(const std::string& logoPath, ByteVector* dib, std::string* why)
{
    dib->clear();
    if (logoPath.empty())
        return kExitOk;
    ByteVector bmp;
    if (!ReadInput(logoPath, "logo", &bmp, why))
        return kExitFile;
    int verdict = MakeLogoDib(bmp.data(), bmp.size(), dib, why);
    if (verdict == kLogoMade)
        return kExitOk;
    *why = "the logo " + logoPath + (verdict == kLogoNoBmp ? " is no BMP file mksetup reads: " : " can't be shown: ") +
           *why + "; save it as a 24-bit BMP of at most 4096 x 4096 pixels";
    return verdict == kLogoNoBmp ? kExitNotABmp : kExitBadLogo;
}

// A signed saver names a certificate table in its PE header. Anything appended to it would
// break the signature, so it gets no data block here. 1 when signed, with *why saying so.
int IsSignedSaver(const ByteVector& saver, const std::string& path, std::string* why)
{
    uint32_t at = 0, size = 0;
    if (!FindCertificateTable(saver.data(), saver.size(), &at, &size))
        return 0;
    *why = "the screen saver " + path + " is signed: a data block appended or changed now would break its "
           "signature; add the data block first (mksetup --add-data, with --logo for a logo), then sign the saver";
    return 1;
}

// The saver as the package carries it: as it is when it holds a data block (with the logo of
// --logo in place of its own), else with one appended (empty, or with the logo of --logo);
// *note says what was changed, for the line of a package written. The saver's own file stays
// as it was. kExitOk; else the exit code and *why.
int GiveDataBlock(const Options& o, ByteVector* saver, std::string* note, std::string* why)
{
    const bool holds = HoldsMarker(*saver, AssembleSaverBoundary);
    if (holds && o.logo.empty())
        return kExitOk;
    if (IsSignedSaver(*saver, o.saver, why))
        return kExitSignedSaver;
    ByteVector dib;
    int code = ReadLogo(o.logo, &dib, why);
    if (code != kExitOk)
        return code;
    if (holds) {
        // The logo stands behind the two strings, in a block judged whole first.
        DataBlockFacts facts;
        if ((code = JudgeDataBlock(saver->data(), saver->size(), &facts, why)) != kExitOk)
            return code;
        char marker[kBoundaryLength];
        AssembleSaverBoundary(marker);
        const size_t j = FindBoundary(saver->data(), saver->size(), marker), lengthAt = j + kDataLogoLengthOffset;
        const size_t secondAt = j + kDataFirstStringOffset + 4 + ReadLittle32(saver->data() + j + kDataFirstStringOffset);
        const size_t at = secondAt + 4 + ReadLittle32(saver->data() + secondAt) + 4;
        const size_t oldLength = facts.logoLength;
        ByteVector replaced(saver->begin(), saver->begin() + at);
        replaced.insert(replaced.end(), dib.begin(), dib.end());
        replaced.insert(replaced.end(), saver->begin() + at + oldLength, saver->end());
        for (int i = 0; i < 4; ++i)
            replaced[lengthAt + i] = static_cast<unsigned char>(dib.size() >> (8 * i));
        saver->swap(replaced);
        const std::string own = oldLength ? " in place of its own (" + std::to_string(oldLength) + " bytes); " : " (it had none); ";
        *note = "the package's screen saver carries the logo " + o.logo + own + o.saver + " itself is unchanged";
        return kExitOk;
    }
    ByteVector block = BuildSaverDataBlock(ByteVector(), std::string(), std::string(), dib);
    saver->insert(saver->end(), block.begin(), block.end());
    *note = "the screen saver " + o.saver + " holds no data block: the package carries it with one added (" +
            (o.logo.empty() ? std::string("no logo") : "logo " + o.logo) + "); " + o.saver + " itself is unchanged";
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

// The name field's bytes for the name: code page 932, judged as the setup will judge them.
// kExitOk; else kExitBadName and *why.
int NameField(const std::string& name, std::string* field, std::string* why)
{
    if (Cp932FromUtf8(name, field, why) && JudgeSaverName(*field, kAssumedSystemDirectoryLength, why))
        return kExitOk;
    *why = "name \"" + name + "\" refused: " + *why;
    return kExitBadName;
}

int BuildCommand(const Options& o)
{
    std::string why, arch, note, field;
    ByteVector stub, saver;
    if (!ReadInput(o.saver, "screen saver", &saver, &why))
        return Refuse(kExitFile, why);
    int code = LoadStub(o, ImageArch(saver.data(), saver.size()), &stub, &arch, &why);
    if (code == kExitOk)
        code = GiveDataBlock(o, &saver, &note, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    const std::string stubName = o.stub.empty() ? "built in for " + arch : o.stub;
    if (HoldsMarker(stub, AssembleSetupBoundary))
        return Refuse(kExitStubHoldsMarker, "the stub " + stubName +
                                                " holds the setup marker itself; the setup would read its own image as the payload");
    uint32_t tableAt = 0, tableSize = 0;
    if (FindCertificateTable(stub.data(), stub.size(), &tableAt, &tableSize))
        return Refuse(kExitBadSignature, "the stub " + stubName +
                                             " carries a certificate table, which would not cover the package: sign the package instead");
    const std::string name = o.nameGiven ? o.name : BareName(o.saver);
    if ((code = NameField(name, &field, &why)) != kExitOk)
        return Refuse(code, why);
    DataBlockFacts facts;
    if ((code = JudgeDataBlock(saver.data(), saver.size(), &facts, &why)) != kExitOk)
        return Refuse(code, why);
    WarnAboutPayload(saver.data(), saver.size());
    const std::string out = PackagePath(o);
    bool replaced = false;
    code = WriteOutput(out, BuildPackage(stub, field, saver, kCertificateAlignment), {o.saver, o.logo, o.stub}, &replaced, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    Say(stdout, "wrote " + out + (replaced ? " (replacing the file there)" : "") + ": " +
                    (arch.empty() ? "a stub of no known architecture" : arch + " stub") + ", name " + name + ", payload " +
                    std::to_string(saver.size()) + " bytes, logo " + std::to_string(facts.logoLength) + " bytes");
    if (!note.empty())
        Say(stdout, note);
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
    const std::string arch = ImageArch(package.data(), boundary);
    Print(stdout, "name: " + Utf8FromCp932(name) + "\narchitecture: " + (arch.empty() ? "none named by the stub" : arch) +
                      "\nimage: " + std::to_string(boundary) + " bytes\npayload: " + std::to_string(saverLength) +
                      " bytes\nlogo: " + std::to_string(facts.logoLength) + " bytes\n" + signedLine + "\n");
    return kExitOk;
}

int AddDataCommand(const Options& o)
{
    std::string why;
    ByteVector saver, block, dib;
    if (!ReadInput(o.saver, "screen saver", &saver, &why))
        return Refuse(kExitFile, why);
    if (HoldsMarker(saver, AssembleSaverBoundary))
        return Refuse(kExitHasDataBlock, "the screen saver " + o.saver + " already holds a data block");
    if (IsSignedSaver(saver, o.saver, &why))
        return Refuse(kExitSignedSaver, why);
    int code = ReadLogo(o.logo, &dib, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    block = BuildSaverDataBlock(ByteVector(), std::string(), std::string(), dib);

    ByteVector out(saver);
    out.insert(out.end(), block.begin(), block.end());
    DataBlockFacts facts;
    code = JudgeDataBlock(out.data(), out.size(), &facts, &why);
    bool replaced = false;
    if (code == kExitOk)
        code = WriteOutput(o.out, out, {o.saver, o.logo}, &replaced, &why);
    if (code != kExitOk)
        return Refuse(code, why);
    Say(stdout, "wrote " + o.out + (replaced ? " (replacing the file there)" : "") + ": screen saver " +
                    std::to_string(saver.size()) + " bytes, data block " + std::to_string(block.size()) + " bytes, logo " +
                    std::to_string(facts.logoLength) + " bytes");
    return kExitOk;
}

int Run(const std::vector<std::string>& args)
{
    Options o;
    std::string why;
    if (!ParseArguments(args, &o, &why))
        return Refuse(kExitUsage, why + " (mksetup --help for usage)");
    if (o.help) {
        Print(stdout, kUsage);
        return kExitOk;
    }
    if (o.version) {
        Print(stdout, std::string("mksetup ") + SETUP_VERSION_TEXT + "\n");
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
    MessageBoxW(nullptr, WideFromUtf8(g_outcome).c_str(), code == kExitOk ? L"mksetup" : L"mksetup: refused",
                MB_OK | MB_SETFOREGROUND | (code == kExitOk ? MB_ICONINFORMATION : MB_ICONERROR));
}
#endif

}  // namespace

// The arguments as UTF-8: on Windows from the UTF-16 command line, so that a file name of any
// characters reaches the builder whatever the system's ANSI code page.
int main(int argc, char** argv)
{
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide && i < count; ++i)
        args.push_back(Utf8FromWide(wide[i], wcslen(wide[i])));
    LocalFree(wide);
    (void)argc;
#else
    args.assign(argv, argv + argc);
#endif
    int code = Run(args);
#ifdef _WIN32
    ShowOutcomeOnOwnConsole(code);
#endif
    return code;
}
