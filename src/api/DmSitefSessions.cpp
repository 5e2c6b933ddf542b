#include <cmath>
#include <cstdint>
#include <filesystem>

#include "api/AccessToken.h"
#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "api/RequestConversions.h"
#include "api/WireJson.h"
#include "platform/Platform.h"
#include "util/Exception.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"
#include "util/VornSysUtils.h"

namespace {

using Json = nlohmann::ordered_json;

// A session start refused with a message for the client.
class ESessionRefused : public Exception {
 public:
  using Exception::Exception;
};

// Through the ANSI code page and back, as the terminal fields hold it.
std::string ThroughAnsi(const std::string& text) {
  return VornCliSiTefStr(VornAnsiStr(text));
}

// Lines split at CR LF, LF or CR; a trailing break adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(line);
      line.clear();
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

// [sitef] library: the library's file, taken from the executable's folder
// unless the path starts at a root; split into the driver's folder and file
// name. A 32-bit gateway needs the library's 32-bit file, a 64-bit one its
// 64-bit file.
void ApplyLibraryFile(const TIniConfig& config, TConfiguracaoCliSiTef& terminal) {
  const char delimiter = platform::Current().PathDelimiter();
  std::string file = Trim(config.ReadString("sitef", "library", ""));
  if (file.empty()) {
    file = std::string("dll") + delimiter + "CliSiTef32I.dll";
  }
  const std::filesystem::path path(file);
  if (!path.is_absolute() && !path.has_root_directory()) {
    file = VornAppDir() + file;
  }
  const auto folderEnd = file.find_last_of(std::string("/") + delimiter) + 1;
  terminal.fPathDLL = file.substr(0, folderEnd);
  terminal.fNomeDLL = file.substr(folderEnd);
}

// Everything a session start will apply, read and checked before any of it is.
struct SessionClaims {
  TConfiguracaoCliSiTef terminal;
  std::int32_t saleId = 0;
  std::int32_t companyId = 0;
  std::string callbackUrl;
};

SessionClaims ReadClaims(const Json& claims, const TIniConfig& config,
                         const TConfiguracaoCliSiTef& current) {
  SessionClaims read;
  const std::string sectional = ThroughAnsi(GetValue(claims, "secctional_code"));
  const std::string terminalNumber = "AG" + VornPadL(sectional, 4, '0') +
                                     VornStrZero(config.ReadInteger("sitef", "pdv_number", 0), 2);

  TConfiguracaoCliSiTef& terminal = read.terminal;
  terminal = current;
  terminal.FTEFModoServico = true;
  ApplyLibraryFile(config, terminal);
  terminal.fEnderecoIP = VornAnsiStr(GetValue(claims, "ip_address"));
  terminal.fCodigoLoja = VornAnsiStr(GetValue(claims, "store_code"));
  terminal.fNumeroTerminal = VornAnsiStr(terminalNumber);
  terminal.fParametrosAdicionais = SplitLines(GetValue(claims, "additional_parameters"));
  terminal.fOperador = VornAnsiStr(GetValue(claims, "operator"));

  read.saleId = StrToInt32(ThroughAnsi(GetValue(claims, "sale_id")));
  read.companyId = StrToInt32(ThroughAnsi(GetValue(claims, "company_id")));
  if (read.saleId < 1) {
    throw ESessionRefused("ID de venda não informado.");
  }
  read.callbackUrl = ThroughAnsi(GetValue(claims, "callback_url"));
  if (Trim(read.callbackUrl).empty()) {
    throw ESessionRefused("URL de callback não informada.");
  }
  return read;
}

std::int64_t UnixSeconds(TDateTime utc) {
  constexpr double kUnixEpochDays = 25569.0;
  return static_cast<std::int64_t>(std::floor((utc - kUnixEpochDays) * 86400.0));
}

}  // namespace

void TDmSitef::CreateSession(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext) {
  if (!pMessage.is_object()) {
    pIdContext.SendClientMessage(GetJsonError("Configuração de entrada inválida."));
    return;
  }
  SessionClaims claims;
  try {
    if (GetValue(pMessage, "type") != "session") {
      throw ESessionRefused("Configuração de entrada inválida: type diferente de \"session\".");
    }
    const Json tokenClaims =
        VerifyAccessToken(GetValue(pMessage, "token"), JWTSecretKey(), UnixSeconds(NowUTC()));
    claims = ReadClaims(tokenClaims, fConfig, CliSiTef());
  } catch (const Exception& refused) {
    pIdContext.SendClientMessage(GetJsonError(refused.what()));
    return;
  }

  const std::string uuid = GenerateUUID();
  if (uuid.empty()) {
    pIdContext.SendClientMessage(GetJsonError("Não foi possível gerar o identificador da sessão."));
    return;
  }
  const TDateTime now = Now();
  const TDateTime expiration = now + SessionSeconds() / 86400.0;
  const TDateTime nowUtc = NowUTC();
  const TDateTime expirationUtc = nowUtc + (expiration - now);
  {
    std::lock_guard guard(fConfigLock);
    fCliSiTef = claims.terminal;
    fVenda_Id = claims.saleId;
    fEmpresa_Id = claims.companyId;
    fCallbackURL = claims.callbackUrl;
  }
  const std::string reply =
      TWireObject()
          .Add("type", "session")
          .Add("status", "created")
          .Add("message", "Sessão criada com sucesso.")
          .Add("expiration", DateTimeToUTCISO8601(expiration))
          .Add("session_uuid", uuid)
          .Add("store_code", VornCliSiTefStr(claims.terminal.fCodigoLoja))
          .Add("terminal_number", VornCliSiTefStr(claims.terminal.fNumeroTerminal))
          .Text();
  FSessionList.DeleteExpired(nowUtc);
  FSessionList.AddItem(uuid, pIdContext.Id(), expiration, expirationUtc);
  pIdContext.SendClientMessage(reply);
}

bool TDmSitef::ValidateSession(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                               TSession& pSession) {
  if (!pMessage.is_object()) {
    pIdContext.SendClientMessage(GetJsonError("Os dados recebidos são inválidos."));
    return false;
  }
  std::string uuid;
  try {
    uuid = GetValue(pMessage, "session_uuid");
  } catch (const Exception& missing) {
    pIdContext.SendClientMessage(GetJsonError(missing.what()));
    return false;
  }
  const auto session = FSessionList.GetSession(uuid);
  if (!session) {
    pIdContext.SendClientMessage(GetJsonError("Sessão inválida."));
    return false;
  }
  if (IsExpired(*session, NowUTC())) {
    pIdContext.SendClientMessage(GetJsonError("Sessão expirada."));
    FSessionList.DeleteItem(uuid);
    return false;
  }
  pSession = *session;
  return true;
}

void TDmSitef::FinishSession(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                             const TSession& pSession) {
  if (GetValue(pMessage, "type") != "session") {
    pIdContext.SendClientMessage(GetJsonError("Campo type diferente de session."));
    return;
  }
  try {
    pIdContext.SendClientMessage(TWireObject()
                                     .Add("type", "session")
                                     .Add("status", "finished")
                                     .Add("message", "Sessão finalizada com sucesso.")
                                     .Text());
    FSessionList.DeleteItem(pSession.FSession_UUID);
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(
        GetJsonError(std::string("Erro ao finalizar sessão: ") + error.what()));
  }
}
