#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "api/CliSiTefDriverStandIn.h"
#include "api/ClientConnection.h"
#include "api/Sessions.h"
#include "util/DateTime.h"
#include "util/IniConfig.h"

// The API module: turns each client message into an action and answers on the
// connection that sent it. One instance serves every connection; the service
// host creates it with the configuration reader it owns and installs
// Handlers() on its server.
class TDmSitef {
 public:
  // The key shared with the sale back office, unless [security] jwt_secret
  // names another.
  static constexpr char kJWTSecretKey[] = "Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U";
  static constexpr int kSessionSeconds = 1800;

  // DataModuleCreate: an empty session list and today's TEF trace path.
  explicit TDmSitef(const TIniConfig& config);
  // DataModuleDestroy.
  ~TDmSitef();
  TDmSitef(const TDmSitef&) = delete;
  TDmSitef& operator=(const TDmSitef&) = delete;

  // The server's hooks: every message goes to RouteTargeting.
  ClientHandlers Handlers();

  // Dispatches one client message (see DmSitefDispatch.cpp). Text that is not
  // JSON is ignored; JSON that is not an object raises, which ends the
  // connection; EConnectionClosed passes through.
  void RouteTargeting(const std::string& pContent, ClientConnection& pIdContext);

  // Route handlers; each answers on the connection itself.
  void CreateSession(const std::string& pConfig, ClientConnection& pIdContext);
  // True with the session, or false after answering the reason.
  bool ValidateSession(const std::string& pContent, ClientConnection& pIdContext,
                       TSession& pSession);
  void FinishSession(const std::string& pContent, ClientConnection& pIdContext,
                     const TSession& pSession);
  void CheckFileVersion(const std::string& pContent, ClientConnection& pIdContext);
  void Print(const std::string& pContent, ClientConnection& pIdContext);
  void PrintData(const std::string& FileType, const std::string& Data,
                 ClientConnection& pIdContext);

  // {"type":"error","message":text}.
  static std::string GetJsonError(const std::string& text);
  // A new random identifier, 36 upper-case characters; empty when the
  // platform cannot make one.
  static std::string GenerateUUID();
  // A local moment as "yyyy-mm-ddThh:nn:ss.zzzZ" in UTC.
  static std::string DateTimeToUTCISO8601(TDateTime local);
  // "major.minor.release.build", or "Versão não encontrada".
  static std::string GetFileVersion(const std::string& file);
  // An HS384 token over the claims (JSON object text; none: {}).
  static std::string GenerateJWT(const std::string& SecretKey,
                                 const std::optional<std::string>& Claims = std::nullopt);

  // The shared key in force: [security] jwt_secret, or kJWTSecretKey.
  std::string JWTSecretKey() const;
  // Session lifetime: [security] session_seconds when positive, else 1800.
  int SessionSeconds() const;

  // What the latest session start applied (copies, taken under the lock).
  TCliSiTefDriverStandIn CliSiTef() const;
  std::int32_t Venda_Id() const;
  std::int32_t Empresa_Id() const;
  std::string CallbackURL() const;
  const std::string& ArqLOG() const { return fArqLOG; }
  const TSessionList& SessionList() const { return FSessionList; }

 private:
  const TIniConfig& fConfig;
  // The TEF trace path; handed to the TEF component once it exists.
  std::string fArqLOG;
  // Guards the terminal configuration and the sale fields below, which any
  // connection's session start may replace.
  mutable std::mutex fConfigLock;
  TCliSiTefDriverStandIn fCliSiTef;
  std::int32_t fVenda_Id = 0;
  std::int32_t fEmpresa_Id = 0;
  std::string fCallbackURL;
  std::atomic<bool> fProcessando{false};
  TSessionList FSessionList;
};

// The base64 text with every LF, CR and blank removed, and everything up to
// and including a first comma (a data-URL header) dropped.
std::string LimparBase64(const std::string& text);
// Decodes the base64 text into the file. On failure sends the plain text
// "Erro na conversão do arquivo: " + reason on the connection and returns false.
bool ConverterBase64ParaPDF(const std::string& text, const std::string& path,
                            ClientConnection& connection);
// Ends every running printing program (SumatraPDF.exe).
void KillSumatraProcess();

// The current moment in UTC, through the platform's clock and time zone.
TDateTime NowUTC();
