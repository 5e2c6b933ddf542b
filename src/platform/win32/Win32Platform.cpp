#include <windows.h>
// After <windows.h>: its macros would rename the interface's operations.
#undef DeleteFile
#undef LoadLibrary

#include <rpc.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

namespace platform {

namespace {

wchar_t LowerAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

int LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return LowerAscii(static_cast<unsigned char>(x)) < LowerAscii(static_cast<unsigned char>(y));
  });
}

// The path as the system's calls take it: UTF-16, folders separated by '\'.
std::wstring SystemPath(const std::string& path) {
  std::wstring wide = Utf8ToWide(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

// "C:\...", "\\server\share\..." or "\\?\...".
bool IsFullPath(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') ||
         (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

// Matches a name against a mask of '*' and '?', ignoring letter case; a name
// that begins with '.' matches only a mask that begins with one. The system's
// own search also matches a mask's extension against the short 8.3 names
// ("*.tef" would find "a.tefx"), so its results are filtered through this.
bool MatchesMask(std::wstring_view mask, std::wstring_view name) {
  if (!name.empty() && name[0] == L'.' && (mask.empty() || mask[0] != L'.')) {
    return false;
  }
  std::size_t m = 0, n = 0, starMask = std::wstring_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == L'*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == L'?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::wstring_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') {
    ++m;
  }
  return m == mask.size();
}

// A separator of the user's locale, if it fits the one character the
// settings keep: a no-break space becomes a plain one; another character
// beyond ASCII keeps the default.
char LocaleSeparator(LCTYPE item, char fallback) {
  wchar_t text[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, text, 8) < 2) {
    return fallback;
  }
  if (text[0] == 0x00A0 || text[0] == 0x202F) {
    return ' ';
  }
  return text[0] < 0x80 ? static_cast<char>(text[0]) : fallback;
}

std::string LocaleText(LCTYPE item) {
  wchar_t text[128] = {};
  const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, text, 128);
  return length > 1 ? WideToUtf8(std::wstring_view(text, static_cast<std::size_t>(length - 1)))
                    : std::string();
}

// The order of day, month and year in the user's short date pattern.
std::string ShortDateOrder(const std::string& pattern, const std::string& fallback) {
  std::string order;
  for (char c : pattern) {
    const char field = c == 'd' ? 'D' : c == 'M' ? 'M' : c == 'y' ? 'Y' : '\0';
    if (field != '\0' && order.find(field) == std::string::npos) {
      order += field;
    }
  }
  return order.size() == 3 ? order : fallback;
}

RegionalSettings UserRegionalSettings() {
  RegionalSettings settings;
  settings.decimalSeparator = LocaleSeparator(LOCALE_SDECIMAL, settings.decimalSeparator);
  settings.thousandsSeparator = LocaleSeparator(LOCALE_STHOUSAND, settings.thousandsSeparator);
  settings.dateSeparator = LocaleSeparator(LOCALE_SDATE, settings.dateSeparator);
  settings.timeSeparator = LocaleSeparator(LOCALE_STIME, settings.timeSeparator);
  settings.shortDateOrder = ShortDateOrder(LocaleText(LOCALE_SSHORTDATE), settings.shortDateOrder);
  for (int month = 0; month < 12; ++month) {
    std::string name = LocaleText(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + month));
    if (!name.empty()) {
      settings.longMonthNames[static_cast<std::size_t>(month)] = std::move(name);
    }
  }
  return settings;
}

// A FILETIME as one count of 100 ns intervals.
std::int64_t Ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (Valid()) {
      CloseHandle(handle_);
    }
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Files are shared with every other reader and writer, and may be renamed or
// deleted while open: a backup replaced by a rename must not fail because
// someone is reading the old one.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform instance;
  return instance;
}

Win32Platform::Win32Platform() : regional_(UserRegionalSettings()) {}

std::string Win32Platform::AnsiToUtf8(std::string_view ansi) const {
  if (ansi.empty()) {
    return {};
  }
  const int size = static_cast<int>(ansi.size());
  std::wstring wide(
      static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0)),
      L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), static_cast<int>(wide.size()));
  return WideToUtf8(wide);
}

std::string Win32Platform::Utf8ToAnsi(std::string_view utf8) const {
  // A character beyond U+FFFF is two UTF-16 units, which no ANSI code page
  // holds: one '?' for the character, not one per unit.
  std::wstring wide;
  bool afterHighSurrogate = false;
  for (wchar_t unit : Utf8ToWide(utf8)) {
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (!(low && afterHighSurrogate)) {
      wide.push_back(high || low ? L'?' : unit);
    }
    afterHighSurrogate = high;
  }
  if (wide.empty()) {
    return {};
  }
  // No "best fit" (an 'ā' is not an 'a'): what the code page lacks is '?'.
  // A UTF-8 code page takes neither the flag nor a replacement.
  const bool utf8CodePage = GetACP() == CP_UTF8;
  const DWORD flags = utf8CodePage ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* replacement = utf8CodePage ? nullptr : "?";
  const int size = static_cast<int>(wide.size());
  std::string ansi(static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, flags, wide.data(), size,
                                                                nullptr, 0, replacement, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), size, ansi.data(), static_cast<int>(ansi.size()),
                      replacement, nullptr);
  return ansi;
}

RegionalSettings Win32Platform::Regional() const {
  std::lock_guard guard(regionalLock_);
  return regional_;
}

void Win32Platform::OverrideRegional(const RegionalSettings& settings) {
  std::lock_guard guard(regionalLock_);
  regional_ = settings;
}

CivilTime Win32Platform::LocalNow() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

int Win32Platform::UtcOffsetMinutes(const CivilTime& local) const {
  SYSTEMTIME moment{};
  moment.wYear = static_cast<WORD>(local.year);
  moment.wMonth = static_cast<WORD>(local.month);
  moment.wDay = static_cast<WORD>(local.day);
  moment.wHour = static_cast<WORD>(local.hour);
  moment.wMinute = static_cast<WORD>(local.minute);
  moment.wSecond = static_cast<WORD>(local.second);
  // The time zone's rules of that year, not only today's.
  TIME_ZONE_INFORMATION zone{};
  SYSTEMTIME utc{};
  FILETIME localTicks{}, utcTicks{};
  if (!GetTimeZoneInformationForYear(moment.wYear, nullptr, &zone) ||
      !TzSpecificLocalTimeToSystemTime(&zone, &moment, &utc) ||
      !SystemTimeToFileTime(&moment, &localTicks) || !SystemTimeToFileTime(&utc, &utcTicks)) {
    return 0;
  }
  constexpr std::int64_t kTicksPerMinute = 600000000;
  return static_cast<int>((Ticks(localTicks) - Ticks(utcTicks)) / kTicksPerMinute);
}

void Win32Platform::SleepMs(int milliseconds) const {
  Sleep(static_cast<DWORD>(std::max(milliseconds, 0)));
}

std::string Win32Platform::NewGuid() const {
  UUID id{};
  const RPC_STATUS status = UuidCreate(&id);
  if (status != RPC_S_OK) {
    throw std::system_error(static_cast<int>(status), SystemErrors(), "UuidCreate");
  }
  char text[37];
  std::snprintf(text, sizeof text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
                id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return text;
}

std::string Win32Platform::ExecutablePath() const {
  // Read once: "/version" asks on every request.
  static const std::string path = [] {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length =
          GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length < buffer.size()) {
        buffer.resize(length);
        return WideToUtf8(buffer);
      }
      buffer.resize(buffer.size() * 2);
    }
  }();
  return path;
}

bool Win32Platform::FileExists(const std::string& path) const {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::DirectoryExists(const std::string& path) const {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::ForceDirectories(const std::string& path) const {
  std::wstring folder = SystemPath(path);
  while (!folder.empty() && folder.back() == L'\\') {
    folder.pop_back();
  }
  if (folder.empty()) {
    return false;
  }
  const std::string utf8 = WideToUtf8(folder);
  if (DirectoryExists(utf8)) {
    return true;
  }
  const auto delimiter = folder.find_last_of(L'\\');
  // Up to a drive ("C:") or a share's root, the parent is made first.
  if (delimiter != std::wstring::npos && delimiter > 0 && folder[delimiter - 1] != L':' &&
      folder[delimiter - 1] != L'\\' &&
      !ForceDirectories(WideToUtf8(folder.substr(0, delimiter)))) {
    return false;
  }
  return (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) &&
         DirectoryExists(utf8);
}

std::optional<std::string> Win32Platform::ReadFile(const std::string& path) const {
  const Handle file(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) {
    return std::nullopt;
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(size.QuadPart));
  char buffer[65536];
  DWORD got = 0;
  for (;;) {
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
      return std::nullopt;
    }
    if (got == 0) {
      return content;
    }
    content.append(buffer, got);
  }
}

void Win32Platform::WriteFile(const std::string& path, std::string_view bytes, bool append) const {
  const Handle file(CreateFileW(SystemPath(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                kShareAll, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    throw std::system_error(static_cast<int>(GetLastError()), SystemErrors(), path);
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1 << 30));
    DWORD done = 0;
    if (!::WriteFile(file.Get(), bytes.data() + written, chunk, &done, nullptr)) {
      throw std::system_error(static_cast<int>(GetLastError()), SystemErrors(), path);
    }
    written += done;
  }
}

bool Win32Platform::RenameFile(const std::string& from, const std::string& to) const {
  // Write-through: the call returns once the new name is on the disk.
  return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32Platform::DeleteFile(const std::string& path) const {
  const std::wstring name = SystemPath(path);
  if (DeleteFileW(name.c_str()) == 0) {
    return false;
  }
  // While another program still holds the file open (the manager that wrote
  // it, a virus scanner), older Windows keeps the name until that handle
  // closes. A moment's wait lets a caller that checks or reuses the name
  // right away find it gone.
  for (int espera = 0; espera < 200 && GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
       ++espera) {
    Sleep(5);
  }
  return true;
}

std::vector<std::string> Win32Platform::FindFiles(const std::string& mask) const {
  const std::wstring wideMask = SystemPath(mask);
  const auto delimiter = wideMask.find_last_of(L'\\');
  const std::wstring pattern =
      delimiter == std::wstring::npos ? wideMask : wideMask.substr(delimiter + 1);
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileExW(wideMask.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::wstring_view name = entry.cFileName;
    if (name != L"." && name != L".." && MatchesMask(pattern, name)) {
      names.push_back(WideToUtf8(name));
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  return names;
}

bool Win32Platform::FlushFileToDisk(const std::string& path) const {
  const Handle file(CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, nullptr));
  return file.Valid() && FlushFileBuffers(file.Get());
}

void* Win32Platform::LoadLibrary(const std::string& path) const {
  const std::wstring library = SystemPath(path);
  // A library given by its full path finds the libraries it needs in its own
  // folder first.
  return IsFullPath(library)
             ? LoadLibraryExW(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
             : LoadLibraryW(library.c_str());
}

void* Win32Platform::LoadedLibrary(const std::string& path) const {
  return GetModuleHandleW(SystemPath(path).c_str());
}

void* Win32Platform::FindSymbol(void* library, const std::string& name) const {
  return library
             ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name.c_str()))
             : nullptr;
}

bool Win32Platform::FreeLibrary(void* library) const {
  return library && ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string Win32Platform::HttpClientLibrary() const {
  // libcurl is linked into the executable on Windows; the name only appears
  // in the message of a client that cannot be used.
  return "libcurl";
}

void Win32Platform::RunAndWait(const std::string& commandLine, const std::string& workingDirectory,
                               std::uint16_t showWindow) const {
  std::wstring line = Utf8ToWide(commandLine);
  const std::wstring folder = SystemPath(workingDirectory);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showWindow;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
}

void Win32Platform::ShellOpen(const std::string& program, const std::string& parameters,
                              std::uint16_t showWindow) const {
  const std::wstring file = SystemPath(program);
  const std::wstring arguments = Utf8ToWide(parameters);
  ShellExecuteW(nullptr, L"open", file.c_str(), arguments.empty() ? nullptr : arguments.c_str(),
                nullptr, showWindow);
}

void Win32Platform::TerminateProcessesNamed(const std::string& executableName) const {
  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) {
    return;
  }
  const std::wstring name = Utf8ToWide(executableName);
  const DWORD self = GetCurrentProcessId();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == self ||
        CompareStringOrdinal(entry.szExeFile, -1, name.c_str(), -1, TRUE) != CSTR_EQUAL) {
      continue;
    }
    const Handle process(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (process.Valid()) {
      TerminateProcess(process.Get(), 0);
    }
  }
}

std::optional<FileVersionNumbers> Win32Platform::FileVersion(const std::string& file) const {
  std::vector<std::wstring> candidates;
  if (file.find_first_of("\\/") == std::string::npos) {
    const std::string executable = ExecutablePath();
    candidates.push_back(
        SystemPath(executable.substr(0, executable.find_last_of("\\/") + 1) + file));
  }
  candidates.push_back(SystemPath(file));
  for (const std::wstring& candidate : candidates) {
    const DWORD attributes = GetFileAttributesW(candidate.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      continue;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(candidate.c_str(), &ignored);
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(candidate.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
      return std::nullopt;
    }
    return FileVersionNumbers{static_cast<std::uint16_t>(HIWORD(fixed->dwFileVersionMS)),
                              static_cast<std::uint16_t>(LOWORD(fixed->dwFileVersionMS)),
                              static_cast<std::uint16_t>(HIWORD(fixed->dwFileVersionLS)),
                              static_cast<std::uint16_t>(LOWORD(fixed->dwFileVersionLS))};
  }
  return std::nullopt;
}

}  // namespace platform
