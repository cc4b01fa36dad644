# Cross build for 32-bit Windows with Debian's mingw-w64; tests run under Wine, or are
# run emulated by qemu-user where the kernel runs no 32-bit code (scripts/lib/x86-runtime), or
# are reported as skipped with the reason where neither is possible.
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine32-run)
