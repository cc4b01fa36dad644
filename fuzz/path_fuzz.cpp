// libFuzzer target for the path scans, every one of them, under code page 932's lead bytes and
// under a single-byte code page's (no lead bytes). The input is a path (up to 259 bytes, cut at
// its first NUL) followed by the text to append or to set as extension. Every string lies in a
// heap block of exactly its size and every edited path in a block of exactly 260 bytes, so that
// the address sanitizer stops any read or write beyond them. The results are held to a plain
// byte-by-byte reading of the rules, written here independently of the scans:
//   - characters are a lead byte with the byte after it, otherwise one byte;
//   - the file-name part starts after the last one-byte backslash that another byte follows,
//     the extension after the last qualifying dot that no backslash follows;
//   - a join collapses doubled backslashes in one pass; an edit that would not fit in 259
//     bytes is refused and leaves the buffer as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "support/pathscan.h"

namespace {

// A NUL-terminated copy of text in a block of exactly its size.
char* ExactCopy(const std::string& text)
{
    char* block = static_cast<char*>(malloc(text.size() + 1));
    memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

// A 260-byte path buffer holding text (at most 259 bytes).
char* PathBuffer(const std::string& text)
{
    char* block = static_cast<char*>(malloc(kPathBufferSize));
    memset(block, 0x5A, kPathBufferSize);
    memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

// Positions of the one-byte characters of text (a lead byte right before the end is one).
std::vector<size_t> SingleByteCharacters(const std::string& text, LeadByteTest isLead)
{
    std::vector<size_t> positions;
    for (size_t i = 0; i < text.size();) {
        if (isLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            i += 2;
            continue;
        }
        positions.push_back(i);
        ++i;
    }
    return positions;
}

size_t ExpectedFileNamePart(const std::string& path, LeadByteTest isLead)
{
    size_t candidate = std::string::npos;
    for (size_t i : SingleByteCharacters(path, isLead))
        if (path[i] == '\\')
            candidate = i + 1 < path.size() ? i + 1 : std::string::npos;
    if (candidate != std::string::npos)
        return candidate;
    if (path.size() < 2 || path[1] != ':')
        return 0;
    return path.size() == 3 ? 3 : 2;
}

size_t ExpectedExtensionPart(const std::string& path, LeadByteTest isLead)
{
    size_t candidate = std::string::npos;
    for (size_t i : SingleByteCharacters(path, isLead)) {
        if (path[i] == '.' && i + 1 < path.size() && path[i + 1] != ' ')
            candidate = i + 1;
        else if (path[i] == '\\')
            candidate = std::string::npos;
    }
    return candidate != std::string::npos ? candidate : path.size();
}

std::string ExpectedJoin(const std::string& path, const std::string& part, LeadByteTest isLead)
{
    std::string s = path + "\\" + part;
    for (size_t i = 0; i < s.size(); ++i) {
        if (isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        if (i != 0 && s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\')
            s.erase(i, 1);  // the backslash that remains is passed over
    }
    return s;
}

std::string ExpectedExtensionChange(const std::string& path, const std::string& extension, LeadByteTest isLead)
{
    if (extension.empty())
        return path;
    size_t at = ExpectedExtensionPart(path, isLead);
    if (at < path.size())
        return path.substr(0, at) + extension;
    return path + (path.empty() || path.back() != '.' ? "." : "") + extension;
}

// An edit of a 260-byte buffer: done as expected, or refused when the result would not fit
// and the buffer then left exactly as it was (the bytes behind the NUL included).
void CheckEdit(char* buffer, const char* before, int done, const std::string& expected)
{
    if (expected.size() < kPathBufferSize) {
        Require(done == 1);
        Require(expected == buffer);
    } else {
        Require(done == 0);
        Require(memcmp(buffer, before, kPathBufferSize) == 0);
    }
}

void CheckAll(const std::string& path, const std::string& text, LeadByteTest isLead)
{
    char* exact = ExactCopy(path);
    Require(ScanFileNamePart(exact, isLead) == exact + ExpectedFileNamePart(path, isLead));
    Require(ScanExtensionPart(exact, isLead) == exact + ExpectedExtensionPart(path, isLead));
    std::vector<size_t> singles = SingleByteCharacters(path, isLead);
    Require(EndsInSeparator(exact, isLead) == (!singles.empty() && singles.back() == path.size() - 1 &&
                                               path.back() == '\\'));
    free(exact);

    char* extension = ExactCopy(text);
    char* buffer = PathBuffer(path);
    char before[kPathBufferSize];
    memcpy(before, buffer, kPathBufferSize);
    CheckEdit(buffer, before, ScanSetExtension(buffer, extension, isLead),
              ExpectedExtensionChange(path, text, isLead));
    Require(ScanSetExtension(buffer, nullptr, isLead) == 1);
    free(buffer);

    buffer = PathBuffer(path);
    memcpy(before, buffer, kPathBufferSize);
    CheckEdit(buffer, before, ScanAppendPathPart(buffer, extension, isLead), ExpectedJoin(path, text, isLead));
    memcpy(before, buffer, kPathBufferSize);
    Require(ScanAppendPathPart(buffer, nullptr, isLead) == 1 && ScanAppendPathPart(nullptr, extension, isLead) == 1);
    Require(memcmp(buffer, before, kPathBufferSize) == 0);
    free(buffer);
    free(extension);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t pathLength = strnlen(bytes, size < kPathBufferSize - 1 ? size : kPathBufferSize - 1);
    std::string path(bytes, pathLength);
    size_t rest = pathLength < size && data[pathLength] == '\0' ? pathLength + 1 : pathLength;
    std::string text(bytes + rest, strnlen(bytes + rest, size - rest));
    CheckAll(path, text, IsCp932LeadByte);
    CheckAll(path, text, IsNeverLead);
    return 0;
}
