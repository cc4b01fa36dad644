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

// 1 when the file at path holds exactly the length bytes at data: read to its end, nothing
// more and nothing different.
static int HoldsBytes(const char* path, const BYTE* data, DWORD length)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BYTE chunk[2048];
    DWORD at = 0, read = 0;
    int same = 1;
    while (same && ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read != 0) {
        same = read <= length - at;
        for (DWORD i = 0; same && i < read; ++i)
            same = chunk[i] == data[at + i];
        at += read;
    }
    CloseHandle(file);
    return same && at == length;
}

int RemoveInstalledSaver(const BYTE* buffer, DWORD length, int silent)
{
    const BYTE* payload = nullptr;
    DWORD payloadLength = 0;
    if (!LocateSaver(buffer, length, &payload, &payloadLength))
        return kUnusablePackage;
    // A file of that name with other bytes is some other saver: it is not this package's to take.
    if (!HoldsBytes(g_state.saverPath, payload, payloadLength))
        return kNothingToRemove;
    if (!silent && !AskYesNoTitled(nullptr, IDS_REMOVE_QUESTION))
        return kNothingToRemove;
    int entries = FindSaverEntries(g_state.saverPath);
    if (!DeleteFileA(g_state.saverPath))
        return kNotRemoved;
    RemoveSaverEntries(entries);
    if (!silent)
        ShowInfoTitled(nullptr, IDS_SAVER_REMOVED);
    return kRemoved;
}
