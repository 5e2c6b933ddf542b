#pragma once

// Helpers shared by the fuzz targets: an in-memory byte stream, a scratch
// folder for parsers that read files, and a platform that never starts or
// ends processes and never sleeps.

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "FakePlatform.h"
#include "host/ByteStream.h"
#include "host/ConnectionErrors.h"

namespace fuzz {

// Delivers the fuzz input in reads of at most `chunk` bytes, then reports
// the end of the stream. Writes are kept.
class MemoryStream : public ByteStream {
 public:
  MemoryStream(const std::uint8_t* data, std::size_t size, std::size_t chunk)
      : data_(data), size_(size), chunk_(chunk == 0 ? 1 : chunk) {}

  std::size_t ReadSome(std::uint8_t* out, std::size_t size, Clock::time_point) override {
    if (pos_ == size_) {
      throw EConnectionClosed("fim");
    }
    const std::size_t take = std::min({size, size_ - pos_, chunk_});
    std::memcpy(out, data_ + pos_, take);
    pos_ += take;
    return take;
  }
  void WriteAll(const std::uint8_t* data, std::size_t size) override {
    written.append(reinterpret_cast<const char*>(data), size);
  }
  std::string written;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
};

// The platform of the fuzz targets: the fake clock of the tests, a fixed
// executable folder, GUIDs that never change, and no processes or sleeps
// (the print route would otherwise start the printing program).
class FuzzPlatform : public FakePlatform {
 public:
  std::string NewGuid() const override { return "6F9619FF-8B86-D011-B42D-00C04FC964FF"; }
  void SleepMs(int) const override {}
  void ShellOpen(const std::string&, const std::string&, std::uint16_t) const override {}
  void TerminateProcessesNamed(const std::string&) const override {}
  void RunAndWait(const std::string&, const std::string&, std::uint16_t) const override {}
};

// A folder of this process under the temporary folder, made once.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const auto path =
        std::filesystem::temp_directory_path() / ("gateway-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    return path.string() + "/";
  }();
  return folder;
}

// Writes the bytes to a file in the scratch folder and returns its path.
inline std::string WriteScratch(const std::string& name, const std::uint8_t* data,
                                std::size_t size) {
  const std::string path = ScratchFolder() + name;
  platform::Current().WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size),
                                false);
  return path;
}

}  // namespace fuzz
