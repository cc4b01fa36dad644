// Writing the setup file's layout (see setup/package.h for the map): the stub's image, the
// SetupBoundary, the 260-byte name field and the screen-saver file. Shared by the package
// builder and the tests that make packages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<unsigned char> ByteVector;

// stub + SetupBoundary + name field (name, NUL-filled to 260 bytes) + saver. The name is
// written as given, at most 259 bytes of it; judging it is the caller's business. With an
// alignment above 1 the stub's image is followed by zero bytes up to a package length that is
// a multiple of it: kCertificateAlignment lets a signing tool append its table right behind the
// saver, with none of the padding it would otherwise add, which the setup would take for the
// saver's last bytes.
ByteVector BuildPackage(const ByteVector& stub, const std::string& name, const ByteVector& saver,
                        size_t alignment = 1);

// The package signed the way a signing tool lays it out, without a real signature: zero bytes
// up to a multiple of 8, then one WIN_CERTIFICATE (length, revision 2.0, type PKCS#7 signed
// data) holding `certificate`, padded to a multiple of 8, and the image's security directory
// entry naming that table. Empty when the package's image has no PE header with that entry.
ByteVector AppendCertificateTable(const ByteVector& package, const ByteVector& certificate);

// A program image that is only what a signing tool and the setup read of one: the MZ header
// pointing at a PE header at 0x80 (PE32+ when plus, else PE32) with 16 directories, all empty.
// Stands in for the stub where a test or a fuzz seed needs a header that can name a signature.
ByteVector BuildHeaderOnlyImage(bool plus);

// A screen saver's data block: SaverBoundary, the 132 settings bytes, L, a reserved word,
// the two counted strings, a reserved word and the logo DIB (L = its length).
ByteVector BuildSaverDataBlock(const ByteVector& settings132, const std::string& first, const std::string& second,
                               const ByteVector& logoDib);

// The lead-byte ranges of code page 932 (the code page the setup is written for).
int IsCp932Lead(unsigned char byte);
// A test that knows no lead bytes: every byte is a character of its own (single-byte code pages).
int IsNeverLead(unsigned char byte);

// The builder's judgement of a saver name, stricter than the setup's own: the setup judges
// the name with whatever ANSI code page the target machine has, so a name is taken only when
// CheckSaverName accepts it both as code page 932 and as a single-byte code page, and when
// every byte of it is a character that code page 932 defines (a lead byte has a valid second
// byte; 0x80, 0xA0 and 0xFD-0xFF stand for nothing). directoryLength is the length of the
// longest system directory the package should install into. 1 when accepted; else 0 and *why
// holds one line saying what is wrong.
int JudgeSaverName(const std::string& name, size_t directoryLength, std::string* why);

// Files by their UTF-8 paths; a failure leaves the system's error number in errno.
int ReadWholeFile(const std::string& path, ByteVector* bytes);
int WriteWholeBytes(const std::string& path, const ByteVector& bytes);
