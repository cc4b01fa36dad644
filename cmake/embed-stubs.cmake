# Run as cmake -DSTUB_X86=... -DSTUB_X64=... -DOUT=... -P embed-stubs.cmake at build time:
# writes OUT, the C++ source of FindEmbeddedStub (tools/mksetup/embedded_stubs.h) holding the
# two stubs' bytes, so that mksetup carries the stubs of its own build. Without the two paths
# it writes a FindEmbeddedStub that finds none (a tree configured without the stubs' trees).
set(text "// Written by cmake/embed-stubs.cmake at build time.\n#include \"tools/mksetup/embedded_stubs.h\"\n\n")
if(STUB_X86 AND STUB_X64)
  string(APPEND text "namespace {\n")
  foreach(arch x86 x64)
    string(TOUPPER ${arch} ARCH)
    file(READ ${STUB_${ARCH}} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND text "const unsigned char k${arch}[] = {${bytes}};\n")
  endforeach()
  string(APPEND text "}  // namespace\n\n"
    "int FindEmbeddedStub(const std::string& arch, ByteVector* stub)\n{\n"
    "    if (arch == \"x86\")\n        stub->assign(kx86, kx86 + sizeof kx86);\n"
    "    else if (arch == \"x64\")\n        stub->assign(kx64, kx64 + sizeof kx64);\n"
    "    else\n        return 0;\n    return 1;\n}\n")
else()
  string(APPEND text "int FindEmbeddedStub(const std::string&, ByteVector*)\n{\n    return 0;\n}\n")
endif()
# Rewritten only when it changes, so that an unchanged stub recompiles nothing.
file(WRITE ${OUT}.new "${text}")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
