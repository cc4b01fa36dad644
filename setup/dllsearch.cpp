// The restriction of the DLL search to the system directory, the first thing the setup does.
// SetDefaultDllDirectories is looked up rather than imported, so that the setup still starts
// on a system that lacks it.
#include "setup/dllsearch.h"

#include "support/paths.h"

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD directoryFlags);

int RestrictDllSearch()
{
    SetDefaultDllDirectoriesFunction setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(GetKernelFunction("SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return 1;
    return SetDllDirectoryA("") ? 1 : 0;
}
