#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "api/ClientConnection.h"
#include "host/TServerThread.h"
#include "util/IniConfig.h"

// The text the service is registered with (the systemd unit's Description=).
inline constexpr char kServiceDescription[] =
    "Serviço guardião do Quorel DataSnap Servidor- Mantenha este serviço iniciado.";

// The service module: owns the configuration and the running server thread,
// and starts and stops the server for the service manager and the debug
// window. Start, stop and the state queries may come from any thread.
class TQuorelSiTefService {
 public:
  // ServiceCreate: opens the configuration; `handlers` is what each client
  // connection's messages and end are handed to.
  explicit TQuorelSiTefService(ClientHandlers handlers);
  // ServiceDestroy: stops the server.
  ~TQuorelSiTefService();
  TQuorelSiTefService(const TQuorelSiTefService&) = delete;
  TQuorelSiTefService& operator=(const TQuorelSiTefService&) = delete;

  void ServiceStart();
  void ServiceStop();
  void ServicePause();
  void ServiceContinue();

  // Starts a new server thread, unless one is still running (a second start
  // does nothing). A server thread that has ended is released first.
  void StartServer();
  // Makes the server inactive and waits until its threads have ended.
  void StopServer();

  // A server thread exists and its server is listening.
  bool ServerActive() const;

  // How long a stop waits for a running operation ([server] stop_wait_seconds).
  static int StopWaitSeconds(const TIniConfig& config);
  // The server settings as the configuration says now.
  static TServerSettings ServerSettings(const TIniConfig& config);

  TIniConfig iniConfig;

 private:
  ClientHandlers handlers_;
  mutable std::mutex serverLock_;
  std::unique_ptr<TServerThread> FServerThread;
};

// The process-wide service module (set while one exists).
extern TQuorelSiTefService* QuorelSiTefService;
