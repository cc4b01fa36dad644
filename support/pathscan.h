// Path-name scans that need nothing of the platform but a lead-byte test: they take paths
// apart and join them in place, stepping over double-byte characters so that the second
// byte of one (0x5C, 0x2E, ...) is never taken for a backslash or a dot. The Win32 build
// passes the ANSI code page's own test; the native build passes a test of its choosing.
#pragma once
#include <cstddef>

enum { kPathBufferSize = 260 };  // MAX_PATH: 259 bytes of text and the NUL

typedef int (*LeadByteTest)(unsigned char byte);

// Pointer into path: first byte of the file-name part (never a copy, never null).
char* ScanFileNamePart(char* path, LeadByteTest isLead);

// Pointer into path: first byte of the extension, or the terminating NUL when there is none.
char* ScanExtensionPart(char* path, LeadByteTest isLead);

// Replaces or appends the extension of the 260-byte buffer path. 1 when done (a null or
// empty extension leaves the path as it is and counts as done), 0 when the result would
// not fit; the buffer is then unchanged.
int ScanSetExtension(char* path, const char* extension, LeadByteTest isLead);

// Joins part to the 260-byte buffer path with one backslash and collapses doubled
// backslashes. 1 when done (null arguments do nothing and count as done), 0 when the
// result would not fit; the buffer is then unchanged.
int ScanAppendPathPart(char* path, const char* part, LeadByteTest isLead);

// 1 when the last character of path is a one-byte backslash (not the second byte of a
// double-byte character).
int EndsInSeparator(const char* path, LeadByteTest isLead);
