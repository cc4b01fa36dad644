// The installation end to end, one table of runs: the real SETUP.exe under Wine with a
// package of our builder, a saver of the same name already installed or none, the boxes
// answered by the driver (with keys pressed on the window), and the end state read back
// from the prefix: the saver in the system directory byte for byte or absent, the earlier
// saver back byte for byte, no set-aside .TMP file left, system.ini and the registry.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "resources/resource.h"
#include "setup/package.h"
#include "screen/compose.h"
#include "support/state.h"
#include "tests/common/box_texts.h"
#include "tests/common/dib_builder.h"
#include "tests/program/spine_fixture.h"

#include <sddl.h>  // after windows.h, which it needs

namespace {

using driver::Cp932;
using spine::ListFiles;

const UINT kStartQuestion = IDS_START_QUESTION;
const UINT kSaverSet = IDS_SAVER_SET;
const UINT kAbortQuestion = IDS_ABORT_QUESTION;
const UINT kSaverNotSet = IDS_SAVER_NOT_SET;
const UINT kRemoveQuestion = IDS_REMOVE_QUESTION;
const UINT kSaverRemoved = IDS_SAVER_REMOVED;
const UINT kNotInstalled = IDS_SAVER_NOT_INSTALLED;
const UINT kNotRemoved = IDS_SAVER_NOT_REMOVED;

// "表" ends in 0x5C: the title must reach the boxes whole.
const std::string kTitle = Cp932(L"表示フロー");
const std::string kSaverName = kTitle + ".scr";
// The builder's saver: its name holds no 0x5C byte, which the builder refuses in a name.
const std::string kBuiltTitle = Cp932(L"オーロラ");
// The package that run-limited.sh makes before it limits the file size.
const char kLimitedSaverName[] = "flow_limit.scr";

// One box of a run: the text it must show, the button pressed, and a key pressed on the
// setup window right behind the answer (0 for none). kEndSession for the button: the session
// ends while the box stands (the box stays); for the key: it ends right behind the answer. A
// run whose last step ends the session is ended then, as the system ends it.
enum { kEndSession = 0x10000 };
struct Step {
    UINT text;
    int button;
    UINT keyBehind;
};

// What stands in the system directory under the saver's name before the run (this package's
// saver is registered too), and what else holds for the run.
enum Before { kNoSaver, kOtherSaver, kThisSaver };
enum Condition {
    kEscapeFirst = 1,      // Escape reaches the window before its first tick
    kDesktopReadOnly = 2,  // HKCU\Control Panel\Desktop can't be written during the run
    kUnderSizeLimit = 4,   // the run writes under a file-size limit (run-limited.sh)
    kRunning = 8,          // the saver that stands there is a program mapped as an image for the whole run
    kNoDataBlock = 16,     // the package's saver has no data block
    kNewRunning = 32,      // the new saver is a program mapped as an image once the window stands
    kNativeTwin = 64,      // another saver of the name stands in the real system32 and is registered
    kHeldForWriting = 128, // the saver that stands there is held open for writing
    kForeignMutex = 256,   // another account's setup holds the machine's mutex, closed to this one
    kReadOnly = 512,       // the saver that stands there is read-only
    kDroppedOnBuilder = 1024, // the package is mksetup.exe's, given the saver's path alone on a console of its own
    kBuiltInAConsole = 2048,  // the same, on the console of this test
    kAt192Dpi = 4096,      // LogPixels is 192 (Wine's system DPI at a program's start); the saver has a logo
    kOneByteOff = 8192,    // the saver that stands there is registered, of this one's size, one byte different
    kEntryNamesAnother = 16384, // the entries name another saver
    kNewHeld = 32768,      // once the window stands, the new saver is held open for reading without delete sharing
    kLetGo = 65536,        // ... and let go right behind the last answer
    kLargestLogo = 131072, // the logo is 4096 x 4096 at 24 bits, the largest the setup takes
    kLogoFromBmp = 262144, // the logo is given to mksetup.exe as editors save it: 32 bits, a V5 header, top-down
};

struct FlowCase {
    const char* name;
    const char* switches;     // behind the program's path
    Before before;
    int conditions;
    const char* secondStart;  // switches of a second start while the start question is open, or null
    std::vector<Step> steps;  // none: the run shows no window and no box
    DWORD exitCode;
    bool installed;           // the run ends with the package's saver in place and registered
};

const FlowCase kCases[] = {
    {"Yes", "", kOtherSaver, 0, nullptr, {{kStartQuestion, IDYES, 0}, {kSaverSet, IDOK, 0}}, 0, true},
    {"No", "", kOtherSaver, 0, nullptr, {{kStartQuestion, IDNO, 0}}, 0, false},
    {"EscapeWhilePendingThenNoThenNo", "", kNoSaver, kEscapeFirst, nullptr,
     {{kAbortQuestion, IDNO, 0}, {kStartQuestion, IDNO, 0}}, 0, false},
    {"EscapeDuringProgressThenYes", "", kOtherSaver, 0, nullptr,
     {{kStartQuestion, IDYES, VK_ESCAPE}, {kAbortQuestion, IDYES, 0}}, 0, false},
    {"EscapeThenNoFinishes", "", kNoSaver, 0, nullptr,
     {{kStartQuestion, IDYES, VK_ESCAPE}, {kAbortQuestion, IDNO, 0}, {kSaverSet, IDOK, 0}}, 0, true},
    {"EscapeBehindTheNoticesOk", "", kOtherSaver, 0, nullptr, {{kStartQuestion, IDYES, 0}, {kSaverSet, IDOK, VK_ESCAPE}}, 0, true},
    {"EscapeBehindANo", "", kOtherSaver, 0, nullptr, {{kStartQuestion, IDNO, VK_ESCAPE}}, 0, false},
    {"OtherKeyChangesNothing", " /X /SU", kNoSaver, 0, nullptr, {{kStartQuestion, IDYES, 'A'}, {kSaverSet, IDOK, 0}}, 0, true},
    {"FailedRegistration", "", kOtherSaver, kDesktopReadOnly, nullptr,
     {{kStartQuestion, IDYES, 0}, {kSaverNotSet, IDOK, 0}}, 0, true},
    {"FailedWriteUnderAFileSizeLimit", "", kOtherSaver, kUnderSizeLimit, nullptr, {}, 0, false},
    {"YesWhileThePreviousSaverRuns", "", kOtherSaver, kRunning, nullptr,
     {{kStartQuestion, IDYES, 0}, {kSaverSet, IDOK, 0}}, 0, true},
    {"SecondStartWhileTheQuestionIsOpen", "", kOtherSaver, 0, "", {{kStartQuestion, IDYES, 0}, {kSaverSet, IDOK, 0}}, 0, true},
    // Deployment: the silent runs' exit codes, and the removal.
    {"Silent", " /S", kOtherSaver, 0, nullptr, {}, 0, true},
    {"SilentNotRegistered", " /s", kNoSaver, kDesktopReadOnly, nullptr, {}, 1, true},
    {"SilentWithoutDataBlock", " /S", kOtherSaver, kNoDataBlock, nullptr, {}, 2, false},
    {"SilentFromADropOnTheBuilder", " /S", kOtherSaver, kDroppedOnBuilder, nullptr, {}, 0, true},
    {"SilentFromTheBuilderInAConsole", " /S", kOtherSaver, kBuiltInAConsole, nullptr, {}, 0, true},
    {"SilentFailedWriteUnderAFileSizeLimit", " /S", kOtherSaver, kUnderSizeLimit, nullptr, {}, 3, false},
    {"SilentStartWhileTheQuestionIsOpen", "", kOtherSaver, 0, " /S", {{kStartQuestion, IDYES, 0}, {kSaverSet, IDOK, 0}}, 0, true},
    {"SilentRemovalOfAnotherSaver", " /U /S", kOtherSaver, 0, nullptr, {}, 5, false},
    {"SilentRemovalOfASaverOneByteOff", " /U /S", kOtherSaver, kOneByteOff, nullptr, {}, 5, false},
    {"SilentRemovalWithAnEntryOfAnotherSaver", " /U /S", kThisSaver, kEntryNamesAnother, nullptr, {}, 0, false},
    {"SilentRemovalWhileTheSaverRuns", " /U /S", kThisSaver, kRunning, nullptr, {}, 6, true},
    {"SilentRemoval", " /s /u", kThisSaver, 0, nullptr, {}, 0, false},
    {"RemovalAnsweredYes", " /U", kThisSaver, 0, nullptr, {{kRemoveQuestion, IDYES, 0}, {kSaverRemoved, IDOK, 0}}, 0, false},
    {"RemovalAnsweredNo", " /u", kThisSaver, 0, nullptr, {{kRemoveQuestion, IDNO, 0}}, 0, true},
    // Nothing lost at the end of a session, on a file in use, or beside another setup.
    {"SessionEndsAtTheQuestionThenNo", "", kOtherSaver, 0, nullptr,
     {{kStartQuestion, kEndSession, 0}, {kStartQuestion, IDNO, 0}}, 0, false},
    {"SessionEndsAtTheQuestion", "", kOtherSaver, 0, nullptr, {{kStartQuestion, kEndSession, 0}}, 0, false},
    {"SessionEndsAtTheQuestionWithNoEarlierSaver", "", kNoSaver, 0, nullptr, {{kStartQuestion, kEndSession, 0}}, 0, false},
    {"SessionEndsRightAfterYes", "", kOtherSaver, 0, nullptr, {{kStartQuestion, IDYES, kEndSession}}, 0, true},
    {"SessionEndsAtTheNotice", "", kOtherSaver, 0, nullptr, {{kStartQuestion, IDYES, 0}, {kSaverSet, kEndSession, 0}}, 0, true},
    {"SessionEndsAtTheAbortQuestion", "", kOtherSaver, 0, nullptr,
     {{kStartQuestion, IDYES, VK_ESCAPE}, {kAbortQuestion, kEndSession, 0}}, 0, true},
    {"NoWhileTheNewSaverRuns", "", kOtherSaver, kNewRunning, nullptr, {{kStartQuestion, IDNO, 0}}, 0, false},
    {"SilentStartBesideAnotherAccountsSetup", " /S", kOtherSaver, kForeignMutex, nullptr, {}, 4, false},
    {"SilentRemovalBesideA64BitSaver", " /U /S", kThisSaver, kNativeTwin, nullptr, {}, 0, false},
    {"SilentRemovalOfAFileHeldForWriting", " /U /S", kThisSaver, kHeldForWriting, nullptr, {}, 6, true},
    {"SilentRemovalOfAReadOnlySaver", " /U /S", kThisSaver, kReadOnly, nullptr, {}, 0, false},
    {"SilentRemovalBesideAReadOnlyDesktopKey", " /U /S", kThisSaver, kDesktopReadOnly, nullptr, {}, 7, false},
    {"NoWhileAReaderHoldsTheNewSaver", "", kOtherSaver, kNewHeld, nullptr, {{kStartQuestion, IDNO, 0}}, 0, false},
    {"NoWhileAReaderHoldsTheNewSaverAMoment", "", kOtherSaver, kNewHeld | kLetGo, nullptr, {{kStartQuestion, IDNO, 0}}, 0, false},
    {"RemovalOfNothing", " /U", kOtherSaver, 0, nullptr, {{kNotInstalled, IDOK, 0}}, 0, false},
    {"RemovalWhileTheSaverRuns", " /U", kThisSaver, kRunning, nullptr,
     {{kRemoveQuestion, IDYES, 0}, {kNotRemoved, IDOK, 0}}, 0, true},
    {"InProportionAt192Dpi", "", kNoSaver, kAt192Dpi, nullptr, {{kStartQuestion, IDNO, 0}}, 0, false},
    {"InProportionAt192DpiWithTheLargestLogo", "", kNoSaver, kAt192Dpi | kLargestLogo, nullptr, {{kStartQuestion, IDNO, 0}}, 0, false},
    {"EditorsLogoAt192Dpi", "", kNoSaver, kAt192Dpi | kLogoFromBmp, nullptr, {{kStartQuestion, IDNO, 0}}, 0, false},
};

std::string ExpectedText(UINT id)
{
    return BoxText932(id, kTitle);
}

// The system directory by its unredirected name: a 32-bit process on 64-bit Windows calls
// SysWOW64 system32, a name that leads the 64-bit programs that start a saver elsewhere.
std::string NativeSystemDirectory(const std::string& systemDir)
{
    BOOL wow64 = FALSE;
    char dir[MAX_PATH] = {};
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 && GetSystemWow64DirectoryA(dir, MAX_PATH) ? dir
                                                                                                         : systemDir;
}

// The file at path as a 64-bit program reads it: in a 32-bit test, copied by the 64-bit cmd.
ByteVector ReadAs64BitProgram(const std::string& path, const std::string& copy)
{
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
        return driver::ReadBytes(path);
    driver::Process cmd;
    DWORD code = 1;
    EXPECT_TRUE(cmd.Start(spine::WindowsDirectory() + "\\sysnative\\cmd.exe",
                          "cmd /c copy /b \"" + path + "\" \"" + copy + "\"") && cmd.WaitExit(spine::kExitTimeout, &code));
    return driver::ReadBytes(copy);
}

// The deletions at the next restart that the platform has booked, taken off the books.
std::string TakePendingRenames()
{
    const char kKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
    std::string value(65536, '\0');
    DWORD size = static_cast<DWORD>(value.size());
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kKey, "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, &value[0],
                     &size) != ERROR_SUCCESS)
        size = 0;
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kKey, "PendingFileRenameOperations");
    return value.substr(0, size);
}

// The file at path mapped as an executable image, as a running program holds its file: it can
// be renamed, not deleted. Null when it could not be mapped.
HANDLE MapAsImage(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    HANDLE image = CreateFileMappingA(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
    CloseHandle(file);
    return image;
}

// The session ends, as the system ends it: the window is asked, then told. Whether it agreed.
bool EndSession(HWND window)
{
    DWORD_PTR agreed = 0;
    return SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, spine::kExitTimeout, &agreed) && agreed &&
           SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, spine::kExitTimeout, nullptr);
}

ByteVector SmallLogo(int side = 8);  // below: 8 x 8, a third of it black; larger ones tile it

// Where "100 %" stands in the bar: its extent in the program's own percentage font,
// centred, and one pixel more on every side.
RECT PercentCell(const RECT& bar)
{
    CreateSetupFonts();
    RECT cell = driver::PercentTextRect(bar, 100, g_state.percentFont);
    DeleteSetupFonts();
    InflateRect(&cell, 1, 1);
    return cell;
}

// Whether the bar on the screen, while the notice is open, is magenta throughout, with the navy
// ink of "100 %" only inside the text's cell.
::testing::AssertionResult FullBarOnScreen()
{
    driver::ScreenImage screen;
    if (!driver::CaptureScreen(&screen))
        return ::testing::AssertionFailure() << "the screen could not be read";
    RECT bar = driver::ProgressBarRect(screen.width, screen.height);
    RECT cell = PercentCell(bar);
    int ink = 0, strayInk = 0, notMagenta = 0;
    for (int y = bar.top; y < bar.bottom; ++y)
        for (int x = bar.left; x < bar.right; ++x) {
            uint32_t pixel = screen.At(x, y);
            bool inCell = x >= cell.left && x < cell.right && y >= cell.top && y < cell.bottom;
            if (pixel == 0x000080)
                ++(inCell ? ink : strayInk);
            else if (pixel != 0xFF00FF && !inCell)
                ++notMagenta;
        }
    if (ink > 0 && strayInk == 0 && notMagenta == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ink << " navy pixels in the percentage (none: no percentage), " << strayInk
                                         << " outside the centred \"100 %\", " << notMagenta
                                         << " of the bar neither magenta nor text (not filled all the way)";
}

// The rows of area from the first to the last that holds a pixel of colour (with other: of
// any other colour); the first in *top.
int InkRows(const driver::ScreenImage& image, const RECT& area, uint32_t colour, bool other, int* top = nullptr)
{
    int first = -1, last = -1;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if ((image.At(x, y) == colour) != other) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
    if (top)
        *top = first;
    return first < 0 ? 0 : last - first + 1;
}

// The rows of ink of lines drawn one under the other in font, black on white.
int InkRowsOf(HFONT font, const std::vector<std::wstring>& lines)
{
    driver::Canvas canvas(1024, 256, 0xFFFFFF);
    SelectObject(canvas.dc(), font);
    SIZE extent = {0, 0};
    int y = 0;
    for (const std::wstring& line : lines) {
        TextOutW(canvas.dc(), 0, y, line.c_str(), static_cast<int>(line.size()));
        GetTextExtentPoint32W(canvas.dc(), line.c_str(), static_cast<int>(line.size()), &extent);
        y += extent.cy;
    }
    driver::ScreenImage image{1024, 256, std::vector<uint32_t>(canvas.bits(), canvas.bits() + 1024 * 256)};
    return InkRows(image, {0, 0, 1024, 256}, 0xFFFFFF, true);
}

// The screen at 192 DPI with the question open (the box at box): the bar at 0 % 80 rows high
// and 40 pixels in from the bottom and right edges; the title's ink in its cell at (64, 64);
// title and percentage at least 1.8 times the rows of their ink at 96 DPI; the logo at
// (32, H - 16), every pixel 2 x 2, its black ones showing the gradient (column 31's colour);
// a tiled logo goes on above and to the right.
::testing::AssertionResult InProportionAt192Dpi(const RECT& box, int titleAt96, int percentAt96, bool tiled)
{
    driver::ScreenImage s;
    if (!driver::CaptureScreen(&s))
        return ::testing::AssertionFailure() << "the screen could not be read";
    const int w = s.width, h = s.height, left = 2 * (w / 3);
    const ByteVector logo = SmallLogo();
    int barTop = 0, titleTop = 0, logoWrong = 0;
    int barRows = InkRows(s, {w - 41, box.bottom, w - 40, h}, 0xFFFFFF, false, &barTop);
    bool barRight = s.At(w - 41, h - 41) == 0xFFFFFF && s.At(w - 40, h - 41) != 0xFFFFFF;
    int percent = InkRows(s, {left, h - 120, w - 40, h - 40}, 0xFFFFFF, true);
    int title = InkRows(s, {0, 0, w, box.top}, 0xFFFFFF, false, &titleTop);
    bool titleLeft = !InkRows(s, {0, 0, 64, box.top}, 0xFFFFFF, false) && InkRows(s, {64, 0, 96, box.top}, 0xFFFFFF, false);
    for (int y = -1; y < 16; ++y)
        for (int x = 0; x <= 16; ++x) {
            const unsigned char* p = logo.data() + sizeof(BITMAPINFOHEADER) + ((15 - y) / 2 % 8 * 8 + x / 2 % 8) * 3;
            bool gradient = (!tiled && (y < 0 || x == 16)) || !(p[0] | p[1] | p[2]);
            logoWrong += s.At(32 + x, h - 16 + y) != (gradient ? s.At(31, h - 16 + y) : p[2] << 16 | p[1] << 8 | p[0]);
        }
    if (barRows == 80 && barTop == h - 120 && barRight && titleTop >= 64 && titleTop < 96 && titleLeft &&
        title * 10 >= titleAt96 * 18 && percent * 10 >= percentAt96 * 18 && logoWrong == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "bar rows " << barTop << " + " << barRows << " of " << h << ", right edge "
                                         << barRight << "; title ink from row " << titleTop << ", " << title
                                         << " rows (96 DPI " << titleAt96 << "), from column 64 " << titleLeft
                                         << "; percentage " << percent << " rows (96 DPI " << percentAt96
                                         << "); logo pixels wrong " << logoWrong;
}

class FlowTest : public spine::SpineTest, public ::testing::WithParamInterface<FlowCase> {
protected:
    // A run that went wrong may leave files in the system directory: they go, so that the
    // next run starts from the same prefix.
    void TearDown() override
    {
        for (const std::string& name : ListFiles(systemDir_))
            if (!before_.empty() && before_.count(name) == 0)
                DeleteFileA((systemDir_ + "\\" + name).c_str());
        if (titleAt96_)
            RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels");
        SpineTest::TearDown();
    }

    // The package of mksetup.exe (MKSETUP_EXE) given the saver's path alone. Started with a
    // console of its own, as a drop starts it, it shows its outcome in a box, answered here; on
    // this test's console it shows none. Its --check must take the package.
    std::string BuilderPackage(const FlowCase& c, const ByteVector& saver)
    {
        const std::string builder = driver::EnvPath("MKSETUP_EXE"), scr = WritePackage(kBuiltTitle + ".scr", saver);
        const bool own = c.conditions & kDroppedOnBuilder;
        // Started by ctest, this test has a console of Wine's that lists no processes (nor
        // would the builder's): for this run it takes a real one, which the builder shares.
        DWORD consoleProcesses[2];
        const bool consoleMade = !own && GetConsoleProcessList(consoleProcesses, 2) == 0 && FreeConsole() && AllocConsole();
        EXPECT_TRUE(own || GetConsoleProcessList(consoleProcesses, 2) > 0) << "this test has no console to share";
        driver::Process drop, check;
        EXPECT_TRUE(drop.Start(builder, "\"" + builder + "\" \"" + scr + "\"", "", own ? CREATE_NEW_CONSOLE : 0));
        if (own) {
            driver::Box box = driver::WaitForBox(drop, spine::kWindowTimeout);
            EXPECT_EQ(0u, box.text.find("wrote ")) << "the builder's box: " << box.text;
            EXPECT_TRUE(box.window && driver::AnswerBox(box, IDOK));
        }
        EXPECT_TRUE(EndsWithoutABox(drop, true));
        if (consoleMade)
            FreeConsole();
        const std::string package = scratch_.File(kBuiltTitle + "-setup.exe");
        DWORD code = 1;
        EXPECT_TRUE(check.Start(builder, "mksetup --check \"" + package + "\"") && check.WaitExit(spine::kExitTimeout, &code));
        EXPECT_EQ(0u, code) << "mksetup --check refused the package";
        return package;
    }

    // The package of mksetup.exe with SmallLogo's pixels given by --logo in place of the saver's
    // logo, as a 32-bit BMP with alpha (half), a V5 header and rows top-down.
    std::string LogoBmpPackage(const ByteVector& saver)
    {
        const ByteVector logo = SmallLogo();
        BITMAPV5HEADER v5 = {};
        v5.bV5Size = sizeof v5, v5.bV5Width = 8, v5.bV5Height = -8, v5.bV5Planes = 1, v5.bV5BitCount = 32;
        v5.bV5Compression = BI_BITFIELDS, v5.bV5RedMask = 0xFF0000, v5.bV5GreenMask = 0xFF00, v5.bV5BlueMask = 0xFF, v5.bV5AlphaMask = 0xFF000000;
        ByteVector bmp(14 + sizeof v5 + 8 * 8 * 4, 0x80);
        BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(bmp.size()), 0, 0, 14 + sizeof v5};
        memcpy(bmp.data(), &file, 14);
        memcpy(bmp.data() + 14, &v5, sizeof v5);
        for (int i = 0; i < 64; ++i)
            memcpy(&bmp[14 + sizeof v5 + 4 * i], &logo[sizeof(BITMAPINFOHEADER) + ((7 - i / 8) * 8 + i % 8) * 3], 3);
        const std::string builder = driver::EnvPath("MKSETUP_EXE"), out = scratch_.File("built.exe");
        const std::string scr = WritePackage(kBuiltTitle + ".scr", saver), bmpFile = WritePackage("logo.bmp", bmp);
        driver::Process build;
        DWORD code = 1;
        EXPECT_TRUE(build.Start(builder, "mksetup --stub \"" + driver::EnvPath("SETUP_EXE") + "\" --logo \"" + bmpFile +
                                             "\" --out \"" + out + "\" \"" + scr + "\"", "", DETACHED_PROCESS) &&
                    build.WaitExit(spine::kExitTimeout, &code));  // no console: no box after a builder row freed this one's
        EXPECT_EQ(0u, code) << "mksetup.exe refused the logo";
        // Its payload under this table's name, which the builder refuses (a 0x5C byte).
        const ByteVector built = driver::ReadBytes(out);
        size_t boundary = 0, payload = 0, end = 0;
        EXPECT_TRUE(LocatePayload(built.data(), built.size(), &boundary, &payload, &end));
        return WritePackage("SETUP.exe", driver::MakePackage(kSaverName, ByteVector(built.begin() + payload, built.begin() + end)));
    }

    // The package of this run: made here, by the builder, or by run-limited.sh for a run under the limit.
    std::string PackageFor(const FlowCase& c, const ByteVector& saver)
    {
        if (c.conditions & kLogoFromBmp)
            return LogoBmpPackage(saver);
        if (c.conditions & (kDroppedOnBuilder | kBuiltInAConsole))
            return BuilderPackage(c, saver);
        if (!(c.conditions & kUnderSizeLimit))
            return WritePackage("SETUP.exe",
                                driver::MakePackage(kSaverName, c.conditions & kNoDataBlock ? ByteVector(5000, 0x33) : saver));
        const char* limit = getenv("FLOW_SIZE_LIMIT_KIB");
        std::string package = driver::EnvPath("FLOW_BIG_PACKAGE");
        EXPECT_TRUE(limit && !package.empty()) << "this run needs the file-size limit of tests/program/run-limited.sh";
        if (limit) {
            EXPECT_GT(driver::ReadBytes(package).size(), strtoul(limit, nullptr, 10) * 1024)
                << "the package must be larger than the limit";
        }
        return package;
    }

    // Answers the boxes of the run in order; whether each came and showed what it must.
    [[nodiscard]] ::testing::AssertionResult AnswersBoxes(driver::Process& process, HWND window,
                                                          const std::vector<Step>& steps)
    {
        ::testing::AssertionResult result = ::testing::AssertionSuccess();
        auto wrong = [&result](const Step& step, const std::string& what) {
            result = (result ? ::testing::AssertionFailure() : result)
                     << " box with text " << step.text << ": " << what << ";";
        };
        for (const Step& step : steps) {
            driver::Box box = driver::WaitForBox(process, spine::kWindowTimeout);
            if (!box.window) {
                wrong(step, "did not come");
                return result;
            }
            if (box.caption != BoxCaption932(step.text))
                wrong(step, "caption " + driver::Utf8FromCp932(box.caption));
            if (box.text != ExpectedText(step.text))
                wrong(step, "text " + driver::Utf8FromCp932(box.text));
            if (box.buttons != BoxButtonIds(step.text))
                wrong(step, "other buttons");
            ::testing::AssertionResult bar = ::testing::AssertionSuccess();
            if (step.text == kSaverSet || step.text == kSaverNotSet)
                bar = FullBarOnScreen();
            RECT boxRect = {};
            if (step.text == kStartQuestion && titleAt96_ && GetWindowRect(box.window, &boxRect))
                bar = InProportionAt192Dpi(boxRect, titleAt96_, percentAt96_, tiledLogo_);
            if (!bar)
                wrong(step, bar.message());
            const bool endsAtTheBox = step.button == kEndSession;
            if (!endsAtTheBox && !driver::AnswerBox(box, step.button, window, step.keyBehind & ~kEndSession)) {
                wrong(step, "the box stayed");
                return result;
            }
            if ((endsAtTheBox || step.keyBehind == kEndSession) && !EndSession(window))
                wrong(step, "the session's end was held up");
        }
        return result;
    }

    std::set<std::string> before_;  // the system directory's files before the run
    int titleAt96_ = 0;             // at 192 DPI: the rows of the texts' ink at 96 DPI
    int percentAt96_ = 0;
    bool tiledLogo_ = false;
};

TEST_P(FlowTest, EndState)
{
    const FlowCase& c = GetParam();
    if (c.conditions & (kDroppedOnBuilder | kBuiltInAConsole) && sizeof(void*) == 8)
        GTEST_SKIP() << "the builder's package carries the x86 stub, which the x86 tree's run installs";
    const std::string name = c.conditions & kUnderSizeLimit                       ? kLimitedSaverName
                             : c.conditions & (kDroppedOnBuilder | kBuiltInAConsole) ? kBuiltTitle + ".scr"
                                                                                     : kSaverName;
    const std::string target = SaverPath(name);
    const std::string nativeDir = NativeSystemDirectory(systemDir_);
    // A running saver is a program: its file must be an image the platform can map.
    const ByteVector stub = driver::ReadBytes(driver::EnvPath("SETUP_EXE"));
    tiledLogo_ = c.conditions & kLargestLogo;
    ByteVector saver = driver::MakeSaver((c.conditions & (kAt192Dpi | kLogoFromBmp)) == kAt192Dpi ? SmallLogo(tiledLogo_ ? 4096 : 8) : ByteVector());
    if (c.conditions & kAt192Dpi) {
        // The texts measured in this program's fonts, made while it still reads 96 DPI; the
        // prefix has no LogPixels of its own (96), and TearDown deletes the run's again.
        const char kDesktop[] = "Control Panel\\Desktop";
        ASSERT_NE(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", RRF_RT_ANY, nullptr, nullptr, nullptr));
        CreateSetupFonts();
        titleAt96_ = InkRowsOf(g_state.titleFont, {L"表示フロー", L"スクリーンセーバー セットアップ"});
        percentAt96_ = InkRowsOf(g_state.percentFont, {L"0 %"});
        DeleteSetupFonts();
        ASSERT_EQ(96, g_state.dpi) << "this program must read 96 DPI";
        DWORD dpi = 192;
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", REG_DWORD, &dpi, sizeof dpi));
    }
    if ((c.conditions & kRunning && c.before == kThisSaver) || c.conditions & kNewRunning)
        saver.insert(saver.begin(), stub.begin(), stub.end());
    ByteVector previous = c.conditions & kRunning ? stub : c.conditions & kOneByteOff ? saver : ByteVector(3000, 0x77);
    if (c.conditions & kOneByteOff)
        previous[previous.size() / 2] ^= 1;
    DeleteFileA(target.c_str());
    if (c.before != kNoSaver) {
        ASSERT_TRUE(driver::WriteBytes(target, c.before == kThisSaver ? saver : previous));
    }
    char shortPath[MAX_PATH] = {};
    GetShortPathNameA((nativeDir + "\\" + name).c_str(), shortPath, MAX_PATH);
    // The twin is registered by the name the 64-bit programs find it by: system32's.
    const std::string twin = spine::WindowsDirectory() + "\\Sysnative\\" + name;
    std::string foreignEntry = c.conditions & kNativeTwin          ? spine::WindowsDirectory() + "\\system32\\" + name
                               : c.conditions & kEntryNamesAnother ? systemDir_ + "\\flow_other.scr"
                               : c.conditions & kOneByteOff        ? shortPath : "";
    if (c.conditions & kNativeTwin) {
        if (nativeDir == systemDir_)
            GTEST_SKIP() << "only a 32-bit setup on 64-bit Windows has a system32 of its own";
        ASSERT_TRUE(driver::WriteBytes(twin, ByteVector(2000, 0x55)));
    }
    if (c.conditions & (kNativeTwin | kEntryNamesAnother))
        strcpy(shortPath, foreignEntry.c_str());
    RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveActive", REG_SZ, "1", 2);
    if (c.before == kThisSaver || c.conditions & kOneByteOff) {
        WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", shortPath, "system.ini");
        RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "SCRNSAVE.EXE", REG_SZ, shortPath,
                        static_cast<DWORD>(strlen(shortPath) + 1));
    }
    HANDLE image = nullptr;  // the running saver's image, renamed with its file but never deleted
    if (c.conditions & kRunning) {
        image = MapAsImage(target);
        ASSERT_TRUE(image) << "the saver could not be mapped as an image";
    }
    HANDLE held = c.conditions & kHeldForWriting ? CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                               OPEN_EXISTING, 0, nullptr)
                                                 : nullptr;
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const std::string registryBefore = driver::ReadRegistrySaver();
    if (c.conditions & kReadOnly)
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    // Another account's mutex: its empty access list ("D:") lets nobody else open it, not even to wait.
    PSECURITY_DESCRIPTOR closed = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, &closed, nullptr));
    SECURITY_ATTRIBUTES closedMutex = {sizeof closedMutex, closed, FALSE};
    HANDLE mutex = c.conditions & kForeignMutex ? CreateMutexA(&closedMutex, FALSE, "Global\\SetupWClass") : nullptr;
    before_ = ListFiles(systemDir_);
    const std::set<std::string>& before = before_;
    std::unique_ptr<driver::ReadOnlyKey> readOnly;
    if (c.conditions & kDesktopReadOnly) {
        readOnly.reset(new driver::ReadOnlyKey("Control Panel\\Desktop"));
        ASSERT_TRUE(readOnly->ok()) << "Control Panel\\Desktop could not be made read-only";
    }

    std::string exe = PackageFor(c, saver);
    driver::Process process;
    if (c.conditions & kEscapeFirst)
        ASSERT_TRUE(process.StartWithEarlyEscape(exe, "\"" + exe + "\"")) << "KEYHOOK_DLL must name the key hook";
    else
        ASSERT_TRUE(process.Start(exe, "\"" + exe + "\"" + c.switches));
    if (c.steps.empty()) {
        EXPECT_TRUE(EndsWithoutABox(process, false, c.exitCode));
    } else {
        // A removal shows its boxes without the setup screen.
        HWND window = nullptr;
        if (c.steps[0].text != kRemoveQuestion && c.steps[0].text != kNotInstalled) {
            window = driver::WaitForWindow(process.id(), "SetupWClass", spine::kWindowTimeout);
            ASSERT_TRUE(window) << "no setup window";
        }
        if (c.conditions & kNewRunning) {
            image = MapAsImage(target);
            ASSERT_TRUE(image) << "the new saver could not be mapped as an image";
        }
        if (c.conditions & kNewHeld) {
            held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
        if (c.secondStart) {
            ASSERT_TRUE(driver::WaitForBox(process, spine::kWindowTimeout).window) << "no start question";
            std::set<std::string> files = ListFiles(systemDir_);
            driver::Process second;
            ASSERT_TRUE(second.Start(exe, "\"" + exe + "\"" + c.secondStart));
            EXPECT_TRUE(EndsWithoutABox(second, false, *c.secondStart ? 4 : 0));
            EXPECT_EQ(files, ListFiles(systemDir_)) << "the second start changed the system directory";
            EXPECT_EQ(saver, driver::ReadBytes(target)) << "the second start changed the new saver";
        }
        EXPECT_TRUE(AnswersBoxes(process, window, c.steps));
        if (c.conditions & kLetGo) {
            Sleep(300);
            CloseHandle(held);
            held = nullptr;
        }
        if (c.steps.back().button == kEndSession || c.steps.back().keyBehind == kEndSession)
            process.Kill();
        else
            EXPECT_TRUE(EndsWithoutABox(process, true));
    }
    if (mutex)
        CloseHandle(mutex);
    LocalFree(closed);
    if (held)
        CloseHandle(held);
    DeleteFileA(twin.c_str());

    std::set<std::string> expectedFiles = before;
    if (c.installed) {
        expectedFiles.insert(name);
    } else if (c.before == kThisSaver) {
        expectedFiles.erase(name);
    }
    if (image)
        CloseHandle(image);
    // Held past the setup's wait: the declined saver keeps the name until the next restart.
    const bool booked = (c.conditions & (kNewHeld | kLetGo)) == kNewHeld;
    if ((c.conditions & kRunning && c.before == kOtherSaver) || c.conditions & kNewRunning || booked) {
        // The running saver (the earlier one after a Yes, the new one after a No) could not be
        // deleted: it stays aside, booked to go at the next restart under its unredirected name.
        // A held one can't be renamed either: the earlier saver stays aside, booked to take the
        // name back once the name's deletion, booked before it, has freed it.
        std::string pending = TakePendingRenames();
        std::set<std::string> left = ListFiles(systemDir_);
        for (const std::string& file : expectedFiles)
            left.erase(file);
        ASSERT_EQ(1u, left.size()) << "no copy of the running saver is left aside";
        EXPECT_EQ(c.installed || booked ? previous : saver, driver::ReadBytes(systemDir_ + "\\" + *left.begin()));
        EXPECT_NE(std::string::npos, pending.find(nativeDir + "\\" + *left.begin())) << "not booked: " << pending;
        if (booked) {
            EXPECT_LT(pending.find(nativeDir + "\\" + name + std::string(2, '\0')), pending.find(*left.begin() + '\0' + "!"))
                << "not booked in order: " << pending;
        }
        expectedFiles.insert(*left.begin());
    }
    EXPECT_EQ(expectedFiles, ListFiles(systemDir_)) << "a set-aside copy was left, or a file is missing";
    if (c.installed) {
        EXPECT_EQ(saver, driver::ReadBytes(target));
    } else if (c.before == kOtherSaver) {
        EXPECT_EQ(booked ? saver : previous, driver::ReadBytes(target)) << "the earlier saver is not back";
    } else {
        EXPECT_FALSE(driver::FileExists(target));
    }

    const bool readOnlyDesktop = c.conditions & kDesktopReadOnly;
    GetShortPathNameA((nativeDir + "\\" + name).c_str(), shortPath, MAX_PATH);  // of the file now there
    // Entries of a 64-bit twin, another saver or another file are not this package's to take.
    EXPECT_EQ(c.installed ? std::string(shortPath) : foreignEntry, driver::ReadIniSaver());
    EXPECT_EQ(c.installed && !readOnlyDesktop ? std::string(shortPath) : readOnlyDesktop ? registryBefore : foreignEntry, driver::ReadRegistrySaver());
    // Screen saving goes off with a removal that deletes this saver's registry entry, and only then.
    char active[4] = {};
    DWORD size = sizeof active;
    RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveActive", RRF_RT_REG_SZ, nullptr, active, &size);
    if (strpbrk(c.switches, "Uu")) {
        EXPECT_STREQ(c.before == kThisSaver && !c.installed && foreignEntry.empty() && !readOnlyDesktop ? "0" : "1", active);
    }
    // The programs that start the saver are 64-bit: the registered path must lead them to it.
    if (c.installed) {
        EXPECT_EQ(saver, ReadAs64BitProgram(driver::ReadIniSaver(), scratch_.File("ini.scr")));
        EXPECT_EQ(readOnlyDesktop ? ByteVector() : saver,
                  ReadAs64BitProgram(driver::ReadRegistrySaver(), scratch_.File("registry.scr")));
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, FlowTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A small logo, so that the run also makes and keeps a logo bitmap: 8 x 8 at 24 bits, every
// third pixel black (the logo's transparent colour) and the others a pattern of colours.
ByteVector SmallLogo(int side)
{
    ByteVector dib = BuildDib(DibFields(40, side, side, 24));
    dib.resize(40 + static_cast<size_t>(side) * side * 3);  // the builder leaves out the bits of huge ones
    for (size_t i = 40; i < dib.size(); ++i) {
        size_t pixel = (i - 40) / 3, j = (pixel / side % 8 * 8 + pixel % side % 8) * 3 + (i - 40) % 3;
        dib[i] = j % 9 < 3 ? 0 : static_cast<unsigned char>((j + 40) * 37);
    }
    return dib;
}

class BalanceTest : public spine::SpineTest {};

// The program's counts once they hold still.
bool SettledCounts(HWND window, driver::ResourceCounts* counts)
{
    return driver::ReadSettled(counts, [window](driver::ResourceCounts* c) {
        return driver::ReadResourceCounts(window, driver::kCountOnly, c);
    });
}

// The installation's progress (67 ticks, each a paint of the bar, the timer stopped and
// started again) and its registration end with the program's GDI objects and kernel handles
// where they stood at the question: both are counted with a box open, inside the program,
// once the platform has made what it makes once per process and keeps.
TEST_F(BalanceTest, AWholeInstallationEndsWithTheCountsOfTheQuestion)
{
    const std::string target = SaverPath(kSaverName);
    const ByteVector saver = driver::MakeSaver(SmallLogo());
    std::string exe = WritePackage("SETUP.exe", driver::MakePackage(kSaverName, saver));
    driver::Process process;
    ASSERT_TRUE(process.StartWithResourceCounter(exe, "\"" + exe + "\"")) << "KEYHOOK_DLL must name the hook DLL";
    HWND window = driver::WaitForWindow(process.id(), "SetupWClass", spine::kWindowTimeout);
    ASSERT_TRUE(window) << "no setup window";
    driver::Box question = driver::WaitForBox(process, spine::kWindowTimeout);
    ASSERT_TRUE(question.window) << "no start question";
    ASSERT_EQ(ExpectedText(kStartQuestion), question.text);

    driver::ResourceCounts warmUp, atQuestion, atNotice, planted;
    // The first request also makes the two properties that carry the counts.
    ASSERT_TRUE(driver::ReadResourceCounts(window, driver::kCountAfterFillingPlatformCaches, &warmUp));
    ASSERT_TRUE(SettledCounts(window, &atQuestion));
    ASSERT_GT(atQuestion.gdiObjects, 0) << "the program did not count";
    ASSERT_GT(atQuestion.handles, 0) << "the program did not count";
    ASSERT_TRUE(driver::AnswerBox(question, IDYES, window));
    driver::Box notice = driver::WaitForBox(process, spine::kWindowTimeout);
    ASSERT_TRUE(notice.window) << "no notice";
    ASSERT_EQ(ExpectedText(kSaverSet), notice.text);
    ASSERT_TRUE(SettledCounts(window, &atNotice));
    EXPECT_EQ(atQuestion.gdiObjects, atNotice.gdiObjects);
    EXPECT_EQ(atQuestion.handles, atNotice.handles);
    // The control: one brush and one event more in the program are one more in each count.
    ASSERT_TRUE(driver::ReadResourceCounts(window, driver::kCountAfterPlantingLeaks, &planted));
    ASSERT_TRUE(SettledCounts(window, &planted));
    EXPECT_EQ(atNotice.gdiObjects + 1, planted.gdiObjects) << "the count does not see the program's objects";
    EXPECT_EQ(atNotice.handles + 1, planted.handles) << "the count does not see the program's handles";

    ASSERT_TRUE(driver::AnswerBox(notice, IDOK, window));
    DWORD code = 1234;
    ASSERT_TRUE(process.WaitExit(spine::kExitTimeout, &code)) << "no exit after the notice";
    EXPECT_EQ(0u, code);
    EXPECT_EQ(saver, driver::ReadBytes(target));
}

}  // namespace
