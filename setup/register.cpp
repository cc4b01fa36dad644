// Registration of the screen saver: the two places where Windows keeps the user's choice,
// "system.ini" for programs that still read it and the per-user registry. Both hold the
// file's short (8.3) path, which needs no quotes however long or blank-filled the real
// names are.
#include "setup/register.h"

#include "support/paths.h"

static const char kSaverKey[] = "SCRNSAVE.EXE";
static const char kDesktopKey[] = "Control Panel\\Desktop";

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
    HKEY desktopKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_WRITE, &desktopKey) != ERROR_SUCCESS)
        return 0;
    // The terminating NUL is part of the stored string.
    LONG result = RegSetValueExA(desktopKey, kSaverKey, 0, REG_SZ, reinterpret_cast<const BYTE*>(shortPath),
                                 static_cast<DWORD>(lstrlenA(shortPath)) + 1);
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

// The registry's value into value (MAX_PATH bytes); "" when there is none, or none that is
// a string of a path's length.
static void ReadRegistrySaver(char* value)
{
    value[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0, size = MAX_PATH - 1;  // room for a NUL the stored string may lack
    if (RegQueryValueExA(key, kSaverKey, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        size = 0;
    value[size] = '\0';
    RegCloseKey(key);
}

// 1 when a and b are the same path to the file system: letters compared without regard to
// case, double-byte characters byte for byte. lstrcmpiA would compare by the user's locale.
static int SamePath(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (IsAnsiLeadByte(x)) {
            if (x != y || a[1] != b[1])
                return 0;
            if (a[1] == '\0')
                return 1;
            ++a, ++b;
            continue;
        }
        if (static_cast<unsigned>(x - 'a') < 26)
            x -= 'a' - 'A';
        if (static_cast<unsigned>(y - 'a') < 26)
            y -= 'a' - 'A';
        if (x != y)
            return 0;
        if (x == '\0')
            return 1;
    }
}

// 1 when entry names the file whose short forms are given. Under its unredirected name it is
// this file. Under the name the setup knows it by it is this file only where that name leads
// the programs that start savers to no other: a 32-bit setup's system32 path in an entry may
// name a 64-bit saver of the same name in the real system32, which is not this package's.
static int NamesSaver(const char* entry, const char* shortPath, const char* shortUnredirected)
{
    char shortEntry[MAX_PATH];
    if (!GetShortSaverPath(entry, shortEntry))
        return 0;
    return SamePath(shortEntry, shortUnredirected) ||
           (SamePath(shortEntry, shortPath) && !NamesAnotherFileForNativePrograms(entry));
}

int FindSaverEntries(const char* path)
{
    char unredirected[MAX_PATH], shortPath[MAX_PATH], shortUnredirected[MAX_PATH], entry[MAX_PATH];
    GetUnredirectedPath(path, unredirected);
    if (!GetShortSaverPath(path, shortPath) || !GetShortSaverPath(unredirected, shortUnredirected))
        return 0;
    GetPrivateProfileStringA("boot", kSaverKey, "", entry, MAX_PATH, "system.ini");
    int entries = NamesSaver(entry, shortPath, shortUnredirected) ? kIniEntry : 0;
    ReadRegistrySaver(entry);
    return entries | (NamesSaver(entry, shortPath, shortUnredirected) ? kRegistryEntry : 0);
}

int RemoveSaverEntries(int entries)
{
    int removed = 1;
    if (entries & kIniEntry)
        removed = WritePrivateProfileStringA("boot", kSaverKey, nullptr, "system.ini");
    if (!(entries & kRegistryEntry))
        return removed;
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(key, kSaverKey);
        RegCloseKey(key);
    }
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE);
    return removed && result == ERROR_SUCCESS;
}
