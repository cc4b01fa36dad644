// Writing the screen-saver file out of the setup's own buffer into the system directory,
// and undoing that when the setup ends without the new saver.
#include "setup/extract.h"

#include "setup/package.h"
#include "support/paths.h"
#include "support/state.h"
#include "support/tempname.h"

// saverTitle = the file name of saverPath without its extension (a.b.scr gives a.b).
static void CutSaverTitle()
{
    lstrcpyA(g_state.saverTitle, GetFileNamePart(g_state.saverPath));
    char* extension = GetExtensionPart(g_state.saverTitle);
    if (*extension != '\0')
        extension[-1] = '\0';
}

// path moves to a free temporary name (<time stamp>.TMP) in its own directory, the system
// directory; aside receives that name, or "" when the file stays where it is. 1 when moved.
// A file in use (a running saver, the settings dialog's preview) can be renamed though it
// can't be deleted.
static int MoveAside(const char* path, char* aside)
{
    char directory[MAX_PATH];
    lstrcpyA(directory, path);
    GetFileNamePart(directory)[-1] = '\0';  // the backslash in front of the file's name
    MakeUniqueTempName(directory, aside);
    if (aside[0] != '\0' && MoveFileExA(path, aside, 0))
        return 1;
    aside[0] = '\0';
    return 0;
}

// A file already under saverPath is moved aside, where it waits to be given back or deleted.
// 1 when there was none or it was moved; 0 when the name is a directory or the move failed:
// then nothing may be written.
static int SetPreviousSaverAside()
{
    g_state.previousSaverPath[0] = '\0';
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(g_state.saverPath, &found))
        return 1;
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           MoveAside(g_state.saverPath, g_state.previousSaverPath);
}

// The set-aside saver takes its name back (none set aside: nothing happens).
static void PutPreviousSaverBack()
{
    if (g_state.previousSaverPath[0] == '\0')
        return;
    if (MoveFileExA(g_state.previousSaverPath, g_state.saverPath, 0))
        g_state.previousSaverPath[0] = '\0';
}

// One write of the whole payload; a failed or short write deletes what was written.
static int WriteSaverFile(const BYTE* data, DWORD length)
{
    HANDLE file = CreateFileA(g_state.saverPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        PutPreviousSaverBack();
        return 0;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, length, &written, nullptr);
    CloseHandle(file);
    if (!ok || written != length) {
        RemoveNewSaver();
        return 0;
    }
    return 1;
}

int LocateSaver(const BYTE* buffer, DWORD length, const BYTE** payload, DWORD* payloadLength)
{
    size_t boundary = 0, payloadAt = 0, payloadEnd = 0;
    if (!LocatePayload(buffer, length, &boundary, &payloadAt, &payloadEnd))
        return 0;

    char systemDir[MAX_PATH];
    UINT dirLength = GetSystemDirectoryA(systemDir, MAX_PATH);
    if (dirLength == 0 || dirLength >= MAX_PATH)
        return 0;
    // The name is judged with the same code page that CreateFileA will use, so that no
    // package can name a file outside the system directory.
    const BYTE* field = buffer + boundary + kBoundaryLength;
    if (CheckSaverName(field, dirLength, IsAnsiLeadByte) != kNameAccepted)
        return 0;

    lstrcpyA(g_state.saverPath, systemDir);
    if (!AppendPathPart(g_state.saverPath, reinterpret_cast<const char*>(field)))
        return 0;
    CutSaverTitle();

    *payload = buffer + payloadAt;
    *payloadLength = static_cast<DWORD>(payloadEnd - payloadAt);
    return 1;
}

int WriteNewSaver(const BYTE* payload, DWORD payloadLength)
{
    return SetPreviousSaverAside() && WriteSaverFile(payload, payloadLength);
}

int ExtractSaver(const BYTE* buffer, DWORD length, const BYTE** payload, DWORD* payloadLength)
{
    return LocateSaver(buffer, length, payload, payloadLength) && WriteNewSaver(*payload, *payloadLength);
}

// Deletes the file at path; one that is in use is booked to go at the next restart instead,
// under the name the system's own (64-bit) start-up finds it by.
static void DeleteNowOrAtRestart(const char* path)
{
    // A read-only file could be moved aside but not deleted as it stands.
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path))
        return;
    char unredirected[MAX_PATH];
    GetUnredirectedPath(path, unredirected);
    MoveFileExA(unredirected, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// The new saver leaves its name: deleted, or, when it is in use (the settings dialog's preview
// runs it, a scanner reads it), renamed and booked to go at the next restart. 1 when the name
// is free.
static int FreeSaverName()
{
    if (DeleteFileA(g_state.saverPath) || GetLastError() == ERROR_FILE_NOT_FOUND)
        return 1;
    char aside[MAX_PATH];
    if (!MoveAside(g_state.saverPath, aside))
        return 0;
    DeleteNowOrAtRestart(aside);
    return 1;
}

// A reader that shares no delete access (an indexer, a backup agent, a scanner) blocks the
// rename too; such readers let go within moments, so the name is tried for up to two seconds.
enum { kFreeNameTries = 20, kFreeNameWaitMs = 100 };

void RemoveNewSaver()
{
    int tries = 1;
    while (!FreeSaverName()) {
        if (tries++ == kFreeNameTries) {
            // Still held: at the next restart the declined saver's name goes first, then the
            // earlier saver takes it back, byte for byte. Both under the names the system's
            // own (64-bit) start-up finds them by.
            char saver[MAX_PATH], previous[MAX_PATH];
            GetUnredirectedPath(g_state.saverPath, saver);
            MoveFileExA(saver, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            if (g_state.previousSaverPath[0] != '\0') {
                GetUnredirectedPath(g_state.previousSaverPath, previous);
                MoveFileExA(previous, saver, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
            }
            // Booked: nothing is to be put back now.
            g_state.previousSaverPath[0] = '\0';
            return;
        }
        Sleep(kFreeNameWaitMs);
    }
    PutPreviousSaverBack();
}

void RestorePreviousSaver()
{
    if (g_state.previousSaverPath[0] != '\0')
        RemoveNewSaver();
}

void DropPreviousSaver()
{
    if (g_state.previousSaverPath[0] == '\0')
        return;
    // A saver that is running (the saver itself, or the settings dialog's preview) can't be
    // deleted: its copy goes at the next restart instead.
    DeleteNowOrAtRestart(g_state.previousSaverPath);
    // The installation is decided: whatever happens to the copy, nothing puts it back.
    g_state.previousSaverPath[0] = '\0';
}
