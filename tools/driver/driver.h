// The test driver: runs the real SETUP.exe under Wine the way a user would meet it, and
// looks at what it leaves in the prefix (system directory, system.ini, registry).
#pragma once
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tools/mksetup/package_writer.h"

namespace driver {

// A Unix path (as CMake and the scripts know it) as a Windows path of Wine's Z: drive.
std::string WindowsPath(const std::string& unixPath);
// The environment variable name holding a Unix path, as a Windows path; "" when unset.
std::string EnvPath(const char* name);

ByteVector ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const ByteVector& bytes);
bool FileExists(const std::string& path);

// The entries that match pattern (dir\\* for all of a directory's), without "." and "..".
std::vector<WIN32_FIND_DATAA> FindEntries(const std::string& pattern);
// The names of the entries in dir; with filesOnly, of its files alone.
std::set<std::string> ListNames(const std::string& dir, bool filesOnly = false);

// The directory SETUP.exe writes the saver to (as this process sees it: a 32-bit process's
// view of system32 is redirected exactly as SETUP.exe's is).
std::string SystemDirectory();

// A fresh directory under the temporary directory, removed with everything in it by the
// destructor.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// One started program. The destructor ends it if it still runs.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // CreateProcessA(exe, commandLine, ..., flags, ..., workDir). The command line is passed
    // exactly as given, so tests control what GetCommandLineA answers.
    bool Start(const std::string& exe, const std::string& commandLine, const std::string& workDir = "",
               DWORD flags = 0);
    // Start() with Escape pressed on the setup window as the window is created, before its
    // message loop runs: a key typed the moment the program starts. A hook from the DLL at
    // KEYHOOK_DLL presses it in the program's main thread.
    bool StartWithEarlyEscape(const std::string& exe, const std::string& commandLine);
    // Start() with the resource counter of the DLL at KEYHOOK_DLL hooked into the program's
    // main thread: ReadResourceCounts then asks the program itself for its counts.
    bool StartWithResourceCounter(const std::string& exe, const std::string& commandLine);
    // Waits for the exit; true with the exit code when it came within timeoutMs.
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode);
    DWORD id() const { return pid_; }
    bool running() const;
    void Kill();

private:
    bool Launch(const std::string& exe, const std::string& commandLine, const std::string& workDir, DWORD flags,
                PROCESS_INFORMATION* info);
    bool StartHooked(const std::string& exe, const std::string& commandLine, int hookType, const char* procName);
    void Unhook();

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HMODULE hookDll_ = nullptr;
    HHOOK hook_ = nullptr;
};

// The live GDI objects and kernel handles of a program started with StartWithResourceCounter,
// counted in its own main thread (it must be reading messages, a box's loop will do). The
// counter's DLL keeps the numbers in two properties of the setup window; the names are shared
// with it. What is done before the count:
enum CountRequest {
    kCountOnly = 0,
    // The platform's once-per-process objects are made first (the boxes' shared system icons,
    // the handle behind HKEY_CURRENT_USER), so that later counts compare the setup's own.
    kCountAfterFillingPlatformCaches = 1,
    // One brush and one event are made and never released, so that a test can show that the
    // counts see the program's own new objects.
    kCountAfterPlantingLeaks = 2,
};
const char kCountResourcesMessage[] = "SetupTestCountResources";
const char kGdiObjectsProperty[] = "SetupTestGdiObjects";
const char kHandlesProperty[] = "SetupTestHandles";
struct ResourceCounts {
    int gdiObjects = 0;
    int handles = 0;
    bool operator==(const ResourceCounts& o) const { return gdiObjects == o.gdiObjects && handles == o.handles; }
};
bool ReadResourceCounts(HWND setupWindow, CountRequest request, ResourceCounts* counts);

// Visible top-level windows of process pid with class className ("#32770" for boxes).
std::vector<HWND> FindWindows(DWORD pid, const char* className);
// Waits up to timeoutMs for such a window; null when none came.
HWND WaitForWindow(DWORD pid, const char* className, DWORD timeoutMs);

std::string WindowText(HWND window);
// The message text of a box (its static control 0xFFFF).
std::string BoxText(HWND box);
// Ids of the push buttons a box offers (IDOK, IDYES, IDNO, ...), in control order.
std::vector<int> BoxButtons(HWND box);
// Presses the box's button id as a user's click would.
bool PressBoxButton(HWND box, int id);
// A key press and release sent to the window, as the keyboard would deliver it.
void SendKey(HWND window, UINT virtualKey);

// A box of the program as it stands on the screen.
struct Box {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons;
};
// Waits up to timeoutMs for the next box of the process and reads it once its buttons
// stand; window is null when none came, or the process ended first.
Box WaitForBox(Process& process, DWORD timeoutMs);
// Reads the box at window once its buttons stand.
Box ReadBox(HWND window);
// Presses the box's button id and waits until the box is gone (false when it stays). A
// key other than 0 is pressed on setupWindow right behind the answer: the window reads it
// as soon as the box has returned, before its next tick.
bool AnswerBox(const Box& box, int id, HWND setupWindow = nullptr, UINT key = 0);

// A memory context drawing into a width x height 32-bit top-down DIB section, its pixels
// 0x00RRGGBB, all set to fill at first. ok() says whether it could be made.
class Canvas {
public:
    Canvas(int width, int height, uint32_t fill = 0);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    bool ok() const { return bits_ != nullptr; }
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixels, once the platform's pending drawing has reached them.
    uint32_t* bits() const;
    uint32_t& At(int x, int y) const { return bits()[static_cast<size_t>(y) * width_ + x]; }
    void Fill(uint32_t value);

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP dib_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// The screen's pixel at (x, y) as RGB, read back from the display.
COLORREF ScreenPixel(int x, int y);
// The whole screen, read back from the display: 0x00RRGGBB, top row first.
struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const ScreenImage& o) const { return pixels == o.pixels; }
};
// Reads *value with read(value) until two reads in a row agree (at most 25, 200 ms apart): a
// window that has just come may still be painting, a box still making what it paints with.
// False when a read fails.
template <typename T, typename Read>
bool ReadSettled(T* value, Read read)
{
    T last;
    for (int tries = 0; tries < 25; ++tries) {
        if (!read(value))
            return false;
        if (tries > 0 && *value == last)
            return true;
        last = *value;
        Sleep(200);
    }
    return true;
}
// Once the screen has settled: two reads in a row agree.
bool CaptureScreen(ScreenImage* image);
// The whole screen as a 24-bit BMP file.
bool SaveScreenshot(const std::string& path);
// Where the setup screen's progress bar stands in a client area of the given size (right and
// bottom exclusive); no wider than 0 where the area is too narrow for a bar.
RECT ProgressBarRect(int width, int height);
// Where the text "<progress> %" stands in the bar when drawn centred in font (null: the
// system font).
RECT PercentTextRect(const RECT& bar, int progress, HFONT font);

// The saver entries that a run may write: system.ini [boot] SCRNSAVE.EXE and
// HKCU\Control Panel\Desktop SCRNSAVE.EXE. Reset() removes both; Read*() give "" when absent.
std::string ReadIniSaver();
std::string ReadRegistrySaver();
void ResetSaverEntries();

// Makes HKCU\path readable only, for everyone, for the lifetime of the object: opening it
// for writing fails. The destructor gives the key its own security back.
class ReadOnlyKey {
public:
    explicit ReadOnlyKey(const char* path);
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
    bool ok() const { return ok_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;
    bool ok_ = false;
};

// A package of the stub at SETUP_EXE with the given name and saver bytes; empty when the
// stub can't be read.
ByteVector MakePackage(const std::string& name, const ByteVector& saver);
// Saver bytes: some program-like bytes followed by a data block (logo optional).
ByteVector MakeSaver(const ByteVector& logoDib = ByteVector(), size_t imageBytes = 4096);

// CP932 bytes of a wide text (null: ""), to compare with what the program's boxes show.
std::string Cp932(const wchar_t* text);
// UTF-8 of CP932 bytes, for printing.
std::string Utf8FromCp932(const std::string& bytes);

}  // namespace driver
