// Registration of the screen saver: the two places where Windows keeps the user's choice,
// "system.ini" for programs that still read it and the per-user registry. Both hold the
// file's short (8.3) path, which needs no quotes however long or blank-filled the real
// names are.
#include "setup/register.h"

static const char kSaverKey[] = "SCRNSAVE.EXE";

// The short form of path into shortPath (MAX_PATH bytes): what the platform answers, which
// is the path itself where the volume keeps no short names. 0 when the file can't be found
// or the answer would not fit; then there is nothing worth naming.
static int GetShortSaverPath(const char* path, char* shortPath)
{
    DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
    return length != 0 && length < MAX_PATH;
}

// Writes the value into HKCU\Control Panel\Desktop. The keys are opened, never created: a
// profile without them is left as it is.
static int WriteRegistrySaver(const char* shortPath)
{
    HKEY panelKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel", 0, KEY_WRITE, &panelKey) != ERROR_SUCCESS)
        return 0;
    HKEY desktopKey;
    if (RegOpenKeyExA(panelKey, "Desktop", 0, KEY_WRITE, &desktopKey) != ERROR_SUCCESS) {
        RegCloseKey(panelKey);
        return 0;
    }
    // The terminating NUL is part of the stored string.
    LONG result = RegSetValueExA(desktopKey, kSaverKey, 0, REG_SZ, reinterpret_cast<const BYTE*>(shortPath),
                                 static_cast<DWORD>(lstrlenA(shortPath)) + 1);
    RegCloseKey(panelKey);
    RegCloseKey(desktopKey);
    return result == ERROR_SUCCESS;
}

int RegisterScreenSaver(const char* path)
{
    char shortPath[MAX_PATH] = {};
    if (!GetShortSaverPath(path, shortPath))
        return 0;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE);
    WritePrivateProfileStringA("boot", kSaverKey, shortPath, "system.ini");
    return WriteRegistrySaver(shortPath);
}
