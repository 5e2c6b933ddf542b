#pragma once

#include <mutex>

#include "platform/Platform.h"

namespace platform {

// The Windows implementation: the system's ANSI code page, the user's
// regional settings unless overridden, the system's time zone rules. Paths are
// UTF-8 here and UTF-16 at the system's calls; '/' and '\' both separate
// folders.
class Win32Platform : public Platform {
 public:
  Win32Platform();

  std::string AnsiToUtf8(std::string_view ansi) const override;
  std::string Utf8ToAnsi(std::string_view utf8) const override;
  RegionalSettings Regional() const override;
  void OverrideRegional(const RegionalSettings& settings) override;

  CivilTime LocalNow() const override;
  int UtcOffsetMinutes(const CivilTime& local) const override;
  void SleepMs(int milliseconds) const override;
  std::string NewGuid() const override;

  std::string ExecutablePath() const override;
  char PathDelimiter() const override { return '\\'; }

  bool FileExists(const std::string& path) const override;
  bool DirectoryExists(const std::string& path) const override;
  bool ForceDirectories(const std::string& path) const override;
  std::optional<std::string> ReadFile(const std::string& path) const override;
  void WriteFile(const std::string& path, std::string_view bytes, bool append) const override;
  bool RenameFile(const std::string& from, const std::string& to) const override;
  bool DeleteFile(const std::string& path) const override;
  std::vector<std::string> FindFiles(const std::string& mask) const override;
  bool FlushFileToDisk(const std::string& path) const override;

  void* LoadLibrary(const std::string& path) const override;
  void* LoadedLibrary(const std::string& path) const override;
  void* FindSymbol(void* library, const std::string& name) const override;
  std::string HttpClientLibrary() const override;
  bool FreeLibrary(void* library) const override;

  void RunAndWait(const std::string& commandLine, const std::string& workingDirectory,
                  std::uint16_t showWindow) const override;
  void ShellOpen(const std::string& program, const std::string& parameters,
                 std::uint16_t showWindow) const override;
  void TerminateProcessesNamed(const std::string& executableName) const override;

  std::optional<FileVersionNumbers> FileVersion(const std::string& file) const override;

 private:
  mutable std::mutex regionalLock_;
  RegionalSettings regional_;
};

}  // namespace platform
