// The window procedure of the full-screen setup window (class "SetupWClass").
#pragma once
#include <windows.h>

LRESULT CALLBACK SetupWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
