// Temporary and numbered file names, built on the path utilities, and the whole-file writer.
// Every result is checked to fit its 260-byte buffer before it is written there: a name
// that would not fit is refused (an empty result), never cut into some other name.
#include "support/tempname.h"

#include "support/paths.h"

static const DWORD kRetryPause = 10;          // ms between two temporary-name candidates
static const int kFurtherCandidates = 1000;   // candidates tried after the first one

// 1 when an entry with the base name of name exists, whatever its extension (the name's
// extension set to "*"). A name whose pattern would not fit is reported as taken: nothing
// could be told about it.
static int IsTakenTempName(const char* name)
{
    char pattern[MAX_PATH];
    lstrcpynA(pattern, name, MAX_PATH);
    return !SetExtension(pattern, "*") || PathExists(pattern);
}

// The directory that temporary names go into: the given one when it is a directory or
// names nothing (then it is used as it stands), else the temporary directory. 0 when that
// is not at hand.
static int ChooseTempBase(const char* directory, char* base)
{
    base[0] = '\0';
    if (directory && directory[0] != '\0') {
        if (lstrlenA(directory) >= MAX_PATH)
            return 0;
        lstrcpyA(base, directory);
        WIN32_FIND_DATAA found;
        if (!FindFirstEntry(base, &found) || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return 1;
        base[0] = '\0';
    }
    EnsureTempDirectory(base);
    return base[0] != '\0';
}

// base\<new time stamp>.TMP into candidate; 0 when it would not fit.
static int MakeTempCandidate(const char* base, char* candidate)
{
    char stamp[20];
    MakeTimeStampName(stamp);
    lstrcpyA(candidate, base);
    return AppendPathPart(candidate, stamp) && SetExtension(candidate, "TMP");
}

// The decimal number in digits (at most MAX_PATH - 1 of them, no sign) plus one, in place:
// a number kept as text has no largest value, so no run of digits in a name can overflow
// it. 0 when the result would not fit the buffer.
static int IncrementNumberText(char* digits)
{
    int length = lstrlenA(digits);
    int carry = length;  // the 9s at the end turn into 0s
    while (carry > 0 && digits[carry - 1] == '9')
        --carry;
    if (carry == 0 && length + 1 >= MAX_PATH)
        return 0;
    for (int i = carry; i < length; ++i)
        digits[i] = '0';
    if (carry > 0) {
        ++digits[carry - 1];
        return 1;
    }
    for (int i = length; i >= 0; --i)
        digits[i + 1] = digits[i];  // the digits and their NUL, one byte up
    digits[0] = '1';
    return 1;
}

// Takes the run of ASCII digits off the end of base (its first byte always stays, and so
// does the second byte of a double-byte character) and gives their value plus one in
// number, without leading zeros; number stays as it is when there were none.
static void TakeTrailingNumber(char* base, char* number)
{
    int end = lstrlenA(base);
    int cut = end;
    while (cut > 1 && !IsAnsiLeadByte(static_cast<unsigned char>(base[cut - 2])) && base[cut - 1] >= '0' &&
           base[cut - 1] <= '9')
        --cut;
    if (cut == end)
        return;
    const char* digits = base + cut;
    while (*digits == '0' && digits[1] != '\0')
        ++digits;
    lstrcpyA(number, digits);
    base[cut] = '\0';
    IncrementNumberText(number);
}

// prefix, base, number, a dot and extension into candidate; 0 when that would not fit.
static int FormatNumberedCandidate(const char* prefix, const char* base, const char* number, const char* extension,
                            char* candidate)
{
    int length = lstrlenA(prefix) + lstrlenA(base) + lstrlenA(number) + 1 + lstrlenA(extension);
    if (length >= MAX_PATH)
        return 0;
    wsprintfA(candidate, "%s%s%s.%s", prefix, base, number, extension);
    return 1;
}

// 1 with *taken when the lookup of name's base name with any extension could be made; 0
// when that pattern would not fit.
static int LookUpBaseName(const char* name, int* taken)
{
    char pattern[MAX_PATH];
    lstrcpynA(pattern, name, MAX_PATH);
    if (!SetExtension(pattern, "*"))
        return 0;
    WIN32_FIND_DATAA found;
    *taken = FindFirstEntry(pattern, &found);
    return 1;
}

void FormatTimeStampName(const SYSTEMTIME* time, char* buffer)
{
    // Four digits of the year, as the name has room for.
    wsprintfA(buffer, "%04d%02d%02d_%02d%02d%02d%03d", time->wYear % 10000, time->wMonth, time->wDay, time->wHour,
              time->wMinute, time->wSecond, time->wMilliseconds);
}

void MakeTimeStampName(char* buffer)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatTimeStampName(&now, buffer);
}

void MakeUniqueTempName(const char* directory, char* result)
{
    result[0] = '\0';
    char base[MAX_PATH];
    char candidate[MAX_PATH];
    if (!ChooseTempBase(directory, base) || !MakeTempCandidate(base, candidate))
        return;
    // The time stamp changes with the clock: a pause, and the next candidate is new.
    for (int further = 0; IsTakenTempName(candidate); ++further) {
        Sleep(kRetryPause);
        if (further == kFurtherCandidates)
            return;  // every candidate was taken: no name is handed out as free
        MakeTempCandidate(base, candidate);
    }
    lstrcpyA(result, candidate);
}

void MakeTempName(char* result)
{
    char base[MAX_PATH] = {};
    char candidate[MAX_PATH];
    result[0] = '\0';
    EnsureTempDirectory(base);
    if (base[0] != '\0' && MakeTempCandidate(base, candidate))
        lstrcpyA(result, candidate);
}

void MakeNumberedName(char* path)
{
    char prefix[MAX_PATH];
    lstrcpynA(prefix, path, MAX_PATH);
    int taken = 0;
    if (!LookUpBaseName(prefix, &taken)) {
        path[0] = '\0';
        return;
    }
    if (!taken)
        return;

    char extension[MAX_PATH];
    char base[MAX_PATH];
    char number[MAX_PATH] = "0";
    lstrcpyA(extension, GetExtensionPart(prefix));
    char* name = GetFileNamePart(prefix);
    lstrcpyA(base, name);
    *name = '\0';  // prefix: the directory part, a drive prefix, or nothing
    // The digits of a name without an extension are part of its base name.
    char* baseExtension = GetExtensionPart(base);
    if (*baseExtension != '\0') {
        baseExtension[-1] = '\0';
        TakeTrailingNumber(base, number);
    }

    char candidate[MAX_PATH];
    for (;;) {
        if (!FormatNumberedCandidate(prefix, base, number, extension, candidate) ||
            !LookUpBaseName(candidate, &taken)) {
            path[0] = '\0';
            return;
        }
        if (!taken)
            break;
        // The next number is never shorter: once a candidate does not fit, none will.
        if (!IncrementNumberText(number)) {
            path[0] = '\0';
            return;
        }
    }
    int length = lstrlenA(candidate);
    if (candidate[length - 1] == '.')
        candidate[length - 1] = '\0';
    lstrcpyA(path, candidate);
}

int WriteWholeFile(const char* fileName, const void* data, DWORD length)
{
    // The bytes go to a free name in the same directory first ("." for the current one).
    char directory[MAX_PATH];
    if (lstrlenA(fileName) >= MAX_PATH)
        return 0;
    lstrcpyA(directory, fileName);
    char* name = GetFileNamePart(directory);
    *name = '\0';
    if (name == directory || name[-1] == ':')
        lstrcatA(directory, ".");
    char temporary[MAX_PATH];
    MakeUniqueTempName(directory, temporary);
    if (temporary[0] == '\0')
        return 0;

    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, length, &written, nullptr);
    ok = CloseHandle(file) && ok;
    if (ok && written == length && MoveFileExA(temporary, fileName, MOVEFILE_REPLACE_EXISTING))
        return 1;
    DeleteFileA(temporary);
    return 0;
}
