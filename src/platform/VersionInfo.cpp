#include "platform/VersionInfo.h"

#include <cstring>

#include "platform/VersionBlock.h"

namespace platform {

namespace {

// Little-endian reads that fail instead of reading past the end.
struct Bytes {
  std::string_view data;

  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= data.size() && size <= data.size() - offset;
  }
  std::uint64_t Read(std::uint64_t offset, int size) const {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
      value = (value << 8) | static_cast<unsigned char>(data[offset + static_cast<unsigned>(i)]);
    }
    return value;
  }
  std::optional<std::uint64_t> U16(std::uint64_t offset) const {
    return Has(offset, 2) ? std::optional(Read(offset, 2)) : std::nullopt;
  }
  std::optional<std::uint64_t> U32(std::uint64_t offset) const {
    return Has(offset, 4) ? std::optional(Read(offset, 4)) : std::nullopt;
  }
  std::optional<std::uint64_t> U64(std::uint64_t offset) const {
    return Has(offset, 8) ? std::optional(Read(offset, 8)) : std::nullopt;
  }
};

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;

// A PE section table, to turn relative virtual addresses into file offsets.
struct PeSections {
  Bytes image;
  std::uint64_t table = 0;
  std::uint64_t count = 0;

  std::optional<std::uint64_t> FileOffset(std::uint64_t rva, std::uint64_t size) const {
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t entry = table + i * 40;
      const auto virtualSize = image.U32(entry + 8);
      const auto virtualAddress = image.U32(entry + 12);
      const auto rawSize = image.U32(entry + 16);
      const auto rawPointer = image.U32(entry + 20);
      if (!virtualSize || !virtualAddress || !rawSize || !rawPointer) {
        return std::nullopt;
      }
      const std::uint64_t extent = std::max(*virtualSize, *rawSize);
      if (rva >= *virtualAddress && rva - *virtualAddress + size <= extent) {
        const std::uint64_t offset = *rawPointer + (rva - *virtualAddress);
        return image.Has(offset, size) ? std::optional(offset) : std::nullopt;
      }
    }
    return std::nullopt;
  }
};

// The OffsetToData of a resource directory's entry: with an id, the entry of
// that id; without, the first entry.
std::optional<std::uint64_t> ResourceEntry(const Bytes& image, std::uint64_t directory,
                                           std::optional<std::uint32_t> id) {
  const auto named = image.U16(directory + 12);
  const auto ids = image.U16(directory + 14);
  if (!named || !ids) {
    return std::nullopt;
  }
  for (std::uint64_t i = 0; i < *named + *ids; ++i) {
    const std::uint64_t entry = directory + 16 + i * 8;
    const auto name = image.U32(entry);
    const auto offset = image.U32(entry + 4);
    if (!name || !offset) {
      return std::nullopt;
    }
    if (!id || (i >= *named && *name == *id)) {
      return offset;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<FileVersionNumbers> ParseVersionBlock(std::string_view block) {
  const Bytes bytes{block};
  const auto length = bytes.U16(0);
  const auto valueLength = bytes.U16(2);
  constexpr char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr std::uint64_t kKeyBytes = sizeof kKey;
  if (!length || !valueLength || *length > block.size() || *valueLength < sizeof(VsFixedFileInfo) ||
      !bytes.Has(6, kKeyBytes)) {
    return std::nullopt;
  }
  for (std::uint64_t i = 0; i < kKeyBytes / 2; ++i) {
    if (bytes.Read(6 + i * 2, 2) != kKey[i]) {
      return std::nullopt;
    }
  }
  const std::uint64_t value = (6 + kKeyBytes + 3) & ~std::uint64_t{3};
  const auto signature = bytes.U32(value);
  const auto ms = bytes.U32(value + 8);
  const auto ls = bytes.U32(value + 12);
  if (!signature || !ms || !ls || *signature != kFixedFileInfoSignature ||
      value + sizeof(VsFixedFileInfo) > *length) {
    return std::nullopt;
  }
  return FileVersionNumbers{
      static_cast<std::uint16_t>(*ms >> 16), static_cast<std::uint16_t>(*ms & 0xFFFF),
      static_cast<std::uint16_t>(*ls >> 16), static_cast<std::uint16_t>(*ls & 0xFFFF)};
}

std::optional<std::string_view> FindPeVersionResource(std::string_view data) {
  const Bytes image{data};
  if (!image.Has(0, 2) || data.substr(0, 2) != "MZ") {
    return std::nullopt;
  }
  const auto peOffset = image.U32(0x3C);
  if (!peOffset || !image.Has(*peOffset, 24) ||
      data.substr(*peOffset, 4) != std::string_view("PE\0\0", 4)) {
    return std::nullopt;
  }
  const std::uint64_t coff = *peOffset + 4;
  const auto sectionCount = image.U16(coff + 2);
  const auto optionalSize = image.U16(coff + 16);
  const std::uint64_t optional = coff + 20;
  const auto magic = image.U16(optional);
  if (!sectionCount || !optionalSize || !magic || (*magic != 0x10B && *magic != 0x20B)) {
    return std::nullopt;
  }
  // The data directories follow the fixed part of the optional header; the
  // resource table is the third one.
  const std::uint64_t directories = optional + (*magic == 0x20B ? 112 : 96);
  const auto resourceRva = image.U32(directories + 2 * 8);
  if (!resourceRva || *resourceRva == 0) {
    return std::nullopt;
  }
  const PeSections sections{image, optional + *optionalSize, *sectionCount};
  const auto root = sections.FileOffset(*resourceRva, 16);
  if (!root) {
    return std::nullopt;
  }
  // Three levels: type (RT_VERSION), name (first), language (first).
  std::uint64_t directory = *root;
  std::optional<std::uint32_t> id = kResourceTypeVersion;
  for (int level = 0; level < 3; ++level) {
    const auto entry = ResourceEntry(image, directory, id);
    const bool last = level == 2;
    if (!entry || ((*entry & kSubdirectoryFlag) != 0) == last) {
      return std::nullopt;
    }
    directory = *root + (*entry & ~kSubdirectoryFlag);
    id.reset();
  }
  const auto dataRva = image.U32(directory);
  const auto dataSize = image.U32(directory + 4);
  if (!dataRva || !dataSize) {
    return std::nullopt;
  }
  const auto offset = sections.FileOffset(*dataRva, *dataSize);
  if (!offset) {
    return std::nullopt;
  }
  return data.substr(*offset, *dataSize);
}

std::optional<std::string_view> FindElfSection(std::string_view data, std::string_view name) {
  const Bytes image{data};
  if (!image.Has(0, 16) ||
      data.substr(0, 4) !=
          "\x7F"
          "ELF" ||
      data[5] != 1) {
    return std::nullopt;
  }
  const bool wide = data[4] == 2;
  const auto sectionTable = wide ? image.U64(0x28) : image.U32(0x20);
  const auto entrySize = image.U16(wide ? 0x3A : 0x2E);
  const auto count = image.U16(wide ? 0x3C : 0x30);
  const auto namesIndex = image.U16(wide ? 0x3E : 0x32);
  if (!sectionTable || !entrySize || !count || !namesIndex || *namesIndex >= *count) {
    return std::nullopt;
  }
  // Offset and size of a section's content.
  auto content =
      [&](std::uint64_t index) -> std::optional<std::pair<std::uint64_t, std::uint64_t>> {
    const std::uint64_t header = *sectionTable + index * *entrySize;
    const auto offset = wide ? image.U64(header + 0x18) : image.U32(header + 0x10);
    const auto size = wide ? image.U64(header + 0x20) : image.U32(header + 0x14);
    if (!offset || !size || !image.Has(*offset, *size)) {
      return std::nullopt;
    }
    return std::pair{*offset, *size};
  };
  const auto names = content(*namesIndex);
  if (!names) {
    return std::nullopt;
  }
  const std::string_view nameTable = data.substr(names->first, names->second);
  for (std::uint64_t i = 0; i < *count; ++i) {
    const auto nameOffset = image.U32(*sectionTable + i * *entrySize);
    if (!nameOffset || *nameOffset >= nameTable.size()) {
      continue;
    }
    const std::string_view sectionName =
        nameTable.substr(*nameOffset).substr(0, nameTable.substr(*nameOffset).find('\0'));
    if (sectionName == name) {
      const auto section = content(i);
      if (!section) {
        return std::nullopt;
      }
      return data.substr(section->first, section->second);
    }
  }
  return std::nullopt;
}

std::optional<FileVersionNumbers> FileVersionOfImage(std::string_view image) {
  auto block = FindElfSection(image, kVersionSectionName);
  if (!block) {
    block = FindPeVersionResource(image);
  }
  return block ? ParseVersionBlock(*block) : std::nullopt;
}

}  // namespace platform
