# Cross-build for 32-bit Windows with mingw-w64 (the build that loads the
# library's 32-bit DLL):
#   cmake -S . -B build-win-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# These machines cannot run 32-bit programs, so this build has no emulator:
# it is compiled and linked, not run.
set(GATEWAY_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
