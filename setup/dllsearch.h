// Where the setup lets the platform look for DLLs. An installer is started from a downloads
// folder that anyone can drop files into, and runs elevated: a DLL of a commonly probed name
// lying beside it must never be loaded in place of the system's own.
#pragma once

// Restricts the DLL search of the whole process to the system directory. Where the platform
// has no SetDefaultDllDirectories, at least the current directory is taken out of the search.
// 1 when a restriction is in force, 0 when the platform refused both.
int RestrictDllSearch();
