// Path-name utilities of the setup, on NUL-terminated multibyte paths in 260-byte buffers
// (MAX_PATH), safe for the double-byte characters of the ANSI code page.
#pragma once
#include <windows.h>

// 1 when byte is a lead byte of the system's ANSI code page (the one CreateFileA uses).
int IsAnsiLeadByte(unsigned char byte);

// Pointer into path: the text after the last backslash, or after a drive prefix.
char* GetFileNamePart(char* path);
// Pointer into path: the extension without its dot, or the terminating NUL.
char* GetExtensionPart(char* path);
// Replaces or appends the extension; 1 when done, 0 when it would not fit (path unchanged).
int SetExtension(char* path, const char* extension);
// Joins part with one backslash; 1 when done, 0 when it would not fit (path unchanged).
int AppendPathPart(char* path, const char* part);
// The one way to ask whether something exists, the first-match lookup: 1 and the first
// directory entry matching path (wildcards allowed) in *found, else 0.
int FindFirstEntry(const char* path, WIN32_FIND_DATAA* found);
// 1 when something exists under path (wildcards allowed), else 0.
int PathExists(const char* path);
// Size of the first entry matching path (low 32 bits), 0 when nothing is found.
DWORD GetFileLength(const char* path);
// Writes the temporary directory into buffer (260 bytes) and creates its last level when missing.
void EnsureTempDirectory(char* buffer);
// A function of KERNEL32.dll looked up rather than imported, so that the setup still starts
// on a system without it; null where there is none.
FARPROC GetKernelFunction(const char* name);
// The path of a file in the system directory (path: system directory + name) by which 64-bit
// programs, and the system at its next start, find it: path itself, except in a 32-bit
// process on 64-bit Windows. There the process's system directory is redirected to the
// 32-bit one (SysWOW64) while it still calls it system32, a name that leads 64-bit programs
// into the real system32; the result names the 32-bit system directory by its own name.
void GetUnredirectedPath(const char* path, char* unredirected);
// 1 when path, a file in the system directory as a 32-bit process on 64-bit Windows names it,
// names another file for 64-bit programs: they read system32 as the real one, where a file of
// that name exists (looked up through Sysnative, by path's own file name, since its short
// name there may differ). Always 0 in a 64-bit process, which is never redirected.
int NamesAnotherFileForNativePrograms(const char* path);
