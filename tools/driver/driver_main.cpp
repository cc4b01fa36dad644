// setup_driver: runs a package the way a user would and records what happens.
//
//   setup_driver run PACKAGE.exe OUTDIR SAVERNAME
//   setup_driver report SAVERNAME
//
// run starts the package, answers every question with Yes (every notice with OK), and
// screenshots into OUTDIR (BMP) each box as it stands and the progress bar once it is
// part-way; then it prints what the run left behind, as report does: the saver file in the
// system directory, the system.ini and registry entries. When no box comes and the bar
// stands still for a long while, Escape and a Yes to the abort question end the run.
// Exit code 0 when the program ran and ended and the bar was photographed part-way (the
// program held still for it, no box open).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "tools/driver/driver.h"

namespace {

const DWORD kWindowTimeout = 30000;
const DWORD kQuietBeforeEscape = 10000;
const DWORD kRunLimit = 180000;

void Say(const std::string& text)
{
    printf("setup_driver: %s\n", text.c_str());
    fflush(stdout);
}

std::string Shot(const std::string& outDir, int number, const char* what)
{
    char name[64];
    snprintf(name, sizeof name, "%02d-%s.bmp", number, what);
    std::string path = outDir + "\\" + name;
    if (!driver::SaveScreenshot(path))
        Say(std::string("could not save ") + name);
    return name;
}

// What a box is, by its caption.
const char* BoxKind(const driver::Box& box)
{
    if (box.caption == driver::Cp932(L"質問"))
        return "question";
    if (box.caption == driver::Cp932(L"情報"))
        return "notice";
    return box.caption == driver::Cp932(L"エラー") ? "error" : "box";
}

void AnswerAndRecord(const driver::Box& box, const std::string& outDir, int* shots)
{
    Sleep(300);  // let the box paint before it is photographed
    std::string shot = Shot(outDir, ++*shots, BoxKind(box));
    Say("box \"" + driver::Utf8FromCp932(box.caption) + "\": " + driver::Utf8FromCp932(box.text) + " [" + shot +
        "]");
    bool hasYes = false;
    for (int id : box.buttons)
        hasYes = hasYes || id == IDYES;
    driver::AnswerBox(box, hasYes ? IDYES : IDOK);
    Say(hasYes ? "answered Yes" : "answered OK");
}

// True once the bar is filled past its middle (its top row, above the percentage, is
// magenta there).
bool BarPastHalf()
{
    RECT bar = driver::ProgressBarRect(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return driver::ScreenPixel((bar.left + bar.right) / 2, bar.top) == RGB(255, 0, 255);
}

// Suspends (hold) or resumes every thread of process pid.
void HoldProcess(DWORD pid, bool hold)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        HANDLE thread = entry.th32OwnerProcessID == pid ? OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)
                                                        : nullptr;
        if (!thread)
            continue;
        if (hold)
            SuspendThread(thread);
        else
            ResumeThread(thread);
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
}

// A moving bar never gives two equal screen reads: the program is held still while the bar is
// photographed. "" when the picture shows the bar part-way and no box; else why not.
std::string ShootProgress(const driver::Process& process, const std::string& outDir, int number)
{
    HoldProcess(process.id(), true);
    driver::ScreenImage screen;
    std::string why;
    if (!driver::FindWindows(process.id(), "#32770").empty())
        why = "a box is open";
    else if (!driver::CaptureScreen(&screen))
        why = "the screen could not be read";
    RECT bar = driver::ProgressBarRect(screen.width, screen.height);
    if (why.empty() && (screen.At(bar.left, bar.top) != 0xFF00FF || screen.At(bar.right - 1, bar.top) == 0xFF00FF))
        why = "the bar stands at 0 or 100 %";
    if (why.empty())
        Say("progress bar part-way [" + Shot(outDir, number, "progress") + "]");
    HoldProcess(process.id(), false);
    return why;
}

int Run(const std::string& package, const std::string& outDir)
{
    CreateDirectoryA(outDir.c_str(), nullptr);
    driver::Process process;
    if (!process.Start(package, "\"" + package + "\"")) {
        Say("cannot start " + package);
        return 1;
    }
    HWND window = driver::WaitForWindow(process.id(), "SetupWClass", kWindowTimeout);
    if (!window)
        Say("no setup window came");
    int shots = 0;
    bool progressShot = false;
    std::string noProgressShot = "the bar was never seen past its middle";
    DWORD start = GetTickCount(), lastEvent = GetTickCount();
    DWORD code = 0;
    while (!process.WaitExit(20, &code)) {
        driver::Box box = driver::WaitForBox(process, 0);
        if (box.window) {
            AnswerAndRecord(box, outDir, &shots);
            lastEvent = GetTickCount();
        } else if (!progressShot && window && BarPastHalf()) {
            progressShot = true;
            noProgressShot = ShootProgress(process, outDir, ++shots);
            lastEvent = GetTickCount();
        } else if (window && IsWindow(window) && GetTickCount() - lastEvent > kQuietBeforeEscape) {
            Say("nothing happened for 10 s: pressing Escape");
            driver::SendKey(window, VK_ESCAPE);
            lastEvent = GetTickCount();
        }
        if (GetTickCount() - start > kRunLimit) {
            Say("still running after 180 s: stopped");
            return 1;
        }
    }
    Say("exit code " + std::to_string(code));
    if (!noProgressShot.empty()) {
        Say("no picture of the bar part-way: " + noProgressShot);
        return 1;
    }
    return 0;
}

void Report(const std::string& saverName)
{
    std::string path = driver::SystemDirectory() + "\\" + saverName;
    ByteVector bytes = driver::ReadBytes(path);
    Say(driver::FileExists(path) ? "saver file " + path + " (" + std::to_string(bytes.size()) + " bytes)"
                                 : "saver file " + path + ": not there");
    std::string ini = driver::ReadIniSaver(), reg = driver::ReadRegistrySaver();
    Say("system.ini [boot] SCRNSAVE.EXE = " + (ini.empty() ? std::string("(none)") : ini));
    Say("HKCU\\Control Panel\\Desktop SCRNSAVE.EXE = " + (reg.empty() ? std::string("(none)") : reg));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "report") {
        Report(argv[2]);
        return 0;
    }
    if (argc != 5 || std::string(argv[1]) != "run") {
        fprintf(stderr, "usage: setup_driver run PACKAGE.exe OUTDIR SAVERNAME\n       setup_driver report SAVERNAME\n");
        return 2;
    }
    int result = Run(driver::WindowsPath(argv[2]), driver::WindowsPath(argv[3]));
    Report(argv[4]);
    return result;
}
