// The setup stubs built into mksetup: the bytes of SETUP.exe for x86 and x64 of the same build,
// written into a source file at build time (cmake/embed-stubs.cmake), so that the builder is one
// file and --stub is needed only for a stub of one's own.
#pragma once
#include <string>

#include "tools/mksetup/package_writer.h"

// 1 and the bytes of the stub for arch ("x86" or "x64"); 0 for another arch, or when this
// mksetup was built without the stubs.
int FindEmbeddedStub(const std::string& arch, ByteVector* stub);
