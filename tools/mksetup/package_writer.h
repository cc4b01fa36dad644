// Writing the setup file's layout (see setup/package.h for the map): the stub's image, the
// SetupBoundary, the 260-byte name field and the screen-saver file. Shared by the package
// builder and the tests that make packages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<unsigned char> ByteVector;

// stub + SetupBoundary + name field (name, NUL-filled to 260 bytes) + saver. The name is
// written as given, at most 259 bytes of it; judging it is the caller's business.
ByteVector BuildPackage(const ByteVector& stub, const std::string& name, const ByteVector& saver);

// A screen saver's data block: SaverBoundary, the 132 settings bytes, L, a reserved word,
// the two counted strings, a reserved word and the logo DIB (L = its length).
ByteVector BuildSaverDataBlock(const ByteVector& settings132, const std::string& first, const std::string& second,
                               const ByteVector& logoDib);

int ReadWholeFile(const std::string& path, ByteVector* bytes);
int WriteWholeBytes(const std::string& path, const ByteVector& bytes);
