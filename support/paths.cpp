// The Win32 side of the path utilities: the ANSI code page's lead-byte test for the scans,
// and the lookups that ask the file system.
#include "support/paths.h"

#include "support/pathscan.h"

int IsAnsiLeadByte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) ? 1 : 0;
}

char* GetFileNamePart(char* path)
{
    return ScanFileNamePart(path, IsAnsiLeadByte);
}

char* GetExtensionPart(char* path)
{
    return ScanExtensionPart(path, IsAnsiLeadByte);
}

int SetExtension(char* path, const char* extension)
{
    return ScanSetExtension(path, extension, IsAnsiLeadByte);
}

int AppendPathPart(char* path, const char* part)
{
    return ScanAppendPathPart(path, part, IsAnsiLeadByte);
}

int FindFirstEntry(const char* path, WIN32_FIND_DATAA* found)
{
    HANDLE find = FindFirstFileA(path, found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(find);
    return 1;
}

int PathExists(const char* path)
{
    if (lstrlenA(path) == 3 && path[1] == ':' && path[2] == '\\') {
        if (GetDriveTypeA(path) != DRIVE_UNKNOWN)
            return 1;
    }
    char copy[MAX_PATH];
    int length = lstrlenA(path);
    if (length >= MAX_PATH)
        return 0;  // a longer path cannot name anything this program wrote
    lstrcpynA(copy, path, MAX_PATH);
    // A directory is found only without its trailing backslash; a final 0x5C that is the
    // second byte of a double-byte character belongs to the name and stays.
    if (length > 1 && EndsInSeparator(copy, IsAnsiLeadByte))
        copy[length - 1] = '\0';

    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    WIN32_FIND_DATAA found;
    int exists = FindFirstEntry(copy, &found);
    SetErrorMode(previousMode);
    return exists;
}

DWORD GetFileLength(const char* path)
{
    WIN32_FIND_DATAA found;
    if (!FindFirstEntry(path, &found))
        return 0;
    return found.nFileSizeLow;
}

void EnsureTempDirectory(char* buffer)
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return;  // no usable temporary directory: the buffer stays as it was
    lstrcpyA(buffer, temp);
    if (!PathExists(buffer)) {
        SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
        CreateDirectoryA(buffer, &security);
    }
}

FARPROC GetKernelFunction(const char* name)
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.dll");
    return kernel ? GetProcAddress(kernel, name) : nullptr;
}

// A 64-bit process is never redirected: only the 32-bit setup asks.
#ifndef _WIN64
typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE process, PBOOL wow64);
typedef UINT(WINAPI* GetSystemWow64DirectoryFunction)(LPSTR buffer, UINT size);

static int IsWow64()
{
    IsWow64ProcessFunction isWow64 =
        reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(GetKernelFunction("IsWow64Process")));
    BOOL wow64 = FALSE;
    // The process's own pseudo handle, the constant that GetCurrentProcess answers.
    return isWow64 && isWow64(reinterpret_cast<HANDLE>(-1), &wow64) && wow64;
}

void GetUnredirectedPath(const char* path, char* unredirected)
{
    lstrcpyA(unredirected, path);
    if (!IsWow64())
        return;
    GetSystemWow64DirectoryFunction getWow64Dir = reinterpret_cast<GetSystemWow64DirectoryFunction>(
        reinterpret_cast<void (*)()>(GetKernelFunction("GetSystemWow64DirectoryA")));
    char dir[MAX_PATH];
    UINT length = getWow64Dir ? getWow64Dir(dir, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH || !AppendPathPart(dir, GetFileNamePart(unredirected)))
        return;  // the path as the process knows it: the best that can be named
    lstrcpyA(unredirected, dir);
}

int NamesAnotherFileForNativePrograms(const char* path)
{
    char native[MAX_PATH], name[MAX_PATH];
    lstrcpyA(native, path);
    char* namePart = GetFileNamePart(native);
    if (namePart == native)
        return 0;  // no directory at all: nothing in system32
    lstrcpyA(name, namePart);
    namePart[-1] = '\0';
    *GetFileNamePart(native) = '\0';  // the Windows directory, with its backslash
    return AppendPathPart(native, "Sysnative") && AppendPathPart(native, name) && PathExists(native);
}
#else
void GetUnredirectedPath(const char* path, char* unredirected)
{
    lstrcpyA(unredirected, path);
}

int NamesAnotherFileForNativePrograms(const char*)
{
    return 0;
}
#endif
