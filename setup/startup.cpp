// Start-up of the setup: a straight line of steps, the first failure ends it silently, and
// one place releases what was acquired (the file buffer, the wait cursor).
#include "setup/startup.h"

#include "resources/resource.h"
#include "screen/bitmap.h"
#include "screen/prompts.h"
#include "setup/dllsearch.h"
#include "setup/extract.h"
#include "setup/install.h"
#include "setup/package.h"
#include "setup/window.h"
#include "support/paths.h"
#include "support/state.h"

// The one-setup mutex bears the window class's name, in the machine's namespace.
static const char kMutexName[] = "Global\\SetupWClass";
static constexpr const char* kWindowClass = kMutexName + sizeof "Global\\" - 1;
static const char kWindowTitle[] = "Setup";

int IsLowColorDisplay()
{
    HWND desktop = GetDesktopWindow();
    HDC dc = GetDC(desktop);
    if (!dc)
        return 0;
    int bits = GetDeviceCaps(dc, BITSPIXEL);
    ReleaseDC(desktop, dc);
    return bits <= 8;
}

// The program's own path, without its quotes, into token (a 260-byte buffer).
static int CopyProgramToken(const char* commandLine, char* token)
{
    const char* start;
    size_t length;
    ScanProgramPath(commandLine, &start, &length);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    CopyMemory(token, start, length);
    token[length] = '\0';
    return 1;
}

static int HasDirectory(char* path)
{
    char* name = GetFileNamePart(path);
    return name != path && name[-1] == '\\';
}

// Splits the full path in cmd into setupDir (C: becomes C:\) and path, the directory
// joined with the file name again.
static int SplitSetupPath(char* cmd, char* setupDir, char* path)
{
    char name[MAX_PATH];
    char* namePart = GetFileNamePart(cmd);
    lstrcpyA(name, namePart);
    namePart[-1] = '\0';  // cmd now holds the directory part
    lstrcpyA(setupDir, cmd);
    int dirLength = lstrlenA(setupDir);
    if (dirLength > 0 && setupDir[dirLength - 1] == ':')
        lstrcatA(setupDir, "\\");
    lstrcpyA(path, setupDir);
    return AppendPathPart(path, name);
}

int GetSetupFilePath(const char* commandLine, char* setupDir, char* path)
{
    char cmd[MAX_PATH] = {};
    if (CopyProgramToken(commandLine, cmd) && HasDirectory(cmd) && SplitSetupPath(cmd, setupDir, path) &&
        PathExists(path))
        return 1;
    // Started by bare name from a console, or by a command line whose first token is not
    // the program's file (an unquoted path with blanks): the module knows its own file.
    DWORD length = GetModuleFileNameA(nullptr, cmd, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !HasDirectory(cmd))
        return 0;
    return SplitSetupPath(cmd, setupDir, path);
}

// Reads the whole file at path into a zero-filled movable block; the block stays locked
// and is returned in *handle for the caller to release.
static BYTE* ReadOwnFile(const char* path, DWORD length, HGLOBAL* handle)
{
    *handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length);
    if (!*handle)
        return nullptr;
    BYTE* buffer = static_cast<BYTE*>(GlobalLock(*handle));
    if (!buffer)
        return nullptr;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD read = 0;
    BOOL ok = ReadFile(file, buffer, length, &read, nullptr);
    CloseHandle(file);
    return ok && read == length ? buffer : nullptr;
}

static void ReleaseOwnFile(HGLOBAL handle)
{
    if (!handle)
        return;
    GlobalUnlock(handle);
    GlobalFree(handle);
}

// Extracts the saver and makes the logo; 1 when start-up may go on to the window. The buffer
// goes before the logo's bitmap is made from its copy: the package, the copy and the bitmap
// never stand in memory all at once.
static int UnpackOwnFile(const char* path)
{
    DWORD length = GetFileLength(path);
    HGLOBAL handle = nullptr;
    const BYTE* buffer = ReadOwnFile(path, length, &handle);
    int ok = 0;
    void* logoCopy = nullptr;
    const BYTE* payload = nullptr;
    DWORD payloadLength = 0;
    if (buffer && ExtractSaver(buffer, length, &payload, &payloadLength)) {
        const unsigned char* logo = nullptr;
        uint32_t logoLength = 0;
        if (FindLogo(payload, payloadLength, &logo, &logoLength)) {
            ok = 1;
            if (logoLength != 0)
                logoCopy = CopyLogo(logo, logoLength);
        }
    }
    ReleaseOwnFile(handle);
    if (logoCopy)
        g_state.logoBitmap = MakeLogoBitmapFromCopy(&logoCopy);
    return ok;
}

static void RegisterSetupClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_SAVEBITS;
    windowClass.lpfnWndProc = SetupWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "IDI_APPICON");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
}

int InitSetup(HINSTANCE instance, int showCommand)
{
    if (IsLowColorDisplay()) {
        ShowErrorText(GetFocus(), IDS_LOW_COLOR);
        return 0;
    }
    g_state.instance = instance;
    EnsureTempDirectory(g_state.tempDir);

    char path[MAX_PATH];
    if (!GetSetupFilePath(GetCommandLineA(), g_state.setupDir, path))
        return 0;
    g_state.savedCursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    int unpacked = UnpackOwnFile(path);
    SetCursor(g_state.savedCursor);
    if (!unpacked)
        return 0;

    RegisterSetupClass(instance);
    HWND window = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
    if (!window)
        return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

// One setup at a time on the machine: a second one would set aside the first one's new file
// as if it were the previous saver, and whichever ended last would lose the user's own. The
// file is the machine's, so the mutex is too (Global\): a deployment running as SYSTEM, a
// user's double-click and a second user on the same machine all meet it. It is opened for
// waiting only (SYNCHRONIZE), the access that the default security of another account's
// mutex still grants an administrator; where even that is refused, the mutex exists, and
// another setup runs. 0 when another setup runs: its window in this session (its open box,
// when there is one) comes to the front when bringToFront is set. Otherwise 1, and *mutex
// holds the claim until the setup ends (null when the platform gave no mutex at all: the
// setup runs as it would alone).
static int ClaimSingleSetup(HANDLE* mutex, int bringToFront)
{
    *mutex = CreateMutexExA(nullptr, kMutexName, 0, SYNCHRONIZE);
    DWORD error = GetLastError();
    if (*mutex ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED)
        return 1;
    if (*mutex)
        CloseHandle(*mutex);
    HWND running = bringToFront ? FindWindowA(kWindowClass, nullptr) : nullptr;
    if (running)
        SetForegroundWindow(GetLastActivePopup(running));
    return 0;
}

// Start-up and the message loop of a setup that runs alone.
static int RunSetupAlone(HINSTANCE instance, int showCommand)
{
    if (!InitSetup(instance, showCommand)) {
        // When start-up ended after the extraction, a saver that stood under the same name
        // takes its name back; without one the extracted file stays.
        RestorePreviousSaver();
        return 0;
    }
    MSG message = {};
    BOOL got;
    // GetMessageA answers -1 on error: the loop ends then as it does on WM_QUIT.
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0 && got != -1) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // When the window went before the installation was decided (closed otherwise than by
    // its own answers), a saver set aside for it takes its name back instead of staying
    // behind under a temporary name.
    RestorePreviousSaver();
    if (g_state.logoBitmap) {
        DeleteObject(g_state.logoBitmap);
        g_state.logoBitmap = nullptr;
    }
    return got == -1 ? 0 : static_cast<int>(message.wParam);
}

// The switches behind the program's path, each an argument of its own, in either letter case.
// Blank and tab are never the second byte of a double-byte character, so an argument starts
// where a character does. Other arguments are ignored.
enum { kSilentSwitch = 1, kRemoveSwitch = 2 };

static int ReadSwitches(const char* commandLine)
{
    int switches = 0;
    while (*commandLine != '\0') {
        while (*commandLine == ' ' || *commandLine == '\t')
            ++commandLine;
        const char* argument = commandLine;
        while (*commandLine != '\0' && *commandLine != ' ' && *commandLine != '\t')
            ++commandLine;
        if (commandLine - argument != 2 || argument[0] != '/')
            continue;
        char letter = static_cast<char>(argument[1] | 0x20);
        if (letter == 's')
            switches |= kSilentSwitch;
        else if (letter == 'u')
            switches |= kRemoveSwitch;
    }
    return switches;
}

// The silent installation, or a removal, on the setup's own file read whole. Nothing is
// drawn, so the display's depth does not matter.
static int RunWithoutScreen(int switches)
{
    char path[MAX_PATH];
    if (!GetSetupFilePath(GetCommandLineA(), g_state.setupDir, path))
        return kUnusablePackage;
    DWORD length = GetFileLength(path);
    HGLOBAL handle = nullptr;
    const BYTE* buffer = ReadOwnFile(path, length, &handle);
    int result = kUnusablePackage;
    if (buffer && (switches & kRemoveSwitch))
        result = RemoveInstalledSaver(buffer, length, switches & kSilentSwitch);
    else if (buffer)
        result = InstallSilently(buffer, length);
    ReleaseOwnFile(handle);
    return result;
}

int RunSetup(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    // Before anything can make the platform load a DLL by name.
    RestrictDllSearch();
    // Every run climbs through the same progress steps.
    g_state.stepState = 1;
    g_state.instance = instance;
    int switches = ReadSwitches(commandLine);
    int silent = switches & kSilentSwitch;
    HANDLE mutex;
    if (!ClaimSingleSetup(&mutex, !silent))
        return silent ? kSetupRunning : 0;
    int result = switches ? RunWithoutScreen(switches) : RunSetupAlone(instance, showCommand);
    if (mutex)
        CloseHandle(mutex);
    // Only a silent run tells how it ended; an interactive one ends with 0 whatever happened.
    return silent ? result : 0;
}
