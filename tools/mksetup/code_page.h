// The texts of the builder: it works in UTF-8 (the Linux command line, and mksetup.exe's
// UTF-16 command line converted), and the package's name field is code page 932, the code page
// the setup reads it in, whatever system built the package.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// 1 and the code page 932 bytes of the UTF-8 text; 0 and *why when the text is no UTF-8 or
// holds a character that code page 932 has not.
int Cp932FromUtf8(const std::string& utf8, std::string* cp932, std::string* why);

// The UTF-8 text of code page 932 bytes (judged whole by the caller); a byte that stands for
// nothing becomes U+FFFD.
std::string Utf8FromCp932(const std::string& cp932);

#ifdef _WIN32
#include <string>
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const wchar_t* wide, size_t length);
#else
// The two-byte codes of code page 932 and their characters (cp932_table_gen writes them).
struct Cp932Pair {
    uint16_t code, character;
};
extern const Cp932Pair kCp932Pairs[];
extern const size_t kCp932PairCount;
#endif
