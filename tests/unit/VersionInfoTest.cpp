#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakePlatform.h"
#include "platform/Platform.h"
#include "platform/VersionBlock.h"
#include "platform/VersionInfo.h"

namespace {

using platform::FileVersionNumbers;

void Put(std::string& image, std::size_t offset, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) {
    image[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// A minimal PE32+ image: one section at RVA 0x1000 (file offset 0x200) that
// holds a resource tree RT_VERSION / id 1 / language 0x416 -> the block.
std::string PeImage(const platform::VersionBlock& block) {
  std::string image(0x200 + 0x58 + sizeof block, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put(image, 0x3C, 0x40, 4);
  std::memcpy(&image[0x40], "PE\0\0", 4);
  const std::size_t coff = 0x44;
  Put(image, coff + 2, 1, 2);      // one section
  Put(image, coff + 16, 0xF0, 2);  // size of the optional header
  const std::size_t optional = coff + 20;
  Put(image, optional, 0x20B, 2);              // PE32+
  Put(image, optional + 112 + 16, 0x1000, 4);  // resource table RVA
  Put(image, optional + 112 + 20, 0x58 + sizeof block, 4);
  const std::size_t section = optional + 0xF0;
  std::memcpy(&image[section], ".rsrc", 5);
  Put(image, section + 8, 0x58 + sizeof block, 4);   // virtual size
  Put(image, section + 12, 0x1000, 4);               // virtual address
  Put(image, section + 16, 0x58 + sizeof block, 4);  // raw size
  Put(image, section + 20, 0x200, 4);                // raw pointer
  const std::size_t root = 0x200;
  Put(image, root + 14, 1, 2);
  Put(image, root + 16, 16, 4);
  Put(image, root + 20, 0x80000000u | 0x18, 4);
  Put(image, root + 0x18 + 14, 1, 2);
  Put(image, root + 0x18 + 16, 1, 4);
  Put(image, root + 0x18 + 20, 0x80000000u | 0x30, 4);
  Put(image, root + 0x30 + 14, 1, 2);
  Put(image, root + 0x30 + 16, 0x416, 4);
  Put(image, root + 0x30 + 20, 0x48, 4);
  Put(image, root + 0x48, 0x1000 + 0x58, 4);
  Put(image, root + 0x48 + 4, sizeof block, 4);
  std::memcpy(&image[root + 0x58], &block, sizeof block);
  return image;
}

std::string Bytes(const platform::VersionBlock& block) {
  return std::string(reinterpret_cast<const char*>(&block), sizeof block);
}

TEST(FileVersion, ReadsTheVersionOfEachFileKind) {
  const char* build = std::getenv("GATEWAY_TEST_BINARY_DIR");
  if (build == nullptr) {
    GTEST_SKIP() << "GATEWAY_TEST_BINARY_DIR names no build with the gateway's executable";
  }
  std::stringstream executable;
  executable << std::ifstream(std::string(build) + "/src/SvcQuorelSiTef" GATEWAY_EXECUTABLE_SUFFIX,
                              std::ios::binary)
                    .rdbuf();
  const std::string pe = PeImage(platform::MakeVersionBlock(6, 2, 115, 27));
  platform::VersionBlock badSignature = platform::MakeVersionBlock(1, 2, 3, 4);
  badSignature.value.dwSignature = 0;
  const struct {
    const char* name;
    std::string image;
    std::optional<FileVersionNumbers> version;
  } cases[] = {
      {"the gateway's executable", executable.str(), FileVersionNumbers{1, 0, 12, 0}},
      {"a Windows PE file", pe, FileVersionNumbers{6, 2, 115, 27}},
      {"PE cut inside its resources", pe.substr(0, 0x240), std::nullopt},
      {"PE cut inside its headers", pe.substr(0, 0x60), std::nullopt},
      {"block without the fixed-info signature", PeImage(badSignature), std::nullopt},
      {"plain text", "no version here", std::nullopt},
      {"empty", "", std::nullopt},
      {"ELF magic only",
       "\x7F"
       "ELF\x02\x01",
       std::nullopt},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(platform::FileVersionOfImage(row.image), row.version) << row.name;
  }
  EXPECT_EQ(platform::ParseVersionBlock(Bytes(platform::MakeVersionBlock(65535, 0, 1, 65534))),
            (FileVersionNumbers{65535, 0, 1, 65534}));
}

TEST(FileVersion, ReadsFilesOnDisk) {
  const TempDir dir;
  const platform::Platform& os = platform::Current();
  os.WriteFile(dir.Path() + "lib.dll", PeImage(platform::MakeVersionBlock(6, 2, 115, 27)), false);
  os.WriteFile(dir.Path() + "empty.dll", "", false);
  os.ForceDirectories(dir.Path() + "folder.dll");
  const struct {
    const char* name;
    std::string path;
    std::optional<FileVersionNumbers> version;
  } cases[] = {
      {"PE file", dir.Path() + "lib.dll", FileVersionNumbers{6, 2, 115, 27}},
      {"this test program", os.ExecutablePath(), FileVersionNumbers{1, 0, 12, 0}},
      {"empty file", dir.Path() + "empty.dll", std::nullopt},
      {"folder", dir.Path() + "folder.dll", std::nullopt},
      {"missing file", dir.Path() + "none.dll", std::nullopt},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(os.FileVersion(row.path), row.version) << row.name;
  }
  // Versions of files that settled are remembered; a file rewritten in place
  // is read again.
  std::filesystem::last_write_time(
      dir.Path() + "lib.dll",
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  EXPECT_EQ(os.FileVersion(dir.Path() + "lib.dll"), (FileVersionNumbers{6, 2, 115, 27}));
  os.WriteFile(dir.Path() + "lib.dll", PeImage(platform::MakeVersionBlock(7, 0, 0, 1)), false);
  EXPECT_EQ(os.FileVersion(dir.Path() + "lib.dll"), (FileVersionNumbers{7, 0, 0, 1}));
}

}  // namespace
