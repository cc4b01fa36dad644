// Double-byte-safe path scans. Every forward walk uses the one character scan below, so a
// lead byte and its trail byte are always stepped over together.
#include "support/pathscan.h"

#include <cstring>

// The character scan: calls visit(position) for every one-byte character of path (a lead
// byte right before the NUL counts as one), skipping double-byte characters whole. visit
// returns how far to move on from the examined byte (normally 1).
template <typename Visit>
static void ScanCharacters(char* path, LeadByteTest isLead, Visit visit)
{
    char* p = path;
    for (;;) {
        while (isLead(static_cast<unsigned char>(*p)) && p[1] != '\0')
            p += 2;
        if (*p == '\0')
            return;
        bool last = p[1] == '\0';
        size_t step = visit(p);
        if (last)
            return;
        p += step;
    }
}

// Length of text, at most limit: the scans count and move bytes with their own loops
// rather than the C library's, which the setup would import from a DLL of their own.
static size_t TextLength(const char* text, size_t limit = static_cast<size_t>(-1))
{
    size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    return length;
}

char* ScanFileNamePart(char* path, LeadByteTest isLead)
{
    char* candidate = nullptr;
    if (*path != '\0') {
        ScanCharacters(path, isLead, [&](char* p) -> size_t {
            if (*p == '\\')
                candidate = p[1] != '\0' ? p + 1 : nullptr;
            return 1;
        });
    }
    if (candidate)
        return candidate;
    if (path[0] == '\0' || path[1] != ':')
        return path;
    size_t length = TextLength(path);
    return length == 3 ? path + 3 : path + 2;
}

char* ScanExtensionPart(char* path, LeadByteTest isLead)
{
    if (*path == '\0')
        return path;
    char* candidate = nullptr;
    ScanCharacters(path, isLead, [&](char* p) -> size_t {
        if (*p == '.' && p[1] != '\0' && p[1] != ' ')
            candidate = p + 1;
        else if (*p == '\\')
            candidate = nullptr;
        return 1;
    });
    return candidate ? candidate : path + TextLength(path);
}

int ScanSetExtension(char* path, const char* extension, LeadByteTest isLead)
{
    if (!extension || *extension == '\0')
        return 1;
    size_t length = TextLength(path);
    size_t extLength = TextLength(extension, kPathBufferSize);
    char* current = ScanExtensionPart(path, isLead);
    if (*current != '\0') {
        size_t kept = static_cast<size_t>(current - path);
        if (kept + extLength >= kPathBufferSize)
            return 0;
        memcpy(current, extension, extLength + 1);
        return 1;
    }
    bool addDot = length == 0 || path[length - 1] != '.';
    if (length + (addDot ? 1 : 0) + extLength >= kPathBufferSize)
        return 0;
    if (addDot)
        path[length++] = '.';
    memcpy(path + length, extension, extLength + 1);
    return 1;
}

int ScanAppendPathPart(char* path, const char* part, LeadByteTest isLead)
{
    if (!path || !part)
        return 1;
    // Joined in a work buffer first: collapsing may shorten a result that would not fit
    // before it, and a refused join must leave the caller's buffer untouched.
    char joined[3 * kPathBufferSize];
    size_t length = TextLength(path, kPathBufferSize);
    size_t partLength = TextLength(part, sizeof joined);
    if (length + 1 + partLength + 1 > sizeof joined)
        return 0;
    memcpy(joined, path, length);
    joined[length] = '\\';
    memcpy(joined + length + 1, part, partLength);
    joined[length + 1 + partLength] = '\0';

    ScanCharacters(joined, isLead, [&](char* p) -> size_t {
        if (p != joined && p[0] == '\\' && p[1] == '\\') {
            for (char* q = p; *q != '\0'; ++q)
                q[0] = q[1];  // the rest, its NUL included, one byte down
            return 1;  // on past the backslash that remains, without looking at it again
        }
        return 1;
    });

    size_t joinedLength = TextLength(joined);
    if (joinedLength >= kPathBufferSize)
        return 0;
    memcpy(path, joined, joinedLength + 1);
    return 1;
}

int EndsInSeparator(const char* path, LeadByteTest isLead)
{
    const char* last = nullptr;
    const char* p = path;
    while (*p != '\0') {
        last = p;
        p += (isLead(static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
    }
    return last && last[0] == '\\' && last[1] == '\0';
}
