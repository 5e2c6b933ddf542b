# Shared part of the mingw-w64 toolchains: the including file sets
# GATEWAY_MINGW_ARCH (x86_64 or i686) first. Posix threads (std::thread), and
# every program linked statically, so it needs no DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${GATEWAY_MINGW_ARCH})
set(GATEWAY_MINGW_HOST ${GATEWAY_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${GATEWAY_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GATEWAY_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${GATEWAY_MINGW_HOST}-windres)

# Libraries and headers come from the cross root only (Debian's mingw
# packages) and from the folders the project adds (the cross-built OpenSSL and
# libcurl); programs are the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${GATEWAY_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
