// Program entry, start-up and the message loop.
#pragma once
#include <windows.h>

// The program entry: start-up, then the message loop until the setup window is gone.
int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
// 1 when the setup window stands and the loop is to run; 0 when start-up ended.
int InitSetup(HINSTANCE instance, int showCommand);
// 1 when the desktop shows 256 colours or fewer.
int IsLowColorDisplay();
// The setup's own directory and file path (both 260-byte buffers) from the command line
// commandLine; falls back to the module's own file name when the command line names no
// directory. 0 when no usable path results.
int GetSetupFilePath(const char* commandLine, char* setupDir, char* path);
