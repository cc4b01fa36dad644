// Writes the starting corpus of the package fuzz target into a directory: whole packages made by
// the package writer (with and without a logo, with a second marker in the payload, with lengths
// that run past the end, signed) and a few bare name fields, so that the fuzzer starts from the
// layout instead of finding the markers by chance.
#include <cstdio>
#include <string>

#include "setup/package.h"
#include "tools/mksetup/package_writer.h"

namespace {

ByteVector Bytes(const std::string& s)
{
    return ByteVector(s.begin(), s.end());
}

int Write(const std::string& dir, const std::string& name, const ByteVector& bytes)
{
    if (WriteWholeBytes(dir + "/" + name, bytes))
        return 1;
    fprintf(stderr, "package_seeds: cannot write %s/%s\n", dir.c_str(), name.c_str());
    return 0;
}

ByteVector Join(ByteVector a, const ByteVector& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: package_seeds DIR\n");
        return 1;
    }
    std::string dir = argv[1];
    ByteVector stub = Bytes("MZ stub image ");
    ByteVector saver = Bytes("saver image ");
    ByteVector logo(64, 0x42);
    ByteVector block = BuildSaverDataBlock(ByteVector(), "first", "second", logo);
    ByteVector noLogo = BuildSaverDataBlock(ByteVector(), "", "", ByteVector());
    ByteVector cut(block.begin(), block.end() - 10);  // L runs past the end

    ByteVector twice = Join(Join(saver, block), BuildPackage(ByteVector(), "inner.scr", saver));
    int ok = Write(dir, "logo", BuildPackage(stub, "abc.scr", Join(saver, block))) &&
             Write(dir, "nologo", BuildPackage(stub, "a.b.scr", Join(saver, noLogo))) &&
             Write(dir, "cut", BuildPackage(stub, "cut.scr", Join(saver, cut))) &&
             Write(dir, "twice", BuildPackage(stub, "two.scr", twice)) &&
             Write(dir, "empty", BuildPackage(stub, "empty.scr", ByteVector())) &&
             Write(dir, "cp932", BuildPackage(stub, "\x83\x5c\x83\x74\x83\x67.scr", Join(saver, block))) &&
             Write(dir, "device", BuildPackage(stub, "COM1.scr", Join(saver, block))) &&
             Write(dir, "block", block) &&
             Write(dir, "signed", AppendCertificateTable(BuildPackage(BuildHeaderOnlyImage(true), "signed.scr",
                                                                      Join(saver, block), kCertificateAlignment),
                                                         Bytes("signature"))) &&
             Write(dir, "signed32", AppendCertificateTable(BuildPackage(BuildHeaderOnlyImage(false), "s.scr", saver),
                                                           Bytes("another signature")));
    return ok ? 0 : 1;
}
