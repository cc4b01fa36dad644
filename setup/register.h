// Making the extracted file the user's current screen saver.
#pragma once
#include <windows.h>

// Switches screen saving on and names the file at path (its short form) in system.ini
// [boot] SCRNSAVE.EXE and in HKCU\Control Panel\Desktop SCRNSAVE.EXE. 1 exactly when the
// registry value was written; nothing at all happens when the path has no short form
// because the file can't be found.
int RegisterScreenSaver(const char* path);
