// The gateway's process entry. No argument: the debug window. "--service":
// the service, driven by the service manager's control requests (headless in
// the foreground when no service manager started it). "--install" /
// "--uninstall" (or "/install" / "/uninstall", as Windows programs take
// them): register or remove it.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "api/DmSitef.h"
#include "host/EchoDispatcher.h"
#include "host/ModoDebug.h"
#include "host/QuorelSiTefService.h"
#include "platform/Platform.h"
#include "platform/ServiceHost.h"
#include "util/ServiceLog.h"

namespace {

// Client messages go to the API module. GATEWAY_ECHO_DISPATCHER=1 puts the
// echo stand-in in its place (the endpoint's own end-to-end tests).
ClientHandlers Dispatcher() {
  const char* echo = std::getenv("GATEWAY_ECHO_DISPATCHER");
  if (echo != nullptr && std::string(echo) == "1")
    return EchoDispatcher([](const std::string& text) { GravaLog(text); });
  static const TIniConfig config(ConfigFilePath());
  static TDmSitef DmSitef(config);
  return DmSitef.Handlers();
}

// ServiceExecute: control requests are handled between waits of 100 ms.
int ServiceExecute() {
  TQuorelSiTefService service(Dispatcher());
  service.ServiceStart();
  for (;;) {
    switch (platform::WaitServiceControl(std::chrono::milliseconds(100))) {
      case platform::ServiceControl::kStop:
        service.ServiceStop();
        return 0;
      case platform::ServiceControl::kPause:
        service.ServicePause();
        break;
      case platform::ServiceControl::kContinue:
        service.ServiceContinue();
        break;
      case platform::ServiceControl::kNone:
        break;
    }
  }
}

// A stop waits for a running operation; systemd must not kill the process
// before that wait has run out and the server has closed.
constexpr int kStopMarginSeconds = 30;

// GATEWAY_SERVICE_USER names the account the unit runs the service as (the
// Debian package's system user); without it the service runs as root.
int Install() {
  try {
    const char* user = std::getenv("GATEWAY_SERVICE_USER");
    const TIniConfig config(ConfigFilePath());
    const std::string where = platform::InstallService(
        {kServiceName, kServiceDescription, platform::Current().ExecutablePath(), "--service",
         user != nullptr ? user : "",
         TQuorelSiTefService::StopWaitSeconds(config) + kStopMarginSeconds});
    std::printf("Serviço %s instalado: %s\n", kServiceName, where.c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Falha ao instalar o serviço %s: %s\n", kServiceName, e.what());
    return 1;
  }
}

int Uninstall() {
  try {
    const std::string where = platform::UninstallService(kServiceName);
    std::printf("Serviço %s removido: %s\n", kServiceName, where.c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Falha ao remover o serviço %s: %s\n", kServiceName, e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc <= 1)
    return RunDebugWindow(Dispatcher());
  if (argc == 2 && mode == "--service")
    return platform::RunService(kServiceName, ServiceExecute);
  if (argc == 2 && (mode == "--install" || mode == "/install"))
    return Install();
  if (argc == 2 && (mode == "--uninstall" || mode == "/uninstall"))
    return Uninstall();
  std::fprintf(stderr, "Uso: %s [--service | --install | --uninstall | /install | /uninstall]\n",
               argv[0]);
  return 2;
}
