// The installation's shared steps and the removal of an installed saver.
#include "setup/install.h"

#include "resources/resource.h"
#include "screen/prompts.h"
#include "setup/extract.h"
#include "setup/package.h"
#include "setup/register.h"
#include "support/paths.h"
#include "support/state.h"

int CompleteInstallation()
{
    char path[MAX_PATH];
    GetUnredirectedPath(g_state.saverPath, path);
    int registered = RegisterScreenSaver(path);
    DropPreviousSaver();
    return registered ? kInstalled : kNotRegistered;
}

int InstallSilently(const BYTE* buffer, DWORD length)
{
    const BYTE* payload = nullptr;
    DWORD payloadLength = 0;
    const unsigned char* logo = nullptr;
    uint32_t logoLength = 0;
    // The data block is judged before anything is written: a package that can't be used
    // changes nothing.
    if (!LocateSaver(buffer, length, &payload, &payloadLength) || !FindLogo(payload, payloadLength, &logo, &logoLength))
        return kUnusablePackage;
    if (!WriteNewSaver(payload, payloadLength))
        return kNotWritten;
    return CompleteInstallation();
}

// Whether the file at path is this package's saver, which holds exactly the length bytes at
// data (read to its end, nothing more and nothing different): kRemoved when it is;
// kNothingToRemove when there is no such file or it holds other bytes; kNotRemoved when it
// can't be read, or not to its end (held open for writing, a byte range another program
// locked, access denied), for it may be this saver, and it can't be removed now either.
// *attributes receives the file's attributes. (Wine lets a read pass through another
// process's byte-range lock.)
static int CompareInstalled(const char* path, const BYTE* data, DWORD length, DWORD* attributes)
{
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(path, &found) || found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return kNothingToRemove;
    *attributes = found.dwFileAttributes;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kNotRemoved;
    BYTE chunk[2048];
    DWORD at = 0, read = 0;
    int same = 1, readable = 1;
    while (same && (readable = ReadFile(file, chunk, sizeof chunk, &read, nullptr)) && read != 0) {
        same = read <= length - at;
        for (DWORD i = 0; same && i < read; ++i)
            same = chunk[i] == data[at + i];
        at += read;
    }
    CloseHandle(file);
    if (!readable)
        return kNotRemoved;
    return same && at == length ? kRemoved : kNothingToRemove;
}

// The installed saver and the entries that name it go. A read-only saver goes too, as the
// installation replaces one; when the file stays (it is running, the preview holds it, the
// rights are missing), everything stays as it was, its attributes included. kEntryNotRemoved
// when the file went but an entry naming it stays.
static int DeleteInstalledSaver(DWORD attributes)
{
    int entries = FindSaverEntries(g_state.saverPath);
    SetFileAttributesA(g_state.saverPath, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(g_state.saverPath)) {
        SetFileAttributesA(g_state.saverPath, attributes);
        return kNotRemoved;
    }
    return RemoveSaverEntries(entries) ? kRemoved : kEntryNotRemoved;
}

int RemoveInstalledSaver(const BYTE* buffer, DWORD length, int silent)
{
    const BYTE* payload = nullptr;
    DWORD payloadLength = 0;
    if (!LocateSaver(buffer, length, &payload, &payloadLength))
        return kUnusablePackage;
    // A file of that name with other bytes is some other saver: it is not this package's to take.
    DWORD attributes = 0;
    int result = CompareInstalled(g_state.saverPath, payload, payloadLength, &attributes);
    if (result == kRemoved) {
        if (!silent && !AskYesNoTitled(nullptr, IDS_REMOVE_QUESTION))
            return kNothingToRemove;
        result = DeleteInstalledSaver(attributes);
    }
    if (silent)
        return result;
    if (result == kNotRemoved)
        ShowErrorTitled(nullptr, IDS_SAVER_NOT_REMOVED);
    else
        ShowInfoTitled(nullptr, result == kNothingToRemove ? IDS_SAVER_NOT_INSTALLED : IDS_SAVER_REMOVED);
    return result;
}
