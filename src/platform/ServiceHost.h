#pragma once

#include <chrono>
#include <string>

namespace platform {

// A control request from the service manager.
enum class ServiceControl { kNone, kStop, kPause, kContinue };

// Makes the process receive service control requests through
// WaitServiceControl (on POSIX: SIGTERM and SIGINT stop, SIGUSR1 pauses,
// SIGUSR2 continues). Call before any thread is started.
void PrepareServiceControl();

// Waits at most `timeout` for the next control request.
ServiceControl WaitServiceControl(std::chrono::milliseconds timeout);

// What the service is registered with.
struct ServiceDefinition {
  std::string name;         // service (unit) name
  std::string description;  // shown by the service manager
  std::string executable;   // full path of the program
  std::string arguments;    // what makes the program run as the service
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
