#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "util/Exception.h"
#include "util/ServiceLog.h"
#include "util/VornString.h"

void TDmSitef::RouteTargeting(const std::string& pContent, ClientConnection& pIdContext) {
  auto message = ParseJsonMessage(pContent);
  if (!message) {
    return;
  }
  if (!message->is_object()) {
    GravaLog("Mensagem JSON que não é um objeto de " + pIdContext.PeerAddress() +
             "; a conexão é encerrada.");
    throw Exception("Mensagem JSON que não é um objeto.");
  }
  try {
    const std::string route = GetValue(*message, "route");
    TSession session;
    if (route == "/session/start") {
      try {
        CreateSession(*message, pIdContext);
      } catch (const EConnectionClosed&) {
        throw;
      } catch (const std::exception&) {
        pIdContext.SendClientMessage(GetJsonError("Dados de sessão inválidos."));
      }
      return;
    }
    if (!VornStrIn(route, {"/version", "/print"}) &&
        !ValidateSession(*message, pIdContext, session)) {
      return;
    }
    if (route == "/session/finish") {
      FinishSession(*message, pIdContext, session);
    } else if (route == "/initialize") {
      InitializeSiTef(*message, pIdContext, session);
    } else if (route == "/pinpad/status") {
      CheckPinpad(*message, pIdContext, session);
    } else if (route == "/version") {
      CheckFileVersion(*message, pIdContext);
    } else if (route == "/print") {
      Print(*message, pIdContext);
    } else if (route == "/transaction") {
      StartTransaction(*message, pIdContext, session);
    } else if (route == "/transaction/cancel") {
      CancelTransactionInProgress(*message);
    } else if (route == "/transaction/status") {
      TransactionStatus(*message, pIdContext);
    }
  } catch (const EConnectionClosed&) {
    throw;
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(GetJsonError(error.what()));
  }
}
