// Writes the C++ source of the Linux builder's code page 932 table (code_page.cpp), made at
// build time from the build machine's iconv, so that the builder, linked statically, needs no
// conversion modules on the machine it runs on. Every two-byte code that decodes is listed with
// its character; the code that iconv gives back for a character comes before any other code of
// the same character (the NEC and IBM rows repeat some), so that the first match of a search by
// character is the code that Windows writes for it.
#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Pair {
    unsigned code, character;
};

// The character of the code page 932 bytes in (1 or 2 of them), or 0 when they stand for none.
unsigned Decode(iconv_t cd, const char* in, size_t length)
{
    char inBuffer[2], outBuffer[8];
    memcpy(inBuffer, in, length);
    char *from = inBuffer, *to = outBuffer;
    size_t left = length, room = sizeof outBuffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &from, &left, &to, &room) == static_cast<size_t>(-1) || left != 0 || room != 4)
        return 0;
    return static_cast<unsigned char>(outBuffer[0]) | static_cast<unsigned char>(outBuffer[1]) << 8 |
           static_cast<unsigned char>(outBuffer[2]) << 16;
}

// The code iconv writes for a character, or 0.
unsigned Encode(iconv_t cd, unsigned character)
{
    char inBuffer[4] = {static_cast<char>(character), static_cast<char>(character >> 8), static_cast<char>(character >> 16), 0};
    char outBuffer[4];
    char *from = inBuffer, *to = outBuffer;
    size_t left = 4, room = sizeof outBuffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &from, &left, &to, &room) == static_cast<size_t>(-1) || room != 2)
        return 0;
    return static_cast<unsigned char>(outBuffer[0]) << 8 | static_cast<unsigned char>(outBuffer[1]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: cp932_table_gen OUT.cpp\n");
        return 1;
    }
    iconv_t decode = iconv_open("UTF-32LE", "CP932"), encode = iconv_open("CP932", "UTF-32LE");
    if (decode == reinterpret_cast<iconv_t>(-1) || encode == reinterpret_cast<iconv_t>(-1)) {
        fprintf(stderr, "cp932_table_gen: this iconv has no CP932\n");
        return 1;
    }
    std::vector<Pair> preferred, others;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            unsigned character = Decode(decode, bytes, 2);
            if (character == 0)
                continue;
            Pair p = {lead << 8 | trail, character};
            (Encode(encode, character) == p.code ? preferred : others).push_back(p);
        }
    }
    iconv_close(decode);
    iconv_close(encode);
    if (preferred.size() < 7000) {
        fprintf(stderr, "cp932_table_gen: only %zu codes decoded\n", preferred.size());
        return 1;
    }
    FILE* out = fopen(argv[1], "w");
    if (!out) {
        perror(argv[1]);
        return 1;
    }
    fprintf(out, "// Written by cp932_table_gen at build time.\n#include \"tools/mksetup/code_page.h\"\n\n"
                 "const Cp932Pair kCp932Pairs[] = {\n");
    for (const std::vector<Pair>* list : {&preferred, &others})
        for (const Pair& p : *list)
            fprintf(out, "{0x%04X,0x%04X},\n", p.code, p.character);
    fprintf(out, "};\nconst size_t kCp932PairCount = sizeof kCp932Pairs / sizeof kCp932Pairs[0];\n");
    return fclose(out) == 0 ? 0 : 1;
}
