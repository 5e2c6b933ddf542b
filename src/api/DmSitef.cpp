#include "api/DmSitef.h"

#include "api/AccessToken.h"
#include "api/WireJson.h"
#include "platform/Platform.h"
#include "util/ServiceLog.h"

namespace {

std::string PastaOutbox() {
  const platform::Platform& os = platform::Current();
  const std::string executavel = os.ExecutablePath();
  return executavel.substr(0, executavel.rfind(os.PathDelimiter()) + 1) + "Outbox" +
         os.PathDelimiter();
}

}  // namespace

TDmSitef::TDmSitef(const TIniConfig& config)
    : fConfig(config),
      fArqLOG(TefTracePath()),
      fOutbox(PastaOutbox()),
      fEnvio(
          fOutbox,
          [this](const TRelato& relato, const std::atomic<bool>& abandonar) {
            TRestOptions opcoes = CallbackOptions();
            opcoes.abandon = &abandonar;
            return execRequest(TRESTRequestMethod::rmPOST, relato.endereco,
                               {{"Idempotency-Key", relato.chave, rpHTTPHEADER}}, relato.corpo,
                               opcoes);
          },
          [this] { return TPoliticaEntrega::Ler(fConfig); }) {
  VornCliSiTef.SetArqLOG(fArqLOG);
  WireTefEvents();
}

TDmSitef::~TDmSitef() = default;

ClientHandlers TDmSitef::Handlers() {
  ClientHandlers handlers;
  handlers.OnClientMessage = [this](ClientConnection& connection, const std::string& message) {
    RouteTargeting(message, connection);
  };
  handlers.OnClientDisconnected = [this](ClientConnection& connection) {
    TCPServerDisconnect(connection);
  };
  handlers.OnServerStarting = [this] { IniciarEntrega(); };
  handlers.OnServerStopped = [this] { PararEntrega(); };
  return handlers;
}

std::string TDmSitef::GetJsonError(const std::string& text) {
  return TWireObject().Add("type", "error").Add("message", text).Text();
}

std::string TDmSitef::GenerateUUID() {
  try {
    return platform::Current().NewGuid();
  } catch (const std::exception& error) {
    GravaLog(std::string("Falha ao gerar identificador: ") + error.what());
    return "";
  }
}

std::string TDmSitef::DateTimeToUTCISO8601(TDateTime local) {
  const int offsetMinutes = platform::Current().UtcOffsetMinutes(DecodeDateTime(local));
  return FormatDateTime("yyyy'-'mm'-'dd'T'hh':'nn':'ss'.'zzz'Z'", local - offsetMinutes / 1440.0);
}

TDateTime NowUTC() {
  const platform::Platform& os = platform::Current();
  const platform::CivilTime local = os.LocalNow();
  TDateTime now = 0;
  TryEncodeDateTime(local, now);
  return now - os.UtcOffsetMinutes(local) / 1440.0;
}

std::string TDmSitef::GenerateJWT(const std::string& SecretKey,
                                  const std::optional<std::string>& Claims) {
  return SignHS384(SecretKey, Claims.value_or("{}"));
}

std::string TDmSitef::JWTSecretKey() const {
  const std::string configured = fConfig.ReadString("security", "jwt_secret", "");
  return configured.empty() ? kJWTSecretKey : configured;
}

int TDmSitef::SessionSeconds() const {
  const int configured = fConfig.ReadInteger("security", "session_seconds", kSessionSeconds);
  return configured > 0 ? configured : kSessionSeconds;
}

TConfiguracaoCliSiTef TDmSitef::CliSiTef() const {
  std::lock_guard guard(fConfigLock);
  return fCliSiTef;
}

std::int32_t TDmSitef::Venda_Id() const {
  std::lock_guard guard(fConfigLock);
  return fVenda_Id;
}

std::int32_t TDmSitef::Empresa_Id() const {
  std::lock_guard guard(fConfigLock);
  return fEmpresa_Id;
}

std::string TDmSitef::CallbackURL() const {
  std::lock_guard guard(fConfigLock);
  return fCallbackURL;
}
