// The test driver's Win32 side: processes, windows, boxes, screen pixels, prefix state.
#include "tools/driver/driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstdint>

namespace driver {

std::string WindowsPath(const std::string& unixPath)
{
    if (unixPath.empty() || unixPath[0] != '/')
        return unixPath;
    std::string out = "Z:" + unixPath;
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

std::string EnvPath(const char* name)
{
    const char* value = getenv(name);
    return value ? WindowsPath(value) : std::string();
}

ByteVector ReadBytes(const std::string& path)
{
    ByteVector bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size && (!ReadFile(file, bytes.data(), size, &read, nullptr) || read != size))
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

bool WriteBytes(const std::string& path, const ByteVector& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string SystemDirectory()
{
    char dir[MAX_PATH];
    UINT n = GetSystemDirectoryA(dir, MAX_PATH);
    return n && n < MAX_PATH ? std::string(dir) : std::string();
}

std::vector<WIN32_FIND_DATAA> FindEntries(const std::string& pattern)
{
    std::vector<WIN32_FIND_DATAA> entries;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do
        if (lstrcmpA(found.cFileName, ".") != 0 && lstrcmpA(found.cFileName, "..") != 0)
            entries.push_back(found);
    while (FindNextFileA(find, &found));
    FindClose(find);
    return entries;
}

std::set<std::string> ListNames(const std::string& dir, bool filesOnly)
{
    std::set<std::string> names;
    for (const WIN32_FIND_DATAA& entry : FindEntries(dir + "\\*"))
        if (!filesOnly || !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.insert(entry.cFileName);
    return names;
}

static void RemoveTree(const std::string& dir)
{
    for (const WIN32_FIND_DATAA& entry : FindEntries(dir + "\\*")) {
        std::string path = dir + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(path);
        else
            DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

ScratchDir::ScratchDir(const std::string& name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + name + "_" + std::to_string(GetCurrentProcessId());
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
}

Process::~Process()
{
    Kill();
}

bool Process::Launch(const std::string& exe, const std::string& commandLine, const std::string& workDir, DWORD flags,
                     PROCESS_INFORMATION* info)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &startup, info))
        return false;
    process_ = info->hProcess;
    pid_ = info->dwProcessId;
    return true;
}

bool Process::Start(const std::string& exe, const std::string& commandLine, const std::string& workDir, DWORD flags)
{
    PROCESS_INFORMATION info = {};
    if (!Launch(exe, commandLine, workDir, flags, &info))
        return false;
    CloseHandle(info.hThread);
    return true;
}

bool Process::StartWithEarlyEscape(const std::string& exe, const std::string& commandLine)
{
    return StartHooked(exe, commandLine, WH_CBT, "PressEscapeAtSetupWindow");
}

bool Process::StartWithResourceCounter(const std::string& exe, const std::string& commandLine)
{
    return StartHooked(exe, commandLine, WH_CALLWNDPROC, "CountResourcesOnRequest");
}

bool Process::StartHooked(const std::string& exe, const std::string& commandLine, int hookType, const char* procName)
{
    std::string dll = EnvPath("KEYHOOK_DLL");
    hookDll_ = dll.empty() ? nullptr : LoadLibraryA(dll.c_str());
    void* address = hookDll_ ? reinterpret_cast<void*>(GetProcAddress(hookDll_, procName)) : nullptr;
    HOOKPROC proc = reinterpret_cast<HOOKPROC>(address);
    PROCESS_INFORMATION info = {};
    if (!proc || !Launch(exe, commandLine, "", CREATE_SUSPENDED, &info)) {
        Unhook();
        return false;
    }
    // The hook is in place before the program's thread runs a single instruction.
    hook_ = SetWindowsHookExA(hookType, proc, hookDll_, info.dwThreadId);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    return hook_ != nullptr;
}

bool ReadResourceCounts(HWND setupWindow, CountRequest request, ResourceCounts* counts)
{
    UINT message = RegisterWindowMessageA(kCountResourcesMessage);
    DWORD_PTR answer = 0;
    if (!message || !SendMessageTimeoutA(setupWindow, message, request, 0, SMTO_BLOCK, 10000, &answer))
        return false;
    counts->gdiObjects = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(setupWindow, kGdiObjectsProperty)));
    counts->handles = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(setupWindow, kHandlesProperty)));
    return true;
}

void Process::Unhook()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
    if (hookDll_)
        FreeLibrary(hookDll_);
    hook_ = nullptr;
    hookDll_ = nullptr;
}

bool Process::WaitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(process_, exitCode);
    CloseHandle(process_);
    process_ = nullptr;
    Unhook();
    return true;
}

bool Process::running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Process::Kill()
{
    Unhook();
    if (!process_)
        return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
}

namespace {

struct WindowSearch {
    DWORD pid;
    const char* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (pid == search->pid && IsWindowVisible(window) && lstrcmpA(name, search->className) == 0)
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> FindWindows(DWORD pid, const char* className)
{
    WindowSearch search = {pid, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(DWORD pid, const char* className, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindWindows(pid, className);
        if (!found.empty())
            return found.front();
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

std::string WindowText(HWND window)
{
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string BoxText(HWND box)
{
    HWND label = GetDlgItem(box, 0xFFFF);
    return label ? WindowText(label) : std::string();
}

std::vector<int> BoxButtons(HWND box)
{
    std::vector<int> ids;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Button") == 0 && IsWindowVisible(child))
            ids.push_back(GetDlgCtrlID(child));
    }
    return ids;
}

bool PressBoxButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    if (!button)
        return false;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

void SendKey(HWND window, UINT virtualKey)
{
    UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageA(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

Box WaitForBox(Process& process, DWORD timeoutMs)
{
    Box box;
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindWindows(process.id(), "#32770");
        if (!found.empty()) {
            box.window = found.front();
            break;
        }
        if (!process.running() || GetTickCount() - start >= timeoutMs)
            return box;
        Sleep(20);
    }
    return ReadBox(box.window);
}

Box ReadBox(HWND window)
{
    // The box fills in its controls while it starts; read it once its buttons stand.
    for (int i = 0; i < 100 && BoxButtons(window).empty(); ++i)
        Sleep(20);
    Box box;
    box.window = window;
    box.caption = WindowText(window);
    box.text = BoxText(window);
    box.buttons = BoxButtons(window);
    return box;
}

bool AnswerBox(const Box& box, int id, HWND setupWindow, UINT key)
{
    // Both go into the queue of the one thread that owns the box and the window, in this
    // order: the box takes its answer and returns before the key is read.
    if (!PressBoxButton(box.window, id))
        return false;
    if (key != 0)
        SendKey(setupWindow, key);
    for (int i = 0; i < 500 && IsWindow(box.window); ++i)
        Sleep(20);
    return !IsWindow(box.window);
}

COLORREF ScreenPixel(int x, int y)
{
    HDC screen = GetDC(nullptr);
    COLORREF pixel = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return pixel;
}

Canvas::Canvas(int width, int height, uint32_t fill) : width_(width), height_(height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    dib_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc_ = CreateCompatibleDC(nullptr);
    if (dib_ && dc_) {
        oldBitmap_ = SelectObject(dc_, dib_);
        bits_ = static_cast<uint32_t*>(bits);
    }
    Fill(fill);
}

Canvas::~Canvas()
{
    if (dc_) {
        if (oldBitmap_)
            SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
    }
    if (dib_)
        DeleteObject(dib_);
}

uint32_t* Canvas::bits() const
{
    GdiFlush();
    return bits_;
}

void Canvas::Fill(uint32_t value)
{
    if (ok())
        std::fill(bits(), bits() + static_cast<size_t>(width_) * height_, value);
}

// One read of the whole screen.
static bool CaptureScreenOnce(ScreenImage* image)
{
    image->width = GetSystemMetrics(SM_CXSCREEN);
    image->height = GetSystemMetrics(SM_CYSCREEN);
    Canvas canvas(image->width, image->height);
    HDC screen = GetDC(nullptr);
    bool ok = canvas.ok() && BitBlt(canvas.dc(), 0, 0, image->width, image->height, screen, 0, 0, SRCCOPY);
    ReleaseDC(nullptr, screen);
    image->pixels.clear();
    if (ok)
        for (size_t i = 0; i < static_cast<size_t>(image->width) * image->height; ++i)
            image->pixels.push_back(canvas.bits()[i] & 0xFFFFFF);
    return ok;
}

// The window's last drawing may still be on its way to the X server when a box shows: the
// screen counts once two reads in a row agree (5 s at the most).
bool CaptureScreen(ScreenImage* image)
{
    return ReadSettled(image, CaptureScreenOnce);
}

bool SaveScreenshot(const std::string& path)
{
    ScreenImage image;
    if (!CaptureScreen(&image))
        return false;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = image.width;
    header.biHeight = image.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    DWORD stride = (static_cast<DWORD>(image.width) * 3 + 3) & ~3u;
    header.biSizeImage = stride * image.height;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    ByteVector bytes(reinterpret_cast<unsigned char*>(&file), reinterpret_cast<unsigned char*>(&file + 1));
    bytes.insert(bytes.end(), reinterpret_cast<unsigned char*>(&header), reinterpret_cast<unsigned char*>(&header + 1));
    // Bottom row first, blue, green, red.
    for (int y = image.height - 1; y >= 0; --y) {
        size_t rowStart = bytes.size();
        for (int x = 0; x < image.width; ++x) {
            uint32_t pixel = image.At(x, y);
            bytes.push_back(static_cast<unsigned char>(pixel));
            bytes.push_back(static_cast<unsigned char>(pixel >> 8));
            bytes.push_back(static_cast<unsigned char>(pixel >> 16));
        }
        bytes.resize(rowStart + stride, 0);
    }
    return WriteBytes(path, bytes);
}

RECT ProgressBarRect(int width, int height)
{
    RECT bar = {2 * (width / 3), height - 60, width - 20, height - 20};
    return bar;
}

RECT PercentTextRect(const RECT& bar, int progress, HFONT font)
{
    char text[32];
    int length = wsprintfA(text, "%d %%", progress);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, text, length, &extent);
    SelectObject(dc, old);
    DeleteDC(dc);
    int x = bar.left + (bar.right - bar.left - extent.cx) / 2;
    int y = bar.top + (bar.bottom - bar.top - extent.cy) / 2;
    RECT cell = {x, y, x + extent.cx, y + extent.cy};
    return cell;
}

std::string ReadIniSaver()
{
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", value, sizeof value, "system.ini");
    return value;
}

std::string ReadRegistrySaver()
{
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "SCRNSAVE.EXE", RRF_RT_REG_SZ, &type, value,
                     &size) != ERROR_SUCCESS)
        return std::string();
    return value;
}

void ResetSaverEntries()
{
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", nullptr, "system.ini");
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "SCRNSAVE.EXE");
        RegCloseKey(key);
    }
}

ReadOnlyKey::ReadOnlyKey(const char* path)
{
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    if (size == 0 || RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS)
        return;
    // One entry: everyone may read.
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return;
    std::vector<BYTE> acl(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone));
    SECURITY_DESCRIPTOR descriptor;
    ok_ = InitializeAcl(reinterpret_cast<ACL*>(acl.data()), static_cast<DWORD>(acl.size()), ACL_REVISION) &&
          AddAccessAllowedAce(reinterpret_cast<ACL*>(acl.data()), ACL_REVISION, KEY_READ, everyone) &&
          InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
          SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(acl.data()), FALSE) &&
          RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    FreeSid(everyone);
    HKEY writable;
    if (ok_ && RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_WRITE, &writable) == ERROR_SUCCESS) {
        RegCloseKey(writable);
        ok_ = false;  // the platform lets it be written all the same
    }
}

ReadOnlyKey::~ReadOnlyKey()
{
    if (!key_)
        return;
    if (!saved_.empty())
        RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
    RegCloseKey(key_);
}

ByteVector MakePackage(const std::string& name, const ByteVector& saver)
{
    ByteVector stub = ReadBytes(EnvPath("SETUP_EXE"));
    if (stub.empty())
        return stub;
    return BuildPackage(stub, name, saver);
}

ByteVector MakeSaver(const ByteVector& logoDib, size_t imageBytes)
{
    ByteVector saver(imageBytes);
    for (size_t i = 0; i < saver.size(); ++i)
        saver[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
    saver[0] = 'M';
    saver[1] = 'Z';
    ByteVector settings(132, 0x5A);
    ByteVector block = BuildSaverDataBlock(settings, "first", "second string", logoDib);
    saver.insert(saver.end(), block.begin(), block.end());
    return saver;
}

std::string Cp932(const wchar_t* text)
{
    int size = text ? WideCharToMultiByte(932, 0, text, -1, nullptr, 0, nullptr, nullptr) : 0;
    std::string bytes(size > 0 ? size : 1, '\0');
    if (size > 0)
        WideCharToMultiByte(932, 0, text, -1, &bytes[0], size, nullptr, nullptr);
    bytes.resize(lstrlenA(bytes.c_str()));
    return bytes;
}

std::string Utf8FromCp932(const std::string& bytes)
{
    std::vector<wchar_t> wide(bytes.size() + 1);
    int n = MultiByteToWideChar(932, 0, bytes.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    if (n <= 0)
        return bytes;
    std::vector<char> utf8(wide.size() * 4);
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8.data();
}

}  // namespace driver
