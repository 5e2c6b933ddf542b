#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace platform {

// A control request from the service manager.
enum class ServiceControl { kNone, kStop, kPause, kContinue };

// Runs `service` (the service's whole life: start, the loop over
// WaitServiceControl, stop) and returns its exit code. Started by the service
// manager (Windows), the service runs inside the service's main function and
// the manager is told of every state it reaches; otherwise it runs in the
// foreground, where the process's stop requests reach WaitServiceControl (on
// POSIX: SIGTERM and SIGINT stop, SIGUSR1 pauses, SIGUSR2 continues; on
// Windows: Ctrl+C stops). Call before any thread is started.
int RunService(const std::string& name, const std::function<int()>& service);

// Waits at most `timeout` for the next control request. Each call also
// tells the service manager that the request returned before has been
// carried out.
ServiceControl WaitServiceControl(std::chrono::milliseconds timeout);

// Tells the service manager that a pending state change (a stop waiting for
// a running operation) is still progressing, so it keeps waiting. Any thread;
// nothing outside the service manager, nor on POSIX, where systemd's own stop
// time-out applies.
void ServiceProgress();

// What the service is registered with.
struct ServiceDefinition {
  std::string name;         // service (unit) name
  std::string description;  // shown by the service manager
  std::string executable;   // full path of the program
  std::string arguments;    // what makes the program run as the service
  // systemd only (a Windows service runs as the local system account and
  // reports its progress while it stops):
  std::string user;             // account it runs as; empty: root
  int stopTimeoutSeconds = 90;  // how long a stop may take before it is killed
};

// Registers the service to start with the system; returns where it was
// registered (on Linux the systemd unit file, written into the folder named
// by the environment variable GATEWAY_SYSTEMD_UNIT_DIR, else
// /etc/systemd/system). Throws std::runtime_error with the reason.
std::string InstallService(const ServiceDefinition& service);

// Removes the registration; returns what was removed. Throws
// std::runtime_error when there was none or it cannot be removed.
std::string UninstallService(const std::string& name);

}  // namespace platform
