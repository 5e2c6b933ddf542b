#include "host/QuorelSiTefService.h"

#include "host/TlsServerContext.h"
#include "platform/Platform.h"
#include "util/RegionalConfig.h"
#include "util/ServiceLog.h"
#include "util/VornSysUtils.h"

TQuorelSiTefService* QuorelSiTefService = nullptr;

namespace {
constexpr char kServer[] = "server";

// A positive value of the key, or the default.
int ReadPositive(const TIniConfig& config, const char* key, int fallback) {
  const int value = config.ReadInteger(kServer, key, fallback);
  return value > 0 ? value : fallback;
}
}  // namespace

TQuorelSiTefService::TQuorelSiTefService(ClientHandlers handlers)
    : iniConfig(ConfigFilePath()), handlers_(std::move(handlers)) {
  QuorelSiTefService = this;
  ApplyRegionalConfig(iniConfig);
}

TQuorelSiTefService::~TQuorelSiTefService() {
  StopServer();
  if (QuorelSiTefService == this)
    QuorelSiTefService = nullptr;
}

int TQuorelSiTefService::StopWaitSeconds(const TIniConfig& config) {
  return ReadPositive(config, "stop_wait_seconds", 300);
}

TServerSettings TQuorelSiTefService::ServerSettings(const TIniConfig& config) {
  TServerSettings settings;
  settings.listen.port = config.ReadInteger(kServer, "port", 443);
  settings.listen.keepAlive = config.ReadBool(kServer, "keepalive", true);
  settings.listen.keepAliveIdleSeconds = ReadPositive(config, "keepalive_idle_seconds", 60);
  settings.listen.keepAliveIntervalSeconds = ReadPositive(config, "keepalive_interval_seconds", 10);
  settings.listen.keepAliveProbes = ReadPositive(config, "keepalive_probes", 6);
  settings.certificateFolder = VornAppDir() + "Certificado" + platform::Current().PathDelimiter();
  settings.ciphers = config.ReadString(kServer, "ciphers", "");
  if (settings.ciphers.empty())
    settings.ciphers = TlsServerContext::kIntermediateCiphers;
  settings.connection.frames.maxMessageBytes =
      static_cast<std::uint64_t>(ReadPositive(config, "max_message_bytes", 64 << 20));
  settings.connection.frames.stall =
      std::chrono::milliseconds(ReadPositive(config, "stall_timeout_ms", 30000));
  settings.connection.upgradeTimeout =
      std::chrono::milliseconds(ReadPositive(config, "upgrade_timeout_ms", 10000));
  settings.maxConnections = ReadPositive(config, "max_connections", 32);
  settings.stopWait = std::chrono::seconds(StopWaitSeconds(config));
  return settings;
}

void TQuorelSiTefService::StartServer() {
  try {
    std::lock_guard lock(serverLock_);
    if (FServerThread && !FServerThread->Finished())
      return;
    GravaLog("Iniciando servidor socket.");
    FServerThread.reset();
    if (handlers_.OnServerStarting)
      handlers_.OnServerStarting();
    FServerThread = std::make_unique<TServerThread>(
        ServerSettings(iniConfig), handlers_, [](const std::string& text) { GravaLog(text); });
    FServerThread->Start();
  } catch (const std::exception& e) {
    GravaLog(e.what());
  }
}

void TQuorelSiTefService::StopServer() {
  std::lock_guard lock(serverLock_);
  if (FServerThread) {
    FServerThread->Stop();
    FServerThread.reset();
  }
  if (handlers_.OnServerStopped)
    handlers_.OnServerStopped();
}

bool TQuorelSiTefService::ServerActive() const {
  std::lock_guard lock(serverLock_);
  return FServerThread && FServerThread->Active();
}

void TQuorelSiTefService::ServiceStart() {
  StartServer();
  GravaLog("O serviço foi inciado.");
}

void TQuorelSiTefService::ServiceStop() {
  StopServer();
  GravaLog("O serviço foi parado.");
}

void TQuorelSiTefService::ServicePause() {
  StopServer();
  GravaLog("O serviço foi pausado.");
}

void TQuorelSiTefService::ServiceContinue() {
  StartServer();
  GravaLog("O serviço foi retomado.");
}
