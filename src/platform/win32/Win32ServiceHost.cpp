#include <windows.h>
// tlhelp32.h needs windows.h first.
#include <tlhelp32.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "platform/ServiceHost.h"
#include "platform/win32/WideText.h"

namespace platform {
namespace {

constexpr DWORD kWaitHintMs = 5000;
constexpr char kServicesKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

// The control requests not yet taken by WaitServiceControl, and what the
// service manager is told once the one taken last has been carried out.
struct ControlQueue {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<ServiceControl> pending;
  std::optional<DWORD> stateAfterTaken;
};

ControlQueue& Controls() {
  static ControlQueue queue;
  return queue;
}

void Push(ServiceControl control) {
  ControlQueue& queue = Controls();
  {
    std::lock_guard guard(queue.lock);
    queue.pending.push_back(control);
  }
  queue.arrived.notify_one();
}

// The service as the service manager runs it: its name, the function that
// runs it, its status handle and its exit code.
struct ManagedService {
  std::wstring name;
  const std::function<int()>* run = nullptr;
  SERVICE_STATUS_HANDLE status = nullptr;
  DWORD checkPoint = 0;
  DWORD state = 0;  // the state reported last
  DWORD exitCode = 0;
  std::mutex reporting;  // Report runs on the manager's thread and the service's
};

ManagedService managed;

bool Pending(DWORD state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
         state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
}

// Tells the service manager the service's state (nothing outside it).
void Report(DWORD state) {
  if (managed.status == nullptr) {
    return;
  }
  std::lock_guard guard(managed.reporting);
  managed.state = state;
  const bool pending = Pending(state);
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_START_PENDING || state == SERVICE_STOPPED
          ? 0
          : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
  status.dwWin32ExitCode =
      state == SERVICE_STOPPED && managed.exitCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
  status.dwServiceSpecificExitCode = state == SERVICE_STOPPED ? managed.exitCode : 0;
  status.dwCheckPoint = pending ? ++managed.checkPoint : 0;
  status.dwWaitHint = pending ? kWaitHintMs : 0;
  SetServiceStatus(managed.status, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING);
      Push(ServiceControl::kStop);
      return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
      Report(SERVICE_PAUSE_PENDING);
      Push(ServiceControl::kPause);
      return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
      Report(SERVICE_CONTINUE_PENDING);
      Push(ServiceControl::kContinue);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  managed.status = RegisterServiceCtrlHandlerExW(managed.name.c_str(), ControlHandler, nullptr);
  if (managed.status == nullptr) {
    return;
  }
  Report(SERVICE_START_PENDING);
  {
    std::lock_guard guard(Controls().lock);
    Controls().stateAfterTaken = SERVICE_RUNNING;
  }
  managed.exitCode = static_cast<DWORD>((*managed.run)());
  Report(SERVICE_STOPPED);
}

// Set once the foreground service has returned.
HANDLE ForegroundEnded() {
  static const HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return ended;
}

BOOL WINAPI ConsoleHandler(DWORD event) {
  Push(ServiceControl::kStop);
  // Closing the console, logging off or shutting down ends the process as
  // soon as this returns: the service gets its time to stop first.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    WaitForSingleObject(ForegroundEnded(), kWaitHintMs);
  }
  return TRUE;
}

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) {
      CloseServiceHandle(handle_);
    }
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE Get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + SystemMessage(GetLastError()));
}

// Asks a running service to stop and waits for it, for at most a few wait
// hints; the service is removed whether it stopped or not.
void StopAndWait(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    return;
  }
  for (DWORD waited = 0; status.dwCurrentState != SERVICE_STOPPED && waited < 3 * kWaitHintMs;
       waited += 100) {
    Sleep(100);
    if (!QueryServiceStatus(service, &status)) {
      return;
    }
  }
}

// Whether the Service Control Manager started this process: it is then the
// child of services.exe. Only such a process connects to the manager's
// dispatcher: anywhere else the connection fails, and under Wine only after
// a ten-second wait for the manager's pipe.
bool StartedByServiceManager() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return true;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && parent == 0;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) {
      parent = entry.th32ParentProcessID;
    }
  }
  bool managed = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && parent != 0 && !managed;
       more = Process32NextW(snapshot, &entry)) {
    managed = entry.th32ProcessID == parent && lstrcmpiW(entry.szExeFile, L"services.exe") == 0;
  }
  CloseHandle(snapshot);
  return managed;
}

}  // namespace

int RunService(const std::string& name, const std::function<int()>& service) {
  managed.name = Utf8ToWide(name);
  managed.run = &service;
  SERVICE_TABLE_ENTRYW table[] = {{managed.name.data(), ServiceMain}, {nullptr, nullptr}};
  if (StartedByServiceManager()) {
    if (StartServiceCtrlDispatcherW(table)) {
      return static_cast<int>(managed.exitCode);
    }
    if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      Fail("StartServiceCtrlDispatcher");
    }
  }
  // Not started by the service manager: in the foreground, until Ctrl+C.
  SetConsoleCtrlHandler(ConsoleHandler, TRUE);
  const int exitCode = service();
  SetEvent(ForegroundEnded());
  return exitCode;
}

ServiceControl WaitServiceControl(std::chrono::milliseconds timeout) {
  ControlQueue& queue = Controls();
  std::unique_lock guard(queue.lock);
  // The request taken last has been carried out.
  if (queue.stateAfterTaken) {
    Report(*queue.stateAfterTaken);
    queue.stateAfterTaken.reset();
  }
  if (!queue.arrived.wait_for(guard, timeout, [&] { return !queue.pending.empty(); })) {
    return ServiceControl::kNone;
  }
  const ServiceControl control = queue.pending.front();
  queue.pending.pop_front();
  if (control == ServiceControl::kPause) {
    queue.stateAfterTaken = SERVICE_PAUSED;
  } else if (control == ServiceControl::kContinue) {
    queue.stateAfterTaken = SERVICE_RUNNING;
  }
  return control;
}

void ServiceProgress() {
  DWORD state = 0;
  {
    std::lock_guard guard(managed.reporting);
    state = managed.state;
  }
  if (Pending(state)) {
    Report(state);
  }
}

std::string InstallService(const ServiceDefinition& service) {
  const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (manager.Get() == nullptr) {
    Fail("não foi possível abrir o gerenciador de serviços");
  }
  const std::wstring name = Utf8ToWide(service.name);
  const std::wstring binary =
      L"\"" + Utf8ToWide(service.executable) + L"\" " + Utf8ToWide(service.arguments);
  const ServiceHandle created(
      CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_CHANGE_CONFIG,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                     binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (created.Get() == nullptr) {
    Fail("não foi possível criar o serviço " + service.name);
  }
  // The description is the registry value "Description" under the service's
  // key; like the registration's other extras, a failure here is not one of
  // the installation.
  std::wstring description = Utf8ToWide(service.description);
  SERVICE_DESCRIPTIONW value{description.data()};
  ChangeServiceConfig2W(created.Get(), SERVICE_CONFIG_DESCRIPTION, &value);
  return kServicesKey + service.name;
}

std::string UninstallService(const std::string& name) {
  const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.Get() == nullptr) {
    Fail("não foi possível abrir o gerenciador de serviços");
  }
  const ServiceHandle service(OpenServiceW(manager.Get(), Utf8ToWide(name).c_str(),
                                           SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (service.Get() == nullptr) {
    Fail("não foi possível remover o serviço " + name);
  }
  StopAndWait(service.Get());
  if (!DeleteService(service.Get())) {
    Fail("não foi possível remover o serviço " + name);
  }
  return kServicesKey + name;
}

}  // namespace platform
