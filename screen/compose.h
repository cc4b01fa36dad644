// The setup screen: the blue gradient, the two-line title, the logo and the progress bar,
// and the two fonts they are drawn with (owned by the window from creation to destruction).
#pragma once
#include <windows.h>

// Modes of PaintSetupScreen: the whole screen through an off-screen buffer, or only the
// progress bar straight onto the given context (every value but kPaintFull means the latter).
enum { kPaintFull = 0, kPaintProgressOnly = 1 };

// Cell height of the title font on a 96-DPI screen of the given width (in 96-DPI units): the
// smaller size up to 1024 pixels wide, the larger above.
int GetTitleFontHeight(int screenWidth);

// Makes g_state.titleFont and g_state.percentFont (null where a font can't be made).
void CreateSetupFonts();
// Deletes whichever of the two fonts exists, and the logo's shown part that the first full
// paint made for the window.
void DeleteSetupFonts();
// Draws the screen into `dc` (owned by the caller); the geometry comes from the window's
// client rectangle.
void PaintSetupScreen(HWND window, HDC dc, int mode);
