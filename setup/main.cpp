// The executable's entry point. The stub starts here rather than in the C runtime's start-up:
// nothing in it needs the runtime's initialisation (no static constructors, no stdio, no
// arguments vector, no thread-local data), so the entry hands RunSetup what a WinMain gets
// and ends the process with its result. cmake/stub-sections.ld refuses a link that would
// bring static constructors in.
#include "setup/startup.h"

// The command line behind the program's own path, as a WinMain receives it: the path is
// skipped (inside quotes up to the closing quote, otherwise up to the first blank or tab),
// then the blanks and tabs behind it.
static LPSTR SkipProgramPath(LPSTR line)
{
    if (*line == '"') {
        ++line;
        while (*line != '\0' && *line != '"')
            ++line;
        if (*line == '"')
            ++line;
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

extern "C" void SetupEntry()
{
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    int result = RunSetup(GetModuleHandleA(nullptr), nullptr, SkipProgramPath(GetCommandLineA()), showCommand);
    ExitProcess(static_cast<UINT>(result));
}
