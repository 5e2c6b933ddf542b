#include "platform/posix/PosixPlatform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/CodePage1252.h"
#include "platform/CommandLine.h"

extern char** environ;

namespace platform {

namespace {

int LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return LowerAscii(static_cast<unsigned char>(x)) < LowerAscii(static_cast<unsigned char>(y));
  });
}

// A file mapped read-only into memory. A version lookup touches a few
// headers and one small block of a file that may be many megabytes (an
// executable with its debugging data); mapping reads only those pages, where
// reading the whole file cost tens of milliseconds per "/version". The same
// risk as any mapped file applies: a file truncated while mapped faults, and a
// running executable or loaded library cannot be rewritten in place anyway.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      return;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      size_ = static_cast<std::size_t>(info.st_size);
      readable_ = true;
      if (size_ > 0) {
        data_ = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        readable_ = data_ != MAP_FAILED;
      }
    }
    close(fd);
  }
  ~MappedFile() {
    if (data_ != nullptr && data_ != MAP_FAILED) {
      munmap(data_, size_);
    }
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // The bytes, or nothing when the file could not be opened or mapped.
  std::optional<std::string_view> Bytes() const {
    if (!readable_) {
      return std::nullopt;
    }
    return size_ == 0 ? std::string_view()
                      : std::string_view(static_cast<const char*>(data_), size_);
  }

 private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
  bool readable_ = false;
};

// What tells one content of a file from another: a file rewritten or
// replaced gets another inode, size, modification or change time.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  off_t size;
  timespec modified;
  timespec changed;

  explicit FileIdentity(const struct stat& info)
      : device(info.st_dev),
        inode(info.st_ino),
        size(info.st_size),
        modified(info.st_mtim),
        changed(info.st_ctim) {}

  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

// File versions already read, by path and file identity. Mapping a file and
// unmapping it costs far more than the lookup (about 0.2 ms per "/version" on
// a virtual machine, where an unmapping interrupts every processor); a stat
// tells whether the file is still the one read before.
class FileVersionCache {
 public:
  // The version of the file (none when it has no version block), or false
  // when it cannot be opened or is no regular file.
  bool Lookup(const std::string& path, std::optional<FileVersionNumbers>& version) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return false;
    }
    const FileIdentity identity(info);
    {
      std::lock_guard guard(lock_);
      const auto found = entries_.find(path);
      if (found != entries_.end() && found->second.identity == identity) {
        version = found->second.version;
        return true;
      }
    }
    const MappedFile mapped(path);
    const auto image = mapped.Bytes();
    if (!image) {
      return false;
    }
    version = FileVersionOfImage(*image);
    // File times are only as fine as the kernel's clock tick: a file written
    // within the last seconds might be rewritten with the same identity.
    if (std::time(nullptr) - info.st_mtim.tv_sec < kSettledSeconds) {
      return true;
    }
    std::lock_guard guard(lock_);
    if (entries_.size() >= kMaxEntries) {
      entries_.clear();
    }
    entries_.insert_or_assign(path, Entry{identity, version});
    return true;
  }

 private:
  static constexpr std::size_t kMaxEntries = 64;
  static constexpr std::time_t kSettledSeconds = 2;
  struct Entry {
    FileIdentity identity;
    std::optional<FileVersionNumbers> version;
  };
  std::mutex lock_;
  std::map<std::string, Entry> entries_;
};

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && !LessIgnoringCase(a, b) && !LessIgnoringCase(b, a);
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Starts a program with its arguments (the first names the program, searched
// in PATH when it has no folder) in a child process, without a shell; returns
// the child's pid or -1. A detached program runs in a session of its own.
// posix_spawn does not copy the gateway's page tables as fork would (tens of
// milliseconds while a large document is in memory).
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& workingDirectory,
            bool detach) {
  if (arguments.empty()) {
    return -1;
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  if (!workingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
  }
  if (detach) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  }
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void Reap(pid_t pid) {
  if (pid > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace

Platform& SystemPlatform() {
  static PosixPlatform instance;
  return instance;
}

std::string PosixPlatform::AnsiToUtf8(std::string_view ansi) const {
  return Cp1252ToUtf8(ansi);
}

std::string PosixPlatform::Utf8ToAnsi(std::string_view utf8) const {
  return Utf8ToCp1252(utf8);
}

RegionalSettings PosixPlatform::Regional() const {
  std::lock_guard guard(regionalLock_);
  return regional_;
}

void PosixPlatform::OverrideRegional(const RegionalSettings& settings) {
  std::lock_guard guard(regionalLock_);
  regional_ = settings;
}

namespace {

// mktime and localtime_r reread the TZ environment and replace the C
// library's time-zone state; the gateway's threads (connections, the sale API
// sender) ask for local times at once, so they take turns.
std::mutex& TimeZoneLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

CivilTime PosixPlatform::LocalNow() const {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  {
    std::lock_guard guard(TimeZoneLock());
    localtime_r(&now.tv_sec, &local);
  }
  return {local.tm_year + 1900,
          local.tm_mon + 1,
          local.tm_mday,
          local.tm_hour,
          local.tm_min,
          local.tm_sec,
          static_cast<int>(now.tv_nsec / 1000000)};
}

int PosixPlatform::UtcOffsetMinutes(const CivilTime& local) const {
  tm broken{};
  broken.tm_year = local.year - 1900;
  broken.tm_mon = local.month - 1;
  broken.tm_mday = local.day;
  broken.tm_hour = local.hour;
  broken.tm_min = local.minute;
  broken.tm_sec = local.second;
  broken.tm_isdst = -1;
  std::lock_guard guard(TimeZoneLock());
  const time_t moment = mktime(&broken);
  tm resolved{};
  localtime_r(&moment, &resolved);
  return static_cast<int>(resolved.tm_gmtoff / 60);
}

void PosixPlatform::SleepMs(int milliseconds) const {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string PosixPlatform::NewGuid() const {
  unsigned char bytes[16];
  std::size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    filled += static_cast<std::size_t>(got);
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

std::string PosixPlatform::ExecutablePath() const {
  // The path the process was started from, read once ("/version" asks on
  // every request).
  static const std::string path = [] {
    std::string buffer(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return buffer;
  }();
  return path;
}

bool PosixPlatform::FileExists(const std::string& path) const {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool PosixPlatform::DirectoryExists(const std::string& path) const {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PosixPlatform::ForceDirectories(const std::string& path) const {
  if (path.empty()) {
    return false;
  }
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    const std::size_t slash = path.find('/', pos + 1);
    partial = path.substr(0, slash);
    if (!partial.empty() && !DirectoryExists(partial) && mkdir(partial.c_str(), 0777) != 0 &&
        errno != EEXIST) {
      return false;
    }
    pos = slash;
  }
  return DirectoryExists(path);
}

std::optional<std::string> PosixPlatform::ReadFile(const std::string& path) const {
  // A folder opens as a stream here but has no content to read.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    return std::nullopt;
  }
  return content.str();
}

void PosixPlatform::WriteFile(const std::string& path, std::string_view bytes, bool append) const {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  const int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(), path);
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      const int error = errno;
      close(fd);
      throw std::system_error(error, std::generic_category(), path);
    }
    written += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) {
    throw std::system_error(errno, std::generic_category(), path);
  }
}

bool PosixPlatform::RenameFile(const std::string& from, const std::string& to) const {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    return false;
  }
  // The rename is only in the folder's entries; flushing the folder makes it
  // durable.
  const auto slash = to.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return true;
}

bool PosixPlatform::DeleteFile(const std::string& path) const {
  return unlink(path.c_str()) == 0;
}

std::vector<std::string> PosixPlatform::FindFiles(const std::string& mask) const {
  const auto slash = mask.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : mask.substr(0, slash + 1);
  const std::string pattern = slash == std::string::npos ? mask : mask.substr(slash + 1);
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    return names;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." &&
        fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0) {
      names.push_back(name);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  return names;
}

bool PosixPlatform::FlushFileToDisk(const std::string& path) const {
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    return false;
  }
  const bool flushed = fsync(fd) == 0;
  close(fd);
  return flushed;
}

void* PosixPlatform::LoadLibrary(const std::string& path) const {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* PosixPlatform::LoadedLibrary(const std::string& path) const {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) {
    dlclose(handle);  // the probe took a reference of its own; the library stays loaded
  }
  return handle;
}

void* PosixPlatform::FindSymbol(void* library, const std::string& name) const {
  return library ? dlsym(library, name.c_str()) : nullptr;
}

bool PosixPlatform::FreeLibrary(void* library) const {
  return library && dlclose(library) == 0;
}

void PosixPlatform::RunAndWait(const std::string& commandLine, const std::string& workingDirectory,
                               std::uint16_t) const {
  Reap(Spawn(SplitCommandLine(commandLine), workingDirectory, false));
}

void PosixPlatform::ShellOpen(const std::string& program, const std::string& parameters,
                              std::uint16_t) const {
  std::vector<std::string> arguments{program};
  for (std::string& argument : SplitCommandLine(parameters)) {
    arguments.push_back(std::move(argument));
  }
  // Not waited for: a thread collects the program's exit status whenever it
  // ends.
  const pid_t pid = Spawn(arguments, "", true);
  if (pid > 0) {
    std::thread([pid] { Reap(pid); }).detach();
  }
}

void PosixPlatform::TerminateProcessesNamed(const std::string& executableName) const {
  DIR* proc = opendir("/proc");
  if (!proc) {
    return;
  }
  const pid_t self = getpid();
  while (const dirent* entry = readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) {
      continue;
    }
    const auto pid = static_cast<pid_t>(std::stol(name));
    if (pid == self) {
      continue;
    }
    const auto commandLine = ReadFile("/proc/" + name + "/cmdline");
    if (!commandLine || commandLine->empty()) {
      continue;
    }
    const std::string program = commandLine->substr(0, commandLine->find('\0'));
    if (EqualIgnoringCase(BaseName(program), executableName)) {
      kill(pid, SIGKILL);
    }
  }
  closedir(proc);
}

std::optional<FileVersionNumbers> PosixPlatform::FileVersion(const std::string& file) const {
  std::vector<std::string> candidates;
  if (file.find('/') == std::string::npos) {
    const std::string executable = ExecutablePath();
    candidates.push_back(executable.substr(0, executable.find_last_of('/') + 1) + file);
  }
  candidates.push_back(file);
  static FileVersionCache cache;
  for (const std::string& candidate : candidates) {
    std::optional<FileVersionNumbers> version;
    if (cache.Lookup(candidate, version)) {
      return version;
    }
  }
  return std::nullopt;
}

}  // namespace platform
