#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/VersionInfo.h"

namespace platform {

// Regional settings the gateway formats and parses with.
struct RegionalSettings {
  char decimalSeparator = ',';
  char thousandsSeparator = '.';
  char dateSeparator = '/';
  char timeSeparator = ':';
  // Order of day (D), month (M) and year (Y) in a short date.
  std::string shortDateOrder = "DMY";
  // Long month names, January first, in the system language.
  std::array<std::string, 12> longMonthNames = {"janeiro",  "fevereiro", "março",    "abril",
                                                "maio",     "junho",     "julho",    "agosto",
                                                "setembro", "outubro",   "novembro", "dezembro"};
};

// A broken-down local or UTC time.
struct CivilTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Every call the gateway makes into the operating system. One default instance
// per operating system; tests replace it with a double that injects the clock,
// the time zone, the regional settings or the executable path.
class Platform {
 public:
  virtual ~Platform() = default;

  // Text: conversion between the system ANSI code page and UTF-8. Characters
  // without a counterpart become '?' (to ANSI); bytes without one become
  // U+FFFD (from ANSI; Windows-1252 has none).
  virtual std::string AnsiToUtf8(std::string_view ansi) const = 0;
  virtual std::string Utf8ToAnsi(std::string_view utf8) const = 0;
  virtual RegionalSettings Regional() const = 0;
  // Replaces the regional settings for the rest of the process (configuration).
  virtual void OverrideRegional(const RegionalSettings& settings) = 0;

  // Time.
  virtual CivilTime LocalNow() const = 0;
  // Local time minus UTC, in minutes, at the given local moment.
  virtual int UtcOffsetMinutes(const CivilTime& local) const = 0;
  virtual void SleepMs(int milliseconds) const = 0;
  // A new random GUID as 36 characters, upper-case, without braces.
  virtual std::string NewGuid() const = 0;

  // The running executable's full path.
  virtual std::string ExecutablePath() const = 0;
  virtual char PathDelimiter() const = 0;

  // Files. Operations that report a failure by result never raise.
  virtual bool FileExists(const std::string& path) const = 0;
  virtual bool DirectoryExists(const std::string& path) const = 0;
  // Creates the folder and any missing parent; true when it exists afterwards.
  virtual bool ForceDirectories(const std::string& path) const = 0;
  // The whole content, or nothing when the file cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) const = 0;
  // Writes bytes at the end of the file (append) or into a new or emptied
  // file. Raises std::system_error with the system's message on failure.
  virtual void WriteFile(const std::string& path, std::string_view bytes, bool append) const = 0;
  // Replaces `to` by `from` in one step. Once it returns true the new name
  // survives a power loss (the folder's entry is on disk), so a file written
  // and flushed under a temporary name and then renamed is never lost.
  virtual bool RenameFile(const std::string& from, const std::string& to) const = 0;
  virtual bool DeleteFile(const std::string& path) const = 0;
  // Names (without folder) of the entries matching a mask with * and ?,
  // folders included, "." and ".." excluded, sorted case-insensitively.
  virtual std::vector<std::string> FindFiles(const std::string& mask) const = 0;
  // Flushes the file's data to the disk; false when it cannot be opened or flushed.
  virtual bool FlushFileToDisk(const std::string& path) const = 0;

  // Dynamic libraries. Each load takes one reference.
  virtual void* LoadLibrary(const std::string& path) const = 0;
  // The handle of a library already loaded in the process, or null.
  virtual void* LoadedLibrary(const std::string& path) const = 0;
  virtual void* FindSymbol(void* library, const std::string& name) const = 0;
  virtual bool FreeLibrary(void* library) const = 0;
  // The name LoadLibrary finds the system's libcurl by.
  virtual std::string HttpClientLibrary() const = 0;

  // Processes. RunAndWait starts the command line and waits for it to end;
  // ShellOpen starts the program with its parameters and returns at once.
  virtual void RunAndWait(const std::string& commandLine, const std::string& workingDirectory,
                          std::uint16_t showWindow) const = 0;
  virtual void ShellOpen(const std::string& program, const std::string& parameters,
                         std::uint16_t showWindow) const = 0;
  // Ends every process whose executable name is the given one (case-insensitive).
  virtual void TerminateProcessesNamed(const std::string& executableName) const = 0;

  // The file version from the file's version resource, or nothing when the
  // file or its version information is missing. A name without a folder is
  // looked for the way libraries are: the executable's folder first.
  virtual std::optional<FileVersionNumbers> FileVersion(const std::string& file) const = 0;
};

// The instance in use: the operating system's, unless a test installed another.
Platform& Current();

// Installs a replacement for the lifetime of the object (tests).
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& replacement);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

}  // namespace platform
