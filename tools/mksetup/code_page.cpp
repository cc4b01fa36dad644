// Code page 932 for the builder: the system's own conversion on Windows, the table made from
// the build machine's iconv elsewhere (see code_page.h).
#include "tools/mksetup/code_page.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The characters of a UTF-8 text; 0 at a byte sequence that is no UTF-8 (overlong forms and
// surrogates included).
int DecodeUtf8(const std::string& text, std::u32string* out)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (more == 4 || text.size() - i <= more)
            return 0;
        char32_t value = more == 0 ? c : c & (0x3F >> more);
        for (size_t k = 1; k <= more; ++k) {
            unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return 0;
            value = value << 6 | (t & 0x3F);
        }
        static const char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (value < kLeast[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return 0;
        out->push_back(value);
        i += more + 1;
    }
    return 1;
}

void AppendUtf8(std::string* out, char32_t c)
{
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | c >> 6);
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | c >> 12);
        *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | c >> 18);
        *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf8Of(char32_t c)
{
    std::string s;
    AppendUtf8(&s, c);
    return s;
}

#ifndef _WIN32
// Code page 932's one-byte characters: ASCII and the half-width katakana.
int IsSingleByteCp932(char32_t c, unsigned* code)
{
    if (c < 0x80)
        *code = static_cast<unsigned>(c);
    else if (c >= 0xFF61 && c <= 0xFF9F)
        *code = static_cast<unsigned>(c - 0xFF61 + 0xA1);
    else
        return 0;
    return 1;
}
#endif

}  // namespace

int Cp932FromUtf8(const std::string& utf8, std::string* cp932, std::string* why)
{
    std::u32string characters;
    if (!DecodeUtf8(utf8, &characters)) {
        *why = "it is no UTF-8 text";
        return 0;
    }
    cp932->clear();
    for (char32_t c : characters) {
#ifdef _WIN32
        // One character at a time, so that the refusal names it; no best fit ("a" for "a with
        // an accent"), and back again to be sure the system wrote that very character.
        std::wstring wide = WideFromUtf8(Utf8Of(c));
        char bytes[8];
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), bytes,
                                    sizeof bytes, nullptr, &usedDefault);
        wchar_t back[4];
        int m = n > 0 ? MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, n, back, 4) : 0;
        if (n <= 0 || usedDefault || m != static_cast<int>(wide.size()) || wide.compare(0, wide.size(), back, m) != 0) {
            *why = "code page 932 has no \"" + Utf8Of(c) + "\"";
            return 0;
        }
        cp932->append(bytes, n);
#else
        unsigned code = 0;
        if (!IsSingleByteCp932(c, &code)) {
            for (size_t k = 0; k < kCp932PairCount && code == 0; ++k)
                if (kCp932Pairs[k].character == c)
                    code = kCp932Pairs[k].code;
            if (code == 0) {
                *why = "code page 932 has no \"" + Utf8Of(c) + "\"";
                return 0;
            }
            *cp932 += static_cast<char>(code >> 8);
        }
        *cp932 += static_cast<char>(code & 0xFF);
#endif
    }
    return 1;
}

std::string Utf8FromCp932(const std::string& cp932)
{
#ifdef _WIN32
    int n = MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), &wide[0], n);
    return Utf8FromWide(wide.data(), wide.size());
#else
    std::string out;
    for (size_t i = 0; i < cp932.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(cp932[i]);
        char32_t character = 0xFFFD;
        if (c < 0x80) {
            character = c;
        } else if (c >= 0xA1 && c <= 0xDF) {
            character = c - 0xA1 + 0xFF61;
        } else if (i + 1 < cp932.size()) {
            unsigned code = c << 8 | static_cast<unsigned char>(cp932[i + 1]);
            for (size_t k = 0; k < kCp932PairCount; ++k)
                if (kCp932Pairs[k].code == code) {
                    character = kCp932Pairs[k].character;
                    ++i;
                    break;
                }
        }
        AppendUtf8(&out, character);
    }
    return out;
#endif
}

#ifdef _WIN32
std::wstring WideFromUtf8(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string Utf8FromWide(const wchar_t* wide, size_t length)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), &utf8[0], n, nullptr, nullptr);
    return utf8;
}
#endif
