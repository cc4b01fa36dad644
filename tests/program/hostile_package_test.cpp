// Hostile packages through the whole program, one table, one row a package: name fields that
// would escape the system directory or name no plain file, data blocks whose lengths point
// past the end, logos that no screen could show and the BMP suite's broken files. Each run ends
// with exit code 0 and writes nothing in the prefix but, where the name is one plain file name,
// the saver in the system directory (and, when installed, its system.ini entry). A refused
// package ends silently before anything is written; any other reaches the question, which is
// answered No in about half of the rows and Yes in the rest.
#include "tests/program/spine_fixture.h"

#include <cstdlib>
#include <map>

#include "setup/package.h"
#include "tests/common/dib_builder.h"
#include "tests/common/findings.h"

namespace spine {
namespace {

// What the run must come to.
enum Outcome {
    kRefused,      // ends silently: no window, no box, nothing written
    kAskedNo,      // the question comes and is answered No: the saver is gone again
    kAskedYes,     // answered Yes: the notice comes, the saver stays byte for byte
};

// What the saver carries behind its program bytes.
enum Payload {
    kPlainSaver,          // a data block without a logo
    kCutInsideTheLogo,    // a logo, the file cut in its bits: L runs past the end
    kCutBeforeTheLengths, // the file cut 100 bytes into the data block, before L
    kLogoLengthMax,       // L = 0xFFFFFFFF
    kFirstStringMax,      // A = 0xFFFFFFFF
    kSecondStringMax,     // B = 0xFFFFFFFF
    kAllLengthsMax,       // L, A and B = 0xFFFFFFFF
    kHugeHeader,          // a 40-byte header claiming 0x7FFFFFFF x 0x7FFFFFFF pixels
    kOverTheCeiling,      // 4097 x 4097 at 8 bits, RLE: a few bytes asking for 16 MiB of pixels
    kSuiteFile,           // the BMP suite's file (without its file header) as the logo
    kHeader60000,         // a 40-byte header claiming 60000 x 60000 pixels at 24 bits
    kCutTable,            // 16 x 16 at 8 bits, cut 100 bytes into its colour table
    kHeaderPastTheEnd,    // a header size of 0x7FFFFFFF in a logo of 7 bytes
    kInnerPackage,        // a whole package inside the saver: the first boundary decides
    kBareStub,            // the stub alone, without a setup boundary
    kNameWithoutNul,      // the package's name field filled to its end, no NUL
    kCutInsideTheName,    // a package without a saver, its file cut inside the name field
    kSignedByATool,       // the sample saver packaged by mksetup and signed by osslsigncode
};

// Where 0x95 is a lead byte (code page 932) "\x95\x5C" is one character; elsewhere (1252) its
// 0x5C is a backslash, and the name would reach into a directory below the system directory.
const char kLeadByteName[] = "spine_hostile\x95\x5C.scr";
const char kPlainName[] = "spine_hostile.scr";

struct HostileCase {
    const char* label;
    std::string name;
    Payload payload;
    const char* suiteFile;  // kSuiteFile: the file in bad/ or good/
    Outcome outcome;
    bool logoShown;         // the logo stands on the screen at the question
};

// The broken file is made into a bitmap only where the DIB check finds it within its bytes;
// whether the platform then draws anything of it is the platform's, so those rows assert no
// pixels of the logo either way.
const HostileCase kCases[] = {
    {"Empty", "", kPlainSaver, nullptr, kRefused, false},
    {"Dot", ".", kPlainSaver, nullptr, kRefused, false},
    {"DotDot", "..", kPlainSaver, nullptr, kRefused, false},
    {"ParentDirectory", "..\\spine_evil.scr", kPlainSaver, nullptr, kRefused, false},
    {"TwoParentDirectories", "..\\..\\spine_evil.scr", kPlainSaver, nullptr, kRefused, false},
    {"Slash", "sub/spine_evil.scr", kPlainSaver, nullptr, kRefused, false},
    {"DriveRelative", "C:spine_evil.scr", kPlainSaver, nullptr, kRefused, false},
    {"DriveAbsolute", "C:\\spine_evil.scr", kPlainSaver, nullptr, kRefused, false},
    {"UncPath", "\\\\host\\share\\spine_evil.scr", kPlainSaver, nullptr, kRefused, false},
    {"AlternateStream", "spine_evil.scr:stream", kPlainSaver, nullptr, kRefused, false},
    {"ControlCharacter", "spine\x01" "evil.scr", kPlainSaver, nullptr, kRefused, false},
    {"TrailingDot", "spine_evil.scr.", kPlainSaver, nullptr, kRefused, false},
    {"TrailingBlank", "spine_evil.scr ", kPlainSaver, nullptr, kRefused, false},
    {"Wildcard", "spine*.scr", kPlainSaver, nullptr, kRefused, false},
    {"DeviceCon", "CON", kPlainSaver, nullptr, kRefused, false},
    {"DeviceNulWithExtension", "nul.scr", kPlainSaver, nullptr, kRefused, false},
    {"DeviceCom1", "COM1.scr", kPlainSaver, nullptr, kRefused, false},
    {"DeviceLpt9", "LPT9", kPlainSaver, nullptr, kRefused, false},
    {"LeadByteWithoutTrail", "spine_evil\x95", kPlainSaver, nullptr, kRefused, false},
    {"LeadByteBeforeTheDot", "spine_evil\x81.scr", kPlainSaver, nullptr, kRefused, false},
    {"PathBeyond259", std::string(250, 'n') + ".scr", kPlainSaver, nullptr, kRefused, false},
    {"Name259Bytes", std::string(255, 'n') + ".scr", kPlainSaver, nullptr, kRefused, false},
    {"Program", "spine_evil.exe", kPlainSaver, nullptr, kRefused, false},
    {"LibraryBehindASaverName", "spine_evil.scr.dll", kPlainSaver, nullptr, kRefused, false},
    {"SystemLibraryName", "version.dll", kPlainSaver, nullptr, kRefused, false},
    // Refused where 0x95 is no lead byte: see LeadByteOutcome.
    {"LeadByte95Trail5C", kLeadByteName, kPlainSaver, nullptr, kAskedYes, false},
    {"CutInsideTheLogo", kPlainName, kCutInsideTheLogo, nullptr, kAskedNo, false},
    {"CutBeforeTheLengths", kPlainName, kCutBeforeTheLengths, nullptr, kAskedYes, false},
    {"LogoLengthMax", kPlainName, kLogoLengthMax, nullptr, kAskedNo, false},
    {"FirstStringMax", kPlainName, kFirstStringMax, nullptr, kAskedYes, false},
    {"SecondStringMax", kPlainName, kSecondStringMax, nullptr, kAskedNo, false},
    {"AllLengthsMax", kPlainName, kAllLengthsMax, nullptr, kAskedYes, false},
    {"HugeHeader", kPlainName, kHugeHeader, nullptr, kAskedNo, false},
    {"OverTheCeiling", kPlainName, kOverTheCeiling, nullptr, kAskedYes, false},
    // The control: a good logo shows, so the check for no logo can fail.
    {"GoodLogoShows", kPlainName, kSuiteFile, "good/pal8.bmp", kAskedNo, true},
    {"Bad_badbitcount", kPlainName, kSuiteFile, "bad/badbitcount.bmp", kAskedYes, false},
    {"Bad_badbitssize", kPlainName, kSuiteFile, "bad/badbitssize.bmp", kAskedNo, false},
    {"Bad_baddens1", kPlainName, kSuiteFile, "bad/baddens1.bmp", kAskedYes, false},
    {"Bad_baddens2", kPlainName, kSuiteFile, "bad/baddens2.bmp", kAskedNo, false},
    {"Bad_badfilesize", kPlainName, kSuiteFile, "bad/badfilesize.bmp", kAskedYes, false},
    {"Bad_badheadersize", kPlainName, kSuiteFile, "bad/badheadersize.bmp", kAskedNo, false},
    {"Bad_badpalettesize", kPlainName, kSuiteFile, "bad/badpalettesize.bmp", kAskedYes, false},
    {"Bad_badplanes", kPlainName, kSuiteFile, "bad/badplanes.bmp", kAskedNo, false},
    {"Bad_badrle", kPlainName, kSuiteFile, "bad/badrle.bmp", kAskedYes, false},
    {"Bad_badrle4", kPlainName, kSuiteFile, "bad/badrle4.bmp", kAskedNo, false},
    {"Bad_badrle4bis", kPlainName, kSuiteFile, "bad/badrle4bis.bmp", kAskedYes, false},
    {"Bad_badrle4ter", kPlainName, kSuiteFile, "bad/badrle4ter.bmp", kAskedNo, false},
    {"Bad_badrlebis", kPlainName, kSuiteFile, "bad/badrlebis.bmp", kAskedYes, false},
    {"Bad_badrleter", kPlainName, kSuiteFile, "bad/badrleter.bmp", kAskedNo, false},
    {"Bad_badwidth", kPlainName, kSuiteFile, "bad/badwidth.bmp", kAskedYes, false},
    {"Bad_pal8badindex", kPlainName, kSuiteFile, "bad/pal8badindex.bmp", kAskedNo, false},
    {"Bad_reallybig", kPlainName, kSuiteFile, "bad/reallybig.bmp", kAskedYes, false},
    {"Bad_rgb16_880", kPlainName, kSuiteFile, "bad/rgb16-880.bmp", kAskedNo, false},
    {"Bad_rletopdown", kPlainName, kSuiteFile, "bad/rletopdown.bmp", kAskedYes, false},
    {"Bad_shortfile", kPlainName, kSuiteFile, "bad/shortfile.bmp", kAskedNo, false},
    {"NoLogo", kPlainName, kPlainSaver, nullptr, kAskedYes, false},
    {"Header60000", kPlainName, kHeader60000, nullptr, kAskedNo, false},
    {"CutColourTable", kPlainName, kCutTable, nullptr, kAskedYes, false},
    {"HeaderSizePastTheEnd", kPlainName, kHeaderPastTheEnd, nullptr, kAskedNo, false},
    {"FirstBoundaryDecides", kPlainName, kInnerPackage, nullptr, kAskedYes, false},
    {"NoSetupBoundary", kPlainName, kBareStub, nullptr, kRefused, false},
    {"NameFieldWithoutItsNul", kPlainName, kNameWithoutNul, nullptr, kRefused, false},
    {"CutInsideTheNameField", kPlainName, kCutInsideTheName, nullptr, kRefused, false},
    // The certificate table a real tool appends behind the payload is no part of the saver.
    {"SignedByATool", kPlainName, kSignedByATool, nullptr, kAskedYes, true},
};

// gtest prints a row by its label.
void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.label;
}

// Rows whose logo the DIB check refuses: the screen must show none. The others are drawn as
// the platform draws them.
bool LogoRefused(const HostileCase& c)
{
    static const char* const kRefusedFiles[] = {
        "bad/badbitcount.bmp", "bad/badbitssize.bmp", "bad/badheadersize.bmp", "bad/badpalettesize.bmp",
        "bad/badplanes.bmp",   "bad/badwidth.bmp",    "bad/reallybig.bmp",     "bad/rletopdown.bmp",
        "bad/shortfile.bmp",
    };
    if (c.payload != kSuiteFile)
        return true;
    for (const char* file : kRefusedFiles)
        if (strcmp(file, c.suiteFile) == 0)
            return true;
    return false;
}

// The lead-byte row is installed where the process's code page takes 0x95 as a lead byte and
// refused elsewhere; the child SETUP.exe runs with the same code page as this program.
Outcome ExpectedOutcome(const HostileCase& c)
{
    if (c.name == kLeadByteName && !IsDBCSLeadByte(0x95))
        return kRefused;
    return c.outcome;
}

uint32_t GetLittle32(const ByteVector& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

ByteVector SuiteDib(const char* file)
{
    std::string path = driver::EnvPath("BMPSUITE_DIR") + "\\" + file;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    ByteVector bytes = driver::ReadBytes(path);
    EXPECT_GT(bytes.size(), sizeof(BITMAPFILEHEADER)) << path;
    if (bytes.size() > sizeof(BITMAPFILEHEADER))
        bytes.erase(bytes.begin(), bytes.begin() + sizeof(BITMAPFILEHEADER));
    return bytes;
}

ByteVector SaverFor(const HostileCase& c)
{
    if (c.payload == kSignedByATool || c.payload == kCutInsideTheName)
        return c.payload == kSignedByATool ? driver::ReadBytes(driver::EnvPath("SAMPLE_SCR")) : ByteVector();
    DibRecipe huge = DibFields(40, 0x7FFFFFFF, 0x7FFFFFFF, 24), ceiling = DibFields(40, 4097, 4097, 8, BI_RLE8);
    huge.imageSize = 64;
    ceiling.imageSize = 4;  // behind the colour table: end of line, end of bitmap
    ByteVector logo;
    switch (c.payload) {
    case kCutInsideTheLogo:
    case kLogoLengthMax:
    case kFirstStringMax:
    case kSecondStringMax:
    case kAllLengthsMax:
        logo = SuiteDib("good/pal8.bmp");
        break;
    case kHugeHeader:
        logo = BuildDib(huge);  // a claim of a huge picture comes without its bits
        logo.resize(logo.size() + 64, 0x40);
        break;
    case kOverTheCeiling:
        logo = BuildDib(ceiling);
        break;
    case kSuiteFile:
        logo = SuiteDib(c.suiteFile);
        break;
    case kHeader60000:
        logo = BuildDib(DibFields(40, 60000, 60000, 24));
        break;
    case kCutTable:
        logo = BuildDib(DibFields(40, 16, 16, 8));
        logo.resize(40 + 100);
        break;
    case kHeaderPastTheEnd:
        logo = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
        break;
    default:
        break;
    }
    ByteVector saver = driver::MakeSaver(logo);
    char marker[kBoundaryLength];
    AssembleSaverBoundary(marker);
    const size_t block = FindBoundary(saver.data(), saver.size(), marker);
    EXPECT_LT(block, saver.size());
    const size_t secondAt = block + kDataFirstStringOffset + 4 + GetLittle32(saver, block + kDataFirstStringOffset);
    switch (c.payload) {
    case kCutInsideTheLogo:
        saver.resize(saver.size() - logo.size() / 2);
        break;
    case kCutBeforeTheLengths:
        saver.resize(block + 100);
        break;
    case kInnerPackage: {
        ByteVector inner = driver::MakePackage("spine_inner.scr", driver::MakeSaver());
        saver.insert(saver.begin() + 100, inner.begin(), inner.end());
        break;
    }
    case kAllLengthsMax:
        PutU32(saver, secondAt, 0xFFFFFFFF);
        PutU32(saver, block + kDataFirstStringOffset, 0xFFFFFFFF);
        PutU32(saver, block + kDataLogoLengthOffset, 0xFFFFFFFF);
        break;
    case kLogoLengthMax:
        PutU32(saver, block + kDataLogoLengthOffset, 0xFFFFFFFF);
        break;
    case kFirstStringMax:
        PutU32(saver, block + kDataFirstStringOffset, 0xFFFFFFFF);
        break;
    case kSecondStringMax:
        PutU32(saver, secondAt, 0xFFFFFFFF);
        break;
    default:
        break;
    }
    return saver;
}

// The path with its ASCII letters in upper case: Windows paths compare without case.
std::string CharUpperPath(std::string path)
{
    for (char& c : path)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return path;
}

// Size and last write of every file, and every directory, under dir (recursively), keyed by
// path; the directories in skip are left out with what is in them.
typedef std::map<std::string, std::pair<ULONGLONG, ULONGLONG>> Listing;

void ListTree(const std::string& dir, const std::set<std::string>& skip, Listing* listing)
{
    for (const WIN32_FIND_DATAA& found : driver::FindEntries(dir + "\\*")) {
        std::string path = dir + "\\" + found.cFileName;
        if (skip.count(CharUpperPath(path)))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*listing)[path] = std::make_pair(0, 0);
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                ListTree(path, skip, listing);
            continue;
        }
        ULONGLONG size = static_cast<ULONGLONG>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        ULONGLONG written = static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                            found.ftLastWriteTime.dwLowDateTime;
        (*listing)[path] = std::make_pair(size, written);
    }
}

// Pixels of the screen's lowest quarter left of the progress bar (where the logo stands, and
// below the centred boxes) that differ from the gradient, which is one colour across each row. The screen is read
// again while it does not show what is expected, for the window may still be painting when
// the question comes; a logo once drawn stays, so the last reading decides.
int LogoPixels(bool expectLogo)
{
    int differing = -1;
    for (int reading = 0; reading < 40; ++reading, Sleep(50)) {
        driver::ScreenImage screen;
        if (!driver::CaptureScreen(&screen) || screen.pixels.empty())
            continue;
        RECT bar = driver::ProgressBarRect(screen.width, screen.height);
        differing = 0;
        for (int y = screen.height * 3 / 4; y < screen.height; ++y)
            for (int x = 1; x < bar.left; ++x)
                differing += screen.At(x, y) != screen.At(0, y);
        if ((differing > 0) == expectLogo)
            break;
    }
    return differing;
}

class HostileTest : public SpineTest, public ::testing::WithParamInterface<HostileCase> {
protected:
    // The whole C: drive of the prefix but the system directory (compared by name on its own)
    // and the temporary directory (where the harness writes the package). Nothing else
    // changed there in our runs: Wine keeps its registry files outside C:.
    Listing ListPrefix()
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        std::string tempDir(temp);
        if (!tempDir.empty() && tempDir.back() == '\\')
            tempDir.pop_back();
        std::set<std::string> skip = {CharUpperPath(systemDir_), CharUpperPath(tempDir)};
        // A 32-bit program's system directory is the 32-bit one under its own name too; the
        // 64-bit system32 is not to be seen from here at all.
        BOOL wow64 = FALSE;
        char wowDir[MAX_PATH] = {};
        if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64 && GetSystemWow64DirectoryA(wowDir, MAX_PATH))
            skip.insert(CharUpperPath(wowDir));
        Listing listing;
        ListTree("C:", skip, &listing);
        return listing;
    }

    // Answers the question as the row says (and the notice after a Yes); whether both came with
    // their buttons and the screen showed the logo or none as the row says.
    [[nodiscard]] ::testing::AssertionResult AnswersQuestion(driver::Process& process, HWND window,
                                                             const HostileCase& c)
    {
        driver::Box question = driver::WaitForBox(process, kWindowTimeout);
        if (!question.window)
            return ::testing::AssertionFailure() << "no start question";
        Findings findings;
        findings.Same("the question's buttons", std::vector<int>{IDYES, IDNO}, question.buttons);
        if (c.logoShown)
            findings.True("the logo is not on the screen", LogoPixels(true) > 0);
        else if (LogoRefused(c))
            findings.True("a logo is on the screen", LogoPixels(false) == 0);
        if (!driver::AnswerBox(question, c.outcome == kAskedYes ? IDYES : IDNO, window))
            return ::testing::AssertionResult(findings.Add("the question stayed"));
        if (c.outcome == kAskedYes) {
            driver::Box notice = driver::WaitForBox(process, kWindowTimeout);
            if (!notice.window)
                return ::testing::AssertionResult(findings.Add("no notice after Yes"));
            findings.Same("the notice's buttons", std::vector<int>{IDOK}, notice.buttons);
            if (!driver::AnswerBox(notice, IDOK, window))
                findings.Add("the notice stayed");
        }
        return findings;
    }
};

TEST_P(HostileTest, EndsCleanly)
{
    const HostileCase& c = GetParam();
    const Outcome outcome = ExpectedOutcome(c);
    const ByteVector saver = SaverFor(c);
    const std::string iniPath = WindowsDirectory() + "\\system.ini";
    ByteVector package = c.payload == kSignedByATool ? driver::ReadBytes(driver::EnvPath("SIGNED_SETUP"))
                         : c.payload == kBareStub    ? driver::ReadBytes(driver::EnvPath("SETUP_EXE"))
                                                     : driver::MakePackage(c.name, saver);
    ASSERT_FALSE(package.empty() || (saver.empty() && c.payload != kCutInsideTheName)) << "SIGNED_SETUP, SAMPLE_SCR";
    if (c.payload == kNameWithoutNul)
        memset(&package[package.size() - saver.size() - kPayloadOffset + kBoundaryLength], 'x', kSaverNameFieldLength);
    if (c.payload == kCutInsideTheName)
        package.pop_back();
    std::string exe = WritePackage("SETUP.exe", package);
    const std::set<std::string> systemBefore = ListFiles(systemDir_);
    Listing prefixBefore = ListPrefix();
    ASSERT_GT(prefixBefore.size(), 100u) << "the prefix listing sees too little to prove anything";

    driver::Process process;
    ASSERT_TRUE(process.Start(exe, "\"" + exe + "\"")) << "CreateProcess error " << GetLastError();
    if (outcome == kRefused) {
        EXPECT_TRUE(EndsWithoutABox(process));
    } else {
        HWND window = driver::WaitForWindow(process.id(), "SetupWClass", kWindowTimeout);
        ASSERT_TRUE(window) << "no setup window";
        EXPECT_TRUE(AnswersQuestion(process, window, c));
        DWORD code = 1234;
        ASSERT_TRUE(process.WaitExit(kExitTimeout, &code)) << "still running";
        EXPECT_EQ(0u, code);
    }

    std::set<std::string> systemAfter = systemBefore;
    if (outcome == kAskedYes)
        systemAfter.insert(c.name);
    EXPECT_EQ(systemAfter, ListFiles(systemDir_));
    if (outcome == kAskedYes) {
        EXPECT_EQ(saver, driver::ReadBytes(SaverPath(c.name)));
    }
    Listing prefixAfter = ListPrefix();
    if (outcome == kAskedYes) {
        // The registration writes system.ini; nothing else outside the system directory.
        EXPECT_NE(prefixBefore[iniPath], prefixAfter[iniPath]) << "system.ini was not written";
        prefixBefore.erase(iniPath);
        prefixAfter.erase(iniPath);
    }
    for (const auto& entry : prefixAfter)
        EXPECT_TRUE(prefixBefore.count(entry.first) && prefixBefore[entry.first] == entry.second)
            << "written: " << entry.first;
    for (const auto& entry : prefixBefore)
        EXPECT_TRUE(prefixAfter.count(entry.first)) << "removed: " << entry.first;
    EXPECT_EQ((std::set<std::string>{"SETUP.exe"}), ListFiles(scratch_.path()));
    EXPECT_EQ(outcome == kAskedYes, !driver::ReadRegistrySaver().empty());
}

INSTANTIATE_TEST_SUITE_P(Packages, HostileTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.label); });

// This program runs a second time under code page 1252 for the lead-byte row alone; the row's
// outcome depends on the code page, so the run must really have it.
TEST(HostileCodePage, IsTheOneTheRunAsksFor)
{
    const char* wanted = getenv("SPINE_CODEPAGE");
    ASSERT_TRUE(wanted) << "SPINE_CODEPAGE must name the ANSI code page of the run";
    EXPECT_EQ(strtoul(wanted, nullptr, 10), GetACP());
}

}  // namespace
}  // namespace spine
