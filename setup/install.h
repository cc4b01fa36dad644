// The installation's steps that the setup window and the silent run share, and the removal of
// an installed saver. The silent runs (the /S switch) report how they ended in the exit code;
// an interactive run ends with 0 whatever happened.
#pragma once
#include <windows.h>

enum SetupResult {
    kInstalled = 0,        // installed and registered
    kRemoved = 0,          // a removal: the saver and the entries that named it are gone
    kNotRegistered = 1,    // installed, but the registration failed: the file stays
    kUnusablePackage = 2,  // no payload, a damaged data block, a refused name
    kNotWritten = 3,       // the saver could not be written: a previous saver is back, or back at the next restart
    kSetupRunning = 4,     // another setup is running on this machine
    kNothingToRemove = 5,  // this package's saver is not installed
    kNotRemoved = 6,       // the saver could not be removed, or not even read to compare
    kEntryNotRemoved = 7,  // the saver is removed, but an entry naming it could not be deleted
};

// The last step of an installation, once the user or the switch has said yes: the saver
// becomes the current one, and the copy of a saver it replaced is let go. From here on
// nothing is rolled back. kInstalled or kNotRegistered.
int CompleteInstallation();
// The whole installation from the setup's own bytes, with no window and no box.
int InstallSilently(const BYTE* buffer, DWORD length);
// Removal of the saver the setup's own bytes carry: the file in the system directory under
// its name, only when it holds exactly those bytes, and the entries that name it. Unless
// silent, the user is asked first and told after, or told that there is nothing to remove.
int RemoveInstalledSaver(const BYTE* buffer, DWORD length, int silent);
