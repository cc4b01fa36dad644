// Temporary and numbered file names, and a writer that puts a whole buffer into a file
// without ever leaving a partial one. All names are NUL-terminated paths in 260-byte
// buffers (MAX_PATH); a name is free only at the moment of its test, nothing is reserved.
#pragma once
#include <windows.h>

// The local time as 18 characters, yyyymmdd_hhmmssmmm (20010418_093000000); buffer of at
// least 19 bytes.
void MakeTimeStampName(char* buffer);
// The same for a given time.
void FormatTimeStampName(const SYSTEMTIME* time, char* buffer);

// A free name directory\<time stamp>.TMP into result. A null or empty directory, or one that
// names a file, stands for the temporary directory; a missing one is used as it stands and
// not created. A name is taken when any entry has its base name, whatever the extension.
// The result is empty when no free name fits in 260 bytes or every candidate was taken.
void MakeUniqueTempName(const char* directory, char* result);

// <temporary directory>\<time stamp>.TMP into result, without a test whether it is taken;
// empty when there is no temporary directory or the name would not fit.
void MakeTempName(char* result);

// path holds a wanted name; when an entry with its base name exists (any extension), path
// becomes the next free numbered variant (report12.txt -> report13.txt, report.txt ->
// report0.txt). path is empty when no free variant fits in 260 bytes.
void MakeNumberedName(char* path);

// Writes length bytes of data as the file fileName. The bytes go to a free name beside it
// first and take the file's name only once all of them are written: 1 then; 0 when that
// fails, and then an earlier file of that name is untouched and nothing is left behind.
int WriteWholeFile(const char* fileName, const void* data, DWORD length);
