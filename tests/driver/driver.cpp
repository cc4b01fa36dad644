// The test driver's Win32 side: processes, windows, boxes, screen pixels, prefix state.
#include "tests/driver/driver.h"

#include <cstdlib>

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

static void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
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

bool Process::Start(const std::string& exe, const std::string& commandLine, const std::string& workDir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    return true;
}

bool Process::WaitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(process_, exitCode);
    CloseHandle(process_);
    process_ = nullptr;
    return true;
}

bool Process::running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Process::Kill()
{
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

COLORREF ScreenPixel(int x, int y)
{
    HDC screen = GetDC(nullptr);
    COLORREF pixel = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return pixel;
}

bool SaveScreenshot(const std::string& path)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    header.biSizeImage = stride * height;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                       nullptr, 0);
    bool ok = false;
    if (memory && section) {
        HGDIOBJ old = SelectObject(memory, section);
        ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
        if (ok) {
            BITMAPFILEHEADER file = {};
            file.bfType = 0x4D42;
            file.bfOffBits = sizeof file + sizeof header;
            file.bfSize = file.bfOffBits + header.biSizeImage;
            ByteVector bytes(reinterpret_cast<unsigned char*>(&file), reinterpret_cast<unsigned char*>(&file + 1));
            bytes.insert(bytes.end(), reinterpret_cast<unsigned char*>(&header),
                         reinterpret_cast<unsigned char*>(&header + 1));
            bytes.insert(bytes.end(), static_cast<unsigned char*>(bits),
                         static_cast<unsigned char*>(bits) + header.biSizeImage);
            ok = WriteBytes(path, bytes);
        }
    }
    if (memory)
        DeleteDC(memory);
    if (section)
        DeleteObject(section);
    ReleaseDC(nullptr, screen);
    return ok;
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
    char bytes[2048] = {};
    WideCharToMultiByte(932, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
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
