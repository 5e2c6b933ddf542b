#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <system_error>

// UTF-8, the text of the gateway's interfaces, and UTF-16, the text of the
// system's calls. Invalid UTF-8 becomes U+FFFD.
namespace platform {

inline std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) {
    return {};
  }
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(
      static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)),
      L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

inline std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty()) {
    return {};
  }
  const int size = static_cast<int>(wide.size());
  std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size,
                                                                nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), static_cast<int>(utf8.size()),
                      nullptr, nullptr);
  return utf8;
}

// The system's description of an error code, in UTF-8, without the line end.
inline std::string SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.pop_back();
  }
  return text.empty() ? "erro " + std::to_string(error) : WideToUtf8(text);
}

// The system's error codes with their descriptions in UTF-8
// (std::system_category gives them in the ANSI code page here).
class SystemErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "system"; }
  std::string message(int code) const override { return SystemMessage(static_cast<DWORD>(code)); }
};

inline const std::error_category& SystemErrors() {
  static const SystemErrorCategory category;
  return category;
}

}  // namespace platform
