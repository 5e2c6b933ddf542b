#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// Reading the version resource of a file: a Windows PE file's RT_VERSION
// resource, or the VS_VERSIONINFO block that our Linux binaries carry in an
// ELF section (VersionBlock.h). Both go through the same block parser.

namespace platform {

// major, minor, release, build.
using FileVersionNumbers = std::array<std::uint16_t, 4>;

// The file version of a VS_VERSIONINFO block: its root value must be a fixed
// file information with the right signature.
std::optional<FileVersionNumbers> ParseVersionBlock(std::string_view block);

// The version resource of a PE image (the first language of RT_VERSION).
std::optional<std::string_view> FindPeVersionResource(std::string_view image);

// The content of the named section of an ELF image (64- or 32-bit, little-endian).
std::optional<std::string_view> FindElfSection(std::string_view image, std::string_view name);

// The version of a whole file's bytes, whichever of the two forms it has.
std::optional<FileVersionNumbers> FileVersionOfImage(std::string_view image);

}  // namespace platform
