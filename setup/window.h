// The window procedure of the full-screen setup window (class "SetupWClass"): after start-up
// it is the whole installation.
#pragma once
#include <windows.h>

LRESULT CALLBACK SetupWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
