// The restriction of the DLL search to the system directory, the first thing the setup does.
// SetDefaultDllDirectories is looked up rather than imported, so that the setup still starts
// on a system that lacks it.
#include "setup/dllsearch.h"

#include <windows.h>

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD directoryFlags);

int RestrictDllSearch()
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.dll");
    SetDefaultDllDirectoriesFunction setDefault =
        kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                     reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
               : nullptr;
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return 1;
    return SetDllDirectoryA("") ? 1 : 0;
}
