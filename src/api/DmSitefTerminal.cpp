// "/initialize" and "/pinpad/status": preparing and inspecting the terminal
// through the TEF component's CliSiTef binding, outside a payment.

#include <mutex>

#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "api/WireJson.h"
#include "tef/VornCliSiTefTef.h"

void TDmSitef::InitializeSiTef(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                               const TSession& /*pSession*/) {
  if (GetValue(pMessage, "type") != "initialize") {
    pIdContext.SendClientMessage(GetJsonError("Campo type diferente de initialize."));
    return;
  }
  try {
    {
      // Waits for an operation of another connection to end.
      TUsoTEF uso(*this, pIdContext, std::unique_lock(fTefLock));
      if (!VornCliSiTef.Inicializado(gpCliSiTef)) {
        InicializarCliSiTef();
      }
    }
    pIdContext.SendClientMessage(
        TWireObject().Add("type", "initialize").Add("message", "Inicializado com sucesso.").Text());
  } catch (const EConnectionClosed&) {
    throw;
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(
        GetJsonError(std::string("Erro ao conectar com servidor TEF: ") + error.what()));
  }
}

void TDmSitef::CheckPinpad(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                           const TSession& /*pSession*/) {
  if (GetValue(pMessage, "type") != "status") {
    pIdContext.SendClientMessage(GetJsonError("Campo type diferente de pinpad."));
    return;
  }
  // While a TEF operation runs the query is dropped without a reply.
  std::unique_lock lock(fTefLock, std::try_to_lock);
  if (fProcessando || !lock.owns_lock()) {
    return;
  }
  TUsoTEF uso(*this, pIdContext, std::move(lock));
  try {
    if (!VornCliSiTef.Inicializado(gpCliSiTef)) {
      InicializarCliSiTef();
    }
    fProcessando = true;
    const std::string presenca = VornCliSiTef.TEFCliSiTef().VerificarPresencaPinPad();
    std::string status;
    std::string message;
    if (presenca == "Nenhum PINPAD conectado...") {
      status = "disconnected";
      message = "Nenhum PinPad conectado";
    } else if (presenca == "PINPAD conectado com sucesso...") {
      status = "connected";
      message = "PinPad conectado";
    } else if (presenca == "Erro na DLL ou arquivo .INI do PINPAD") {
      status = "error";
      message = "Erro na dll ou arquivo de configuração do PinPad";
    }
    pIdContext.SendClientMessage(
        TWireObject().Add("type", "status").Add("status", status).Add("message", message).Text());
    fProcessando = false;
  } catch (const EConnectionClosed&) {
    fProcessando = false;
    throw;
  } catch (const std::exception& error) {
    fProcessando = false;
    pIdContext.SendClientMessage(
        GetJsonError(std::string("Erro ao verificar pinpad: ") + error.what()));
  }
}
