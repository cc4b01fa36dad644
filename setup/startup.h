// Program entry, start-up and the message loop.
#pragma once
#include <windows.h>

// The program entry: start-up, then the message loop until the setup window is gone.
int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
// 1 when the setup window stands and the loop is to run; 0 when start-up ended.
int InitSetup(HINSTANCE instance, int showCommand);
// 1 when the desktop shows 256 colours or fewer.
int IsLowColorDisplay();
// The program's own path at the start of commandLine, by the platform's rule for it: inside
// quotes up to the closing quote, otherwise up to the first blank or tab (quote, blank and tab
// are never the second byte of a double-byte character). *path and *length give it without its
// quotes; the answer is where the arguments begin, behind the blanks and tabs that follow it.
// Inline: the entry and start-up each keep only what they use of it, and no call is paid for.
inline const char* ScanProgramPath(const char* commandLine, const char** path, size_t* length)
{
    const char* start = commandLine;
    const char* end;
    if (*start == '"') {
        end = ++start;
        while (*end != '\0' && *end != '"')
            ++end;
        commandLine = *end == '"' ? end + 1 : end;
    } else {
        end = start;
        while (*end != '\0' && *end != ' ' && *end != '\t')
            ++end;
        commandLine = end;
    }
    *path = start;
    *length = static_cast<size_t>(end - start);
    while (*commandLine == ' ' || *commandLine == '\t')
        ++commandLine;
    return commandLine;
}

// The setup's own directory and file path (both 260-byte buffers) from the command line
// commandLine; falls back to the module's own file name when the command line names no
// directory. 0 when no usable path results.
int GetSetupFilePath(const char* commandLine, char* setupDir, char* path);
