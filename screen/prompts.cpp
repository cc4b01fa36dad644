// The message boxes of the setup and the texts they show: the five string resources are
// loaded from the program's own module, the three captions stand here in code page 932.
// Every box comes to the foreground; the question boxes offer Yes and No only.
#include "screen/prompts.h"

#include "setup/state.h"
#include "support/memblock.h"

// "質問" (question)
static const char kQuestionCaption[] = "\x8E\xBF\x96\xE2";
// "情報" (information)
static const char kInfoCaption[] = "\x8F\xEE\x95\xF1";
// "エラー" (error)
static const char kErrorCaption[] = "\x83\x47\x83\x89\x81\x5B";

static const UINT kQuestionStyle = MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND;  // 0x10024
static const UINT kInfoStyle = MB_ICONINFORMATION | MB_SETFOREGROUND;              // 0x10040
static const UINT kErrorStyle = MB_ICONERROR | MB_SETFOREGROUND;                   // 0x10010

// Room the joined block keeps beyond the three texts.
static const DWORD kJoinSlack = 64;

// The module that holds the texts. The low-colour refusal comes before start-up has stored
// the instance; the program's own module is the same one then.
static HINSTANCE TextModule()
{
    return g_state.instance ? g_state.instance : GetModuleHandleA(nullptr);
}

char* LoadText(UINT id, char* buffer)
{
    LoadStringA(TextModule(), id, buffer, kTextBufferSize);
    return buffer;
}

int AskYesNoText(HWND owner, UINT id)
{
    char text[kTextBufferSize] = {};
    LoadText(id, text);
    return MessageBoxA(owner, text, kQuestionCaption, kQuestionStyle) == IDYES;
}

void ShowErrorText(HWND owner, UINT id)
{
    char text[kTextBufferSize] = {};
    LoadText(id, text);
    MessageBoxA(owner, text, kErrorCaption, kErrorStyle);
}

static DWORD TextLength(const char* text)
{
    return text ? static_cast<DWORD>(lstrlenA(text)) : 0;
}

static void AppendText(char* block, const char* text)
{
    if (text && text[0] != '\0')
        lstrcatA(block, text);
}

// The three texts one after the other, nothing between them, in a zero-filled fixed block
// that the caller frees with FreePtr; null when the block can't be had (no length may wrap).
static char* JoinTexts(const char* text1, const char* text2, const char* text3)
{
    DWORD length1 = TextLength(text1), length2 = TextLength(text2), length3 = TextLength(text3);
    DWORD limit = MAXDWORD - kJoinSlack;
    if (length1 > limit || length2 > limit - length1 || length3 > limit - length1 - length2)
        return nullptr;
    char* block = static_cast<char*>(AllocPtr(length1 + length2 + length3 + kJoinSlack));
    if (!block)
        return nullptr;
    AppendText(block, text1);
    AppendText(block, text2);
    AppendText(block, text3);
    return block;
}

// Shows the joined texts with caption and style and answers the box's result. Without a
// block the box still comes, empty, so that the question is never answered for the user.
static int ShowJoined(HWND owner, const char* text1, const char* text2, const char* text3, const char* caption,
                      UINT style)
{
    char* block = JoinTexts(text1, text2, text3);
    int answer = MessageBoxA(owner, block ? block : "", caption, style);
    void* release = block;
    if (release)
        FreePtr(&release);
    return answer;
}

int AskYesNoMessage(HWND owner, const char* text1, const char* text2, const char* text3)
{
    return ShowJoined(owner, text1, text2, text3, kQuestionCaption, kQuestionStyle) == IDYES;
}

void ShowInfoMessage(HWND owner, const char* text1, const char* text2, const char* text3)
{
    ShowJoined(owner, text1, text2, text3, kInfoCaption, kInfoStyle);
}

void ShowErrorMessage(HWND owner, const char* text1, const char* text2, const char* text3)
{
    ShowJoined(owner, text1, text2, text3, kErrorCaption, kErrorStyle);
}
