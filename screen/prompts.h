// The message boxes of the setup and the texts they show. Every box gets its text in UTF-16,
// so that it reads the same whatever the system's code page.
#pragma once
#include <windows.h>

enum { kTextBufferSize = 512 };

// The boxes the installation shows, each of a text id (resources/resource.h) loaded in UTF-16:
// Question box with text id; 1 exactly when the answer is Yes.
int AskYesNoText(HWND owner, UINT id);
// Error box with text id.
void ShowErrorText(HWND owner, UINT id);
// Boxes with text id formatted with the saver's title for its %s (question: 1 exactly on Yes).
int AskYesNoTitled(HWND owner, UINT id);
void ShowInfoTitled(HWND owner, UINT id);
void ShowErrorTitled(HWND owner, UINT id);

// What remains for the library's callers that hand in, or want, code page 932 texts; the
// installation uses none of it, and SETUP.exe's link leaves it out.
// Loads string resource id into buffer (512 bytes) as code page 932 text; returns buffer.
char* LoadText(UINT id, char* buffer);
// Question box with the three texts joined (null texts count as empty); 1 exactly on Yes.
int AskYesNoMessage(HWND owner, const char* text1, const char* text2, const char* text3);
// Information box with the three texts joined.
void ShowInfoMessage(HWND owner, const char* text1, const char* text2, const char* text3);
// Error box with the three texts joined.
void ShowErrorMessage(HWND owner, const char* text1, const char* text2, const char* text3);
