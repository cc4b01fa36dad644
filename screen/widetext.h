// The setup's texts become UTF-16 right where they are shown, so that they read the same on
// every system: the program's own texts are code page 932 bytes whatever the system's code
// page is, while file names (the saver's title) are in the system's ANSI code page.
#pragma once
#include <windows.h>

enum { kTextCodePage = 932 };

// Converts the NUL-terminated text of codePage into wide (capacity WCHARs, always
// terminated). Returns the number of WCHARs before the NUL; 0, with wide holding "", when the
// text is empty or does not convert or fit.
int WidenText(UINT codePage, const char* text, WCHAR* wide, int capacity);
