// setup_driver: runs a package the way a user would and records what happens.
//
//   setup_driver run PACKAGE.exe OUTDIR SAVERNAME
//
// Starts the package, screenshots the setup screen and every box into OUTDIR (BMP), answers
// each question with Yes (each notice with OK), and prints what the run left behind: exit
// code, the saver file, the system.ini and registry entries. Where the window offers no box
// within a few seconds, Escape ends it. Exit code 0 when the program ran and ended.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/driver/driver.h"

namespace {

const DWORD kWindowTimeout = 30000;
const DWORD kQuietBeforeEscape = 5000;
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

void AnswerBox(HWND box, const std::string& outDir, int* shots)
{
    Sleep(300);  // let the box paint before it is photographed
    std::string shot = Shot(outDir, ++*shots, "box");
    Say("box \"" + driver::Utf8FromCp932(driver::WindowText(box)) + "\": " +
        driver::Utf8FromCp932(driver::BoxText(box)) + " [" + shot + "]");
    bool hasYes = false;
    for (int id : driver::BoxButtons(box))
        hasYes = hasYes || id == IDYES;
    driver::PressBoxButton(box, hasYes ? IDYES : IDOK);
    Say(hasYes ? "answered Yes" : "answered OK");
    for (int i = 0; i < 100 && IsWindow(box); ++i)
        Sleep(20);
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
    int shots = 0;
    if (!window) {
        Say("no setup window came");
    } else {
        Sleep(700);
        Say("setup screen [" + Shot(outDir, ++shots, "setup-screen") + "]");
    }
    DWORD start = GetTickCount(), lastEvent = GetTickCount();
    DWORD code = 0;
    while (!process.WaitExit(50, &code)) {
        std::vector<HWND> boxes = driver::FindWindows(process.id(), "#32770");
        if (!boxes.empty()) {
            AnswerBox(boxes.front(), outDir, &shots);
            lastEvent = GetTickCount();
        } else if (window && IsWindow(window) && GetTickCount() - lastEvent > kQuietBeforeEscape) {
            Say("no box within 5 s: pressing Escape");
            driver::SendKey(window, VK_ESCAPE);
            lastEvent = GetTickCount();
        }
        if (GetTickCount() - start > kRunLimit) {
            Say("still running after 180 s: stopped");
            return 1;
        }
    }
    Say("exit code " + std::to_string(code));
    return 0;
}

void Report(const std::string& saverName)
{
    std::string path = driver::SystemDirectory() + "\\" + saverName;
    ByteVector bytes = driver::ReadBytes(path);
    Say(driver::FileExists(path) ? path + ": " + std::to_string(bytes.size()) + " bytes" : path + ": not there");
    std::string ini = driver::ReadIniSaver(), reg = driver::ReadRegistrySaver();
    Say("system.ini [boot] SCRNSAVE.EXE = " + (ini.empty() ? std::string("(none)") : ini));
    Say("HKCU\\Control Panel\\Desktop SCRNSAVE.EXE = " + (reg.empty() ? std::string("(none)") : reg));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5 || std::string(argv[1]) != "run") {
        fprintf(stderr, "usage: setup_driver run PACKAGE.exe OUTDIR SAVERNAME\n");
        return 2;
    }
    int result = Run(driver::WindowsPath(argv[2]), driver::WindowsPath(argv[3]));
    Report(argv[4]);
    return result;
}
