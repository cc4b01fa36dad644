// The installation end to end, one table of runs: the real SETUP.exe under Wine with a
// package of our builder, a saver of the same name already installed or none, the boxes
// answered by the driver (with keys pressed on the window), and the end state read back
// from the prefix: the saver in the system directory byte for byte or absent, the earlier
// saver back byte for byte, no set-aside .TMP file left, system.ini and the registry.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "resources/resource.h"
#include "screen/compose.h"
#include "support/state.h"
#include "tests/program/spine_fixture.h"

namespace {

using driver::Cp932;
using spine::ListFiles;

const UINT kStartQuestion = IDS_START_QUESTION;
const UINT kSaverSet = IDS_SAVER_SET;
const UINT kAbortQuestion = IDS_ABORT_QUESTION;
const UINT kSaverNotSet = IDS_SAVER_NOT_SET;

// "表" ends in 0x5C: the title must reach the boxes whole.
const std::string kTitle = Cp932(L"表示フロー");
const std::string kSaverName = kTitle + ".scr";
// The package that run-limited.sh makes before it limits the file size.
const char kLimitedSaverName[] = "flow_limit.scr";

// One box of a run: the text it must show, the button pressed, and a key pressed on the
// setup window right behind the answer (0 for none).
struct Step {
    UINT text;
    int button;
    UINT keyBehind;
};

struct FlowCase {
    const char* name;
    bool previousSaver;     // a saver of the same name is installed before the run
    bool escapeFirst;       // Escape reaches the window before its first tick
    bool desktopReadOnly;   // HKCU\Control Panel\Desktop can't be written during the run
    bool underSizeLimit;    // the run writes under a file-size limit (run-limited.sh)
    std::vector<Step> steps;
    bool installed;         // the run ends with the package's saver in place
};

const FlowCase kCases[] = {
    {"Yes", true, false, false, false, {{kStartQuestion, IDYES, 0}, {kSaverSet, IDOK, 0}}, true},
    {"No", true, false, false, false, {{kStartQuestion, IDNO, 0}}, false},
    {"EscapeWhilePendingThenNoThenNo", false, true, false, false,
     {{kAbortQuestion, IDNO, 0}, {kStartQuestion, IDNO, 0}}, false},
    {"EscapeDuringProgressThenYes", true, false, false, false,
     {{kStartQuestion, IDYES, VK_ESCAPE}, {kAbortQuestion, IDYES, 0}}, false},
    {"EscapeThenNoFinishes", false, false, false, false,
     {{kStartQuestion, IDYES, VK_ESCAPE}, {kAbortQuestion, IDNO, 0}, {kSaverSet, IDOK, 0}}, true},
    {"OtherKeyChangesNothing", false, false, false, false,
     {{kStartQuestion, IDYES, 'A'}, {kSaverSet, IDOK, 0}}, true},
    {"FailedRegistration", true, false, true, false, {{kStartQuestion, IDYES, 0}, {kSaverNotSet, IDOK, 0}}, true},
    {"FailedWriteUnderAFileSizeLimit", true, false, false, true, {}, false},
};

std::string ExpectedText(UINT id)
{
    switch (id) {
    case kStartQuestion:
        return Cp932(L"「") + kTitle + Cp932(L"」スクリーンセーバーのインストールを開始します。\r\n\r\nよろしいですか?");
    case kSaverSet:
        return kTitle + Cp932(L"\r\nをスクリーンセーバーとして設定しました。");
    case kAbortQuestion:
        return Cp932(L"インストールを中断してよろしいですか?");
    default:
        return kTitle + Cp932(L"\r\nをスクリーンセーバーとして設定できませんでした。");
    }
}

std::string ExpectedCaption(UINT id)
{
    if (id == kSaverSet)
        return Cp932(L"情報");
    return Cp932(id == kSaverNotSet ? L"エラー" : L"質問");
}

bool IsQuestion(UINT id)
{
    return id == kStartQuestion || id == kAbortQuestion;
}

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

class FlowTest : public spine::SpineTest, public ::testing::WithParamInterface<FlowCase> {
protected:
    // A run that went wrong may leave files in the system directory: they go, so that the
    // next run starts from the same prefix.
    void TearDown() override
    {
        for (const std::string& name : ListFiles(systemDir_))
            if (!before_.empty() && before_.count(name) == 0)
                DeleteFileA((systemDir_ + "\\" + name).c_str());
        SpineTest::TearDown();
    }

    // The package of this run: made here, or by run-limited.sh for a run under the limit.
    std::string PackageFor(const FlowCase& c, const ByteVector& saver)
    {
        if (!c.underSizeLimit)
            return WritePackage("SETUP.exe", driver::MakePackage(kSaverName, saver));
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
            if (box.caption != ExpectedCaption(step.text))
                wrong(step, "caption " + driver::Utf8FromCp932(box.caption));
            if (box.text != ExpectedText(step.text))
                wrong(step, "text " + driver::Utf8FromCp932(box.text));
            if (box.buttons != (IsQuestion(step.text) ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK}))
                wrong(step, "other buttons");
            ::testing::AssertionResult bar = ::testing::AssertionSuccess();
            if (step.text == kSaverSet || step.text == kSaverNotSet)
                bar = FullBarOnScreen();
            if (!bar)
                wrong(step, bar.message());
            if (!driver::AnswerBox(box, step.button, window, step.keyBehind)) {
                wrong(step, "the box stayed");
                return result;
            }
        }
        return result;
    }

    std::set<std::string> before_;  // the system directory's files before the run
};

TEST_P(FlowTest, EndState)
{
    const FlowCase& c = GetParam();
    const std::string name = c.underSizeLimit ? kLimitedSaverName : kSaverName;
    const std::string target = SaverPath(name);
    const ByteVector saver = driver::MakeSaver();
    const ByteVector previous(3000, 0x77);
    DeleteFileA(target.c_str());
    if (c.previousSaver) {
        ASSERT_TRUE(driver::WriteBytes(target, previous));
    }
    before_ = ListFiles(systemDir_);
    const std::set<std::string>& before = before_;
    std::unique_ptr<driver::ReadOnlyKey> readOnly;
    if (c.desktopReadOnly) {
        readOnly.reset(new driver::ReadOnlyKey("Control Panel\\Desktop"));
        ASSERT_TRUE(readOnly->ok()) << "Control Panel\\Desktop could not be made read-only";
    }

    std::string exe = PackageFor(c, saver);
    driver::Process process;
    if (c.escapeFirst)
        ASSERT_TRUE(process.StartWithEarlyEscape(exe, "\"" + exe + "\"")) << "KEYHOOK_DLL must name the key hook";
    else
        ASSERT_TRUE(process.Start(exe, "\"" + exe + "\""));
    if (c.underSizeLimit) {
        EXPECT_TRUE(EndsWithoutABox(process));
    } else {
        HWND window = driver::WaitForWindow(process.id(), "SetupWClass", spine::kWindowTimeout);
        ASSERT_TRUE(window) << "no setup window";
        EXPECT_TRUE(AnswersBoxes(process, window, c.steps));
        EXPECT_TRUE(EndsWithoutABox(process, true));
    }

    std::set<std::string> expectedFiles = before;
    if (c.installed) {
        expectedFiles.insert(name);
    }
    EXPECT_EQ(expectedFiles, ListFiles(systemDir_)) << "a set-aside copy was left, or a file is missing";
    if (c.installed) {
        EXPECT_EQ(saver, driver::ReadBytes(target));
    } else if (c.previousSaver) {
        EXPECT_EQ(previous, driver::ReadBytes(target)) << "the earlier saver is not back";
    } else {
        EXPECT_FALSE(driver::FileExists(target));
    }

    char shortPath[MAX_PATH] = {};
    GetShortPathNameA(target.c_str(), shortPath, MAX_PATH);
    EXPECT_EQ(c.installed ? std::string(shortPath) : std::string(), driver::ReadIniSaver());
    EXPECT_EQ(c.installed && !c.desktopReadOnly ? std::string(shortPath) : std::string(), driver::ReadRegistrySaver());
}

INSTANTIATE_TEST_SUITE_P(Runs, FlowTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A small logo, so that the run also makes and keeps a logo bitmap: 8 x 8 at 24 bits, a
// pattern that is not all black (black is the logo's transparent colour).
ByteVector SmallLogo()
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = 8;
    header.biHeight = 8;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    ByteVector dib(sizeof header + 8 * 8 * 3);
    memcpy(dib.data(), &header, sizeof header);
    for (size_t i = sizeof header; i < dib.size(); ++i)
        dib[i] = static_cast<unsigned char>(i * 37);
    return dib;
}

class BalanceTest : public spine::SpineTest {};

// The program's counts once they hold still: a box that has just come may still be making and
// dropping what it paints with (slowly, where the program runs emulated).
bool SettledCounts(HWND window, driver::ResourceCounts* counts)
{
    driver::ResourceCounts last;
    for (int tries = 0; tries < 25; ++tries) {
        if (!driver::ReadResourceCounts(window, driver::kCountOnly, counts))
            return false;
        if (tries > 0 && counts->gdiObjects == last.gdiObjects && counts->handles == last.handles)
            return true;
        last = *counts;
        Sleep(200);
    }
    return true;
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
