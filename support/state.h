// The one process-wide state record of the setup. Start-up fills it, the window procedure
// and the screen drawing read and update it; nothing else holds state. It stands on the
// ground floor, so that the screen (title, logo, progress, fonts) and the boxes (the text
// module, the saver's title) read it without reaching up into setup/.
#pragma once
#include <windows.h>

struct SetupState {
    HINSTANCE instance;        // own module: icon and string resources come from it
    char tempDir[MAX_PATH];    // the user's temporary directory, as the platform gives it
    char setupDir[MAX_PATH];   // directory of the setup's own file
    char saverPath[MAX_PATH];  // extracted screen-saver file: system directory + name from the package
    char saverTitle[MAX_PATH]; // file-name part of saverPath without its extension
    char previousSaverPath[MAX_PATH]; // set-aside copy of the saver that had the same name; empty when none
    HCURSOR savedCursor;       // cursor that was current before the wait cursor
    HBITMAP logoBitmap;        // logo made at start-up; null when the package carries none
    HBITMAP shownLogo;         // the logo's part on the screen, at its scale: first full paint to the fonts' deletion
    HFONT titleFont;           // window lifetime; null when it could not be made
    HFONT percentFont;         // window lifetime; null when it could not be made
    int dpi;                   // system DPI, 96 at least; read with the fonts, scales the screen
    UINT_PTR timerId;          // running progress timer, 0 while none runs
    LONG progress;             // percent, 0 to 100; 0 also means "not yet confirmed"
    BOOL decided;              // the installation's outcome is fixed: no answer or session end acts any more
    UINT32 stepState;          // progress step generator: 1 from RunSetup on, never reseeded
};

extern SetupState g_state;
