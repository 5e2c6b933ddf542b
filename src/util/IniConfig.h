#pragma once

#include <string>

// The configuration file beside the executable, in Windows INI form. Every
// read goes to the file as it is at that moment, so a changed value takes
// effect at its next use; nothing is cached and nothing is written. Section
// and key names are matched without regard to case. A missing or unreadable
// file, section or key, or an unparsable value, reads as the default.
class TIniConfig {
 public:
  explicit TIniConfig(std::string path);

  const std::string& Path() const { return path_; }
  // Decimal, or hexadecimal with a "0x" prefix.
  int ReadInteger(const std::string& section, const std::string& key, int fallback) const;
  // An integer; non-zero is true.
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
  // The value as UTF-8 text.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;

 private:
  std::string path_;
};

// The executable's path with its extension replaced by ".ini" (or ".ini"
// appended when it has none).
std::string ConfigFilePath();
