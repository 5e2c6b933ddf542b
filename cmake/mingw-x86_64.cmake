# Cross-build for 64-bit Windows with mingw-w64:
#   cmake -S . -B build-win-x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# CTest runs the test programs through Wine.
set(GATEWAY_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

find_program(GATEWAY_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${GATEWAY_WINE})
