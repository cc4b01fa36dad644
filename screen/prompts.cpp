// The message boxes of the setup and the texts they show: the five string resources are loaded
// from the program's own module, the three captions stand here in code page 932. Every box
// comes to the foreground; the question boxes offer Yes and No only. Whatever the system's
// code page, the texts reach the boxes in UTF-16: the resources through LoadStringW, the
// code page 932 texts converted from that code page, the saver's title from the ANSI one.
#include "screen/prompts.h"

#include "screen/widetext.h"
#include "support/memblock.h"
#include "support/state.h"

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

// The box with a UTF-16 text and a code page 932 caption; its answer.
static int ShowWideBox(HWND owner, const WCHAR* text, const char* caption, UINT style)
{
    WCHAR wideCaption[32];
    WidenText(kTextCodePage, caption, wideCaption, 32);
    return MessageBoxW(owner, text, wideCaption, style);
}

// Resource text id in UTF-16 into text (kTextBufferSize WCHARs); "" when it is missing.
static void LoadWideText(UINT id, WCHAR* text)
{
    text[0] = L'\0';
    if (LoadStringW(TextModule(), id, text, kTextBufferSize) <= 0)
        text[0] = L'\0';
}

// The texts are code page 932 bytes in the program whatever the system's code page: loaded in
// UTF-16 and converted to that code page, never through the system's own.
char* LoadText(UINT id, char* buffer)
{
    WCHAR text[kTextBufferSize];
    LoadWideText(id, text);
    buffer[0] = '\0';
    int length = WideCharToMultiByte(kTextCodePage, 0, text, -1, buffer, kTextBufferSize, nullptr, nullptr);
    if (length <= 0)
        buffer[0] = '\0';
    return buffer;
}

int AskYesNoText(HWND owner, UINT id)
{
    WCHAR text[kTextBufferSize];
    LoadWideText(id, text);
    return ShowWideBox(owner, text, kQuestionCaption, kQuestionStyle) == IDYES;
}

void ShowErrorText(HWND owner, UINT id)
{
    WCHAR text[kTextBufferSize];
    LoadWideText(id, text);
    ShowWideBox(owner, text, kErrorCaption, kErrorStyle);
}

// Text id with the saver's title for its %s, formatted in UTF-16: wsprintfW writes at most
// 1024 WCHARs, the size of the buffer.
static int ShowTitledBox(HWND owner, UINT id, const char* caption, UINT style)
{
    WCHAR format[kTextBufferSize];
    WCHAR title[MAX_PATH];
    WCHAR text[1024];
    LoadWideText(id, format);
    WidenText(CP_ACP, g_state.saverTitle, title, MAX_PATH);
    wsprintfW(text, format, title);
    return ShowWideBox(owner, text, caption, style);
}

int AskYesNoTitled(HWND owner, UINT id)
{
    return ShowTitledBox(owner, id, kQuestionCaption, kQuestionStyle) == IDYES;
}

void ShowInfoTitled(HWND owner, UINT id)
{
    ShowTitledBox(owner, id, kInfoCaption, kInfoStyle);
}

void ShowErrorTitled(HWND owner, UINT id)
{
    ShowTitledBox(owner, id, kErrorCaption, kErrorStyle);
}

static DWORD TextLength(const char* text)
{
    return text ? static_cast<DWORD>(lstrlenA(text)) : 0;
}

// Appends the code page 932 text to the UTF-16 text in block, which has room for `room`
// WCHARs in all; every byte of the text gives at most one WCHAR.
static void AppendText(WCHAR* block, DWORD room, const char* text)
{
    if (!text || text[0] == '\0')
        return;
    int used = lstrlenW(block);
    WidenText(kTextCodePage, text, block + used, static_cast<int>(room) - used);
}

// The three texts one after the other, nothing between them, in UTF-16 in a zero-filled fixed
// block that the caller frees with FreePtr; null when the block can't be had (no length may
// wrap). The block holds one WCHAR for every byte of the texts, and some room besides.
static WCHAR* JoinTexts(const char* text1, const char* text2, const char* text3)
{
    DWORD length1 = TextLength(text1), length2 = TextLength(text2), length3 = TextLength(text3);
    DWORD limit = MAXDWORD / sizeof(WCHAR) - kJoinSlack;
    if (length1 > limit || length2 > limit - length1 || length3 > limit - length1 - length2)
        return nullptr;
    DWORD room = length1 + length2 + length3 + kJoinSlack;
    WCHAR* block = static_cast<WCHAR*>(AllocPtr(room * sizeof(WCHAR)));
    if (!block)
        return nullptr;
    AppendText(block, room, text1);
    AppendText(block, room, text2);
    AppendText(block, room, text3);
    return block;
}

// Shows the joined texts with caption and style and answers the box's result. Without a
// block the box still comes, empty, so that the question is never answered for the user.
static int ShowJoined(HWND owner, const char* text1, const char* text2, const char* text3, const char* caption,
                      UINT style)
{
    WCHAR* block = JoinTexts(text1, text2, text3);
    int answer = ShowWideBox(owner, block ? block : L"", caption, style);
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
