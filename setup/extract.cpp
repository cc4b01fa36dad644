// Writing the screen-saver file out of the setup's own buffer into the system directory.
#include "setup/extract.h"

#include "setup/package.h"
#include "setup/state.h"
#include "support/paths.h"

// saverTitle = the file name of saverPath without its extension (a.b.scr gives a.b).
static void CutSaverTitle()
{
    lstrcpyA(g_state.saverTitle, GetFileNamePart(g_state.saverPath));
    char* extension = GetExtensionPart(g_state.saverTitle);
    if (*extension != '\0')
        extension[-1] = '\0';
}

// One write of the whole payload; a failed or short write deletes what was written.
static int WriteSaverFile(const BYTE* data, DWORD length)
{
    HANDLE file = CreateFileA(g_state.saverPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, length, &written, nullptr);
    CloseHandle(file);
    if (!ok || written != length) {
        DeleteFileA(g_state.saverPath);
        return 0;
    }
    return 1;
}

int ExtractSaver(const BYTE* buffer, DWORD length, const BYTE** payload, DWORD* payloadLength)
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
    return WriteSaverFile(*payload, *payloadLength);
}
