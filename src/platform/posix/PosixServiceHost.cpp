#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/ServiceHost.h"

namespace platform {
namespace {

constexpr char kDefaultUnitDir[] = "/etc/systemd/system";

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2}) sigaddset(&set, s);
  return set;
}

std::string UnitDir() {
  const char* dir = std::getenv("GATEWAY_SYSTEMD_UNIT_DIR");
  return dir != nullptr && *dir != '\0' ? dir : kDefaultUnitDir;
}

std::string UnitPath(const std::string& name) {
  return (std::filesystem::path(UnitDir()) / (name + ".service")).string();
}

// Runs systemctl with the arguments, ignoring its result: the unit file is
// what registers the service; reloading and enabling only apply it now.
void Systemctl(const char* a, const char* b = nullptr) {
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("systemctl", "systemctl", a, b, static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid > 0)
    waitpid(pid, nullptr, 0);
}

// A unit setting's value taken as it is: "%" starts a specifier, so it is doubled.
std::string Literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%')
      out.push_back('%');
    out.push_back(c);
  }
  return out;
}

// A word of a command line in a unit: double-quoted, with \ and " escaped.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : Literal(text)) {
    if (c == '\\' || c == '"')
      out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace

int RunService(const std::string&, const std::function<int()>& service) {
  // Blocked in every thread, so only WaitServiceControl takes them.
  const sigset_t set = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return service();
}

ServiceControl WaitServiceControl(std::chrono::milliseconds timeout) {
  const sigset_t set = ControlSignals();
  timespec wait{static_cast<time_t>(timeout.count() / 1000),
                static_cast<long>(timeout.count() % 1000) * 1000000L};
  switch (sigtimedwait(&set, nullptr, &wait)) {
    case SIGTERM:
    case SIGINT:
      return ServiceControl::kStop;
    case SIGUSR1:
      return ServiceControl::kPause;
    case SIGUSR2:
      return ServiceControl::kContinue;
    default:
      return ServiceControl::kNone;
  }
}

void ServiceProgress() {}

std::string InstallService(const ServiceDefinition& service) {
  const std::string path = UnitPath(service.name);
  std::error_code error;
  std::filesystem::create_directories(UnitDir(), error);
  std::ofstream unit(path, std::ios::binary | std::ios::trunc);
  unit << "[Unit]\n"
       << "Description=" << service.description << "\n"
       << "After=network-online.target\n\n"
       << "[Service]\n"
       << "Type=simple\n"
       << "ExecStart=" << Quote(service.executable) << " " << service.arguments
       << "\n"
       // A path setting, not a command line: quotes would be part of the path.
       << "WorkingDirectory="
       << Literal(std::filesystem::path(service.executable).parent_path().string())
       << "\n"
       // A service account may still listen on port 443.
       << (service.user.empty()
               ? ""
               : "User=" + service.user + "\nAmbientCapabilities=CAP_NET_BIND_SERVICE\n")
       << "Restart=on-failure\n"
       << "TimeoutStopSec=" << service.stopTimeoutSeconds << "\n\n"
       << "[Install]\n"
       << "WantedBy=multi-user.target\n";
  unit.close();
  if (!unit)
    throw std::runtime_error("não foi possível gravar " + path + ": " + std::strerror(errno));
  if (UnitDir() == kDefaultUnitDir) {
    Systemctl("daemon-reload");
    Systemctl("enable", (service.name + ".service").c_str());
  }
  return path;
}

std::string UninstallService(const std::string& name) {
  const std::string path = UnitPath(name);
  if (UnitDir() == kDefaultUnitDir)
    Systemctl("disable", (name + ".service").c_str());
  std::error_code error;
  if (!std::filesystem::remove(path, error)) {
    throw std::runtime_error("não foi possível remover " + path + ": " +
                             (error ? error.message() : std::string("não existe")));
  }
  if (UnitDir() == kDefaultUnitDir)
    Systemctl("daemon-reload");
  return path;
}

}  // namespace platform
