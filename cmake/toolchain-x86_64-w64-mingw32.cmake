# Cross build for 64-bit Windows with Debian's mingw-w64; tests run under Wine's 64-bit loader
# (the one scripts/lib/wine-env.sh chose).
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine64-run)
