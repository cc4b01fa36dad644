// The executable's entry point. The stub starts here rather than in the C runtime's start-up:
// nothing in it needs the runtime's initialisation (no static constructors, no stdio, no
// arguments vector, no thread-local data), so the entry hands RunSetup what a WinMain gets
// and ends the process with its result. cmake/stub-sections.ld refuses a link that would
// bring static constructors in.
#include "setup/startup.h"

extern "C" void SetupEntry()
{
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    // The command line behind the program's own path, as a WinMain receives it.
    const char* path;
    size_t length;
    LPSTR arguments = const_cast<LPSTR>(ScanProgramPath(GetCommandLineA(), &path, &length));
    int result = RunSetup(GetModuleHandleA(nullptr), nullptr, arguments, showCommand);
    ExitProcess(static_cast<UINT>(result));
}
