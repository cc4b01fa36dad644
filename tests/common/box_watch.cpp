// Watcher thread and MessageBoxW recorder for the prompt tests.
#include "tests/common/box_watch.h"

#include <mutex>

#include "tests/common/loaded_image.h"
#include "tools/driver/driver.h"

namespace prompts_test {
namespace {

const DWORD kBoxTimeout = 15000;
const DWORD kCloseTimeout = 3000;

typedef int(WINAPI* MessageBoxWProc)(HWND, LPCWSTR, LPCWSTR, UINT);
MessageBoxWProc g_realMessageBoxW = nullptr;
std::mutex g_callMutex;
CallRecord g_lastCall;

int WINAPI RecordMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    {
        std::lock_guard<std::mutex> lock(g_callMutex);
        ++g_lastCall.calls;
        g_lastCall.owner = owner;
        g_lastCall.textWasNull = text == nullptr;
        g_lastCall.text = driver::Cp932(text);  // the program's own code page
        g_lastCall.caption = driver::Cp932(caption);
        g_lastCall.style = style;
        g_lastCall.textAddress = text;
        HGLOBAL block = text ? GlobalHandle(text) : nullptr;
        g_lastCall.textBlockSize = block ? GlobalSize(block) : 0;
    }
    return g_realMessageBoxW(owner, text, caption, style);
}

}  // namespace

bool InstallRecorder()
{
    return g_realMessageBoxW || PatchImport("user32.dll", "MessageBoxW", reinterpret_cast<void*>(&RecordMessageBoxW),
                                            reinterpret_cast<void**>(&g_realMessageBoxW));
}

CallRecord LastCall()
{
    std::lock_guard<std::mutex> lock(g_callMutex);
    return g_lastCall;
}

void ResetCalls()
{
    std::lock_guard<std::mutex> lock(g_callMutex);
    g_lastCall = CallRecord();
}

// The styles as numbers: MB_YESNO | MB_ICONQUESTION, MB_ICONINFORMATION or MB_ICONERROR, each
// with MB_SETFOREGROUND.
const BoxKind kQuestionBox = {L"質問", 0x10024, {IDYES, IDNO}, IDI_QUESTION};
const BoxKind kInfoBox = {L"情報", 0x10040, {IDOK}, IDI_INFORMATION};
const BoxKind kErrorBox = {L"エラー", 0x10010, {IDOK}, IDI_ERROR};

::testing::AssertionResult IsBox(const BoxKind& kind, const SeenBox& seen, const CallRecord& call)
{
    if (!seen.found)
        return ::testing::AssertionFailure() << "no box appeared";
    std::string caption = driver::Cp932(kind.caption);
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    auto differs = [&](const char* what, bool same) {
        if (!same)
            result = (result ? ::testing::AssertionFailure() : result) << " " << what << " differs;";
    };
    differs("the caption shown", seen.caption == caption);
    differs("the caption passed", call.caption == caption);
    differs("the style", call.style == kind.style);
    differs("the buttons", seen.buttons == kind.buttons);
    differs("the icon", seen.icon == LoadIconA(nullptr, kind.icon));
    return result;
}

HICON BoxIcon(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    }
    return nullptr;
}

BoxWatcher::BoxWatcher(Answer answer) : answer_(answer), thread_(&BoxWatcher::Run, this) {}

BoxWatcher::~BoxWatcher()
{
    if (thread_.joinable())
        thread_.join();
}

SeenBox BoxWatcher::Finish()
{
    if (thread_.joinable())
        thread_.join();
    return seen_;
}

void BoxWatcher::Run()
{
    HWND box = driver::WaitForWindow(GetCurrentProcessId(), "#32770", kBoxTimeout);
    if (!box)
        return;
    seen_.found = true;
    driver::Box read = driver::ReadBox(box);
    seen_.caption = read.caption;
    seen_.text = read.text;
    seen_.buttons = read.buttons;
    seen_.owner = GetWindow(box, GW_OWNER);
    seen_.icon = BoxIcon(box);
    seen_.foreground = GetForegroundWindow() == box;

    switch (answer_) {
    case Answer::Yes:
        driver::PressBoxButton(box, IDYES);
        break;
    case Answer::No:
        driver::PressBoxButton(box, IDNO);
        break;
    case Answer::Ok:
        driver::PressBoxButton(box, IDOK);
        break;
    case Answer::Close:
        PostMessageA(box, WM_CLOSE, 0, 0);
        break;
    case Answer::Escape:
        driver::SendKey(GetDlgItem(box, IDYES) ? GetDlgItem(box, IDYES) : box, VK_ESCAPE);
        break;
    }
    DWORD start = GetTickCount();
    while (IsWindow(box) && GetTickCount() - start < kCloseTimeout)
        Sleep(20);
    seen_.closedByAnswer = !IsWindow(box);
    // A box that ignores the answer must not hang the test: No (or OK) ends it.
    if (IsWindow(box))
        driver::PressBoxButton(box, GetDlgItem(box, IDNO) ? IDNO : IDOK);
}

}  // namespace prompts_test
