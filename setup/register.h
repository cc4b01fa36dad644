// Making the extracted file the user's current screen saver.
#pragma once
#include <windows.h>

// Switches screen saving on and names the file at path (its short form) in system.ini
// [boot] SCRNSAVE.EXE and in HKCU\Control Panel\Desktop SCRNSAVE.EXE. 1 exactly when the
// registry value was written; nothing at all happens when the path has no short form
// because the file can't be found.
int RegisterScreenSaver(const char* path);

// The entries that name the file at path: kIniEntry for system.ini [boot] SCRNSAVE.EXE,
// kRegistryEntry for HKCU\Control Panel\Desktop SCRNSAVE.EXE. An entry names the file when
// its short form is that of path or of path's unredirected name, whichever form it was
// written in; so it is asked while the file is still there.
enum { kIniEntry = 1, kRegistryEntry = 2 };
int FindSaverEntries(const char* path);
// The entries go, and screen saving is switched off, as the platform's settings dialog
// leaves them when the user chooses no screen saver. 1 when every entry given went.
int RemoveSaverEntries(int entries);
