#pragma once

#include <cstdint>

// A Windows-style version resource (VS_VERSIONINFO holding only its fixed file
// information) as a constant, so that a Linux binary can carry its version the
// way a Windows file does. Place one in the ELF section kVersionSectionName:
//
//   [[gnu::used, gnu::section(".vs_version_info")]] constexpr VersionBlock kVersion =
//       MakeVersionBlock(1, 0, 12, 0);
//
// The platform's FileVersion reads it back with the parser that also reads the
// version resource of a Windows PE file. Header-only, without dependencies, so
// any binary of the project can include it.

namespace platform {

inline constexpr char kVersionSectionName[] = ".vs_version_info";

struct VsFixedFileInfo {
  std::uint32_t dwSignature;
  std::uint32_t dwStrucVersion;
  std::uint32_t dwFileVersionMS;
  std::uint32_t dwFileVersionLS;
  std::uint32_t dwProductVersionMS;
  std::uint32_t dwProductVersionLS;
  std::uint32_t dwFileFlagsMask;
  std::uint32_t dwFileFlags;
  std::uint32_t dwFileOS;
  std::uint32_t dwFileType;
  std::uint32_t dwFileSubtype;
  std::uint32_t dwFileDateMS;
  std::uint32_t dwFileDateLS;
};

// Little-endian layout of VS_VERSIONINFO: lengths, type, the UTF-16 key
// "VS_VERSION_INFO" with its terminator, padding to 32 bits, the fixed info.
struct VersionBlock {
  std::uint16_t wLength;
  std::uint16_t wValueLength;
  std::uint16_t wType;
  char16_t szKey[16];
  std::uint16_t padding;
  VsFixedFileInfo value;
};
static_assert(sizeof(VersionBlock) == 92, "VS_VERSIONINFO layout");

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

constexpr VersionBlock MakeVersionBlock(std::uint16_t major, std::uint16_t minor,
                                        std::uint16_t release, std::uint16_t build) {
  const std::uint32_t ms = (std::uint32_t{major} << 16) | minor;
  const std::uint32_t ls = (std::uint32_t{release} << 16) | build;
  return VersionBlock{
      sizeof(VersionBlock),
      sizeof(VsFixedFileInfo),
      0,
      u"VS_VERSION_INFO",
      0,
      {kFixedFileInfoSignature, 0x00010000, ms, ls, ms, ls, 0x3F, 0, 0x40004, 1, 0, 0, 0}};
}

}  // namespace platform
