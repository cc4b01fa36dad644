// Real message boxes in a test: the box is modal, so the test shows it on its own thread
// while a watcher thread finds it, reads what it shows and answers it. MessageBoxW is also
// seen at the call: its import in this program is routed through a recorder first, so the
// exact caption, text and style that the code under test passed can be compared (the texts
// in code page 932, the program's own).
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace prompts_test {

// How the watcher answers a box.
enum class Answer { Yes, No, Ok, Close, Escape };

// What one box showed, as read from the window on the screen.
struct SeenBox {
    bool found = false;
    std::string caption;
    std::string text;
    std::vector<int> buttons;
    HWND owner = nullptr;
    HICON icon = nullptr;     // the icon the box shows
    bool foreground = false;  // the box was the foreground window
    bool closedByAnswer = false;  // the box went away after the answer itself
};

// What the code under test handed to MessageBoxW.
struct CallRecord {
    int calls = 0;
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT style = 0;
    bool textWasNull = false;
    SIZE_T textBlockSize = 0;    // GlobalSize of the text's block (bytes); 0 when it is no global block
    const void* textAddress = nullptr;
};

// Routes this program's MessageBoxW import through the recorder; once per process.
bool InstallRecorder();
// The record of the last call, and forgetting it.
CallRecord LastCall();
void ResetCalls();

// Starts watching for the next box of this process; Finish() waits for the watcher.
class BoxWatcher {
public:
    explicit BoxWatcher(Answer answer);
    ~BoxWatcher();
    // Joins the watcher and gives what it saw.
    SeenBox Finish();

private:
    void Run();
    Answer answer_;
    SeenBox seen_;
    std::thread thread_;
};

// The icon a box shows: the one static control with SS_ICON among its children.
HICON BoxIcon(HWND box);

// A kind of box: its caption, the style it is asked for, its buttons in control order and the
// system icon it shows.
struct BoxKind {
    const wchar_t* caption;
    UINT style;
    std::vector<int> buttons;
    LPCSTR icon;
};
extern const BoxKind kQuestionBox, kInfoBox, kErrorBox;

// Whether a box came, and both what it showed and what MessageBoxW was handed are of that kind;
// the caller asserts the result, so that a failure names the caller's line and the difference.
::testing::AssertionResult IsBox(const BoxKind& kind, const SeenBox& seen, const CallRecord& call);

}  // namespace prompts_test
