#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>

#include "platform/NativePlatform.h"

// The real platform whose clock, time-zone offset, regional settings and
// executable path a test sets. Installed for the lifetime of the object.
class FakePlatform : public platform::NativePlatform {
 public:
  // Brazilian regional settings, whatever the system's locale.
  FakePlatform() : scope_(*this) { OverrideRegional(platform::RegionalSettings()); }

  void SetNow(const platform::CivilTime& now) {
    std::lock_guard guard(lock_);
    now_ = now;
  }
  void SetUtcOffsetMinutes(int minutes) { offset_ = minutes; }
  void SetExecutablePath(std::string path) {
    std::lock_guard guard(lock_);
    executable_ = std::move(path);
  }

  platform::CivilTime LocalNow() const override {
    std::lock_guard guard(lock_);
    return now_;
  }
  int UtcOffsetMinutes(const platform::CivilTime&) const override { return offset_; }
  std::string ExecutablePath() const override {
    std::lock_guard guard(lock_);
    return executable_.empty() ? platform::NativePlatform::ExecutablePath() : executable_;
  }

 private:
  mutable std::mutex lock_;
  platform::CivilTime now_{2026, 12, 10, 14, 7, 9, 123};
  std::atomic<int> offset_{-180};
  std::string executable_;
  platform::ScopedPlatform scope_;
};

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    std::filesystem::path folder;
    do {
      folder = std::filesystem::temp_directory_path() /
               ("gateway-test-" + std::to_string(random()) + std::to_string(random()));
    } while (!std::filesystem::create_directory(folder));
    path_ = folder.string() + static_cast<char>(std::filesystem::path::preferred_separator);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in the system's folder separator.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};
