# The dependencies of the Windows cross-build (cmake/mingw-*.cmake):
# - OpenSSL and libcurl, static, cross-built from Debian's source packages by
#   scripts/build-windows-deps.sh into a cache outside the checkout;
#   GATEWAY_WINDOWS_DEPS names its folder, and the script is run when it is
#   not given;
# - zlib from Debian's mingw package (libz-mingw-w64-dev), the static archive;
# - nlohmann's JSON, header-only, from the build machine's package;
# - GoogleTest compiled here from Debian's sources (/usr/src/googletest).
set(GATEWAY_WINDOWS_DEPS "" CACHE PATH "Folder of the cross-built OpenSSL and libcurl")
if(NOT GATEWAY_WINDOWS_DEPS)
  message(STATUS "Building or reusing OpenSSL and libcurl for ${CMAKE_SYSTEM_PROCESSOR}")
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-windows-deps.sh ${CMAKE_SYSTEM_PROCESSOR}
    OUTPUT_VARIABLE deps_folder OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE deps_failed)
  if(deps_failed)
    message(FATAL_ERROR "scripts/build-windows-deps.sh ${CMAKE_SYSTEM_PROCESSOR} failed")
  endif()
  set(GATEWAY_WINDOWS_DEPS ${deps_folder} CACHE PATH
      "Folder of the cross-built OpenSSL and libcurl" FORCE)
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${GATEWAY_WINDOWS_DEPS})

set(OPENSSL_USE_STATIC_LIBS ON)
find_package(OpenSSL 3 REQUIRED)
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(CURL CONFIG REQUIRED)

# The JSON headers are the same on every platform; only their folder is
# exposed to the cross-compiler, not the rest of the build machine's headers.
set(json_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${json_headers})
file(CREATE_LINK /usr/include/nlohmann ${json_headers}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${json_headers})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Its project defines the GTest:: names the tests link against.
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The system libraries the platform layer calls: sockets, the service manager
# and the registry, GUIDs, file versions, the shell, windows and controls.
set(GATEWAY_SYSTEM_LIBRARIES ws2_32 advapi32 rpcrt4 version shell32 user32 gdi32 comctl32)
