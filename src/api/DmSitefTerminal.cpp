// "/initialize" and "/pinpad/status": preparing and inspecting the terminal
// through the TEF component's CliSiTef binding, outside a payment.

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
    // An initialized binding only answers, also while another connection's
    // payment holds the component; otherwise this waits for the
    // initialization or query of another connection in front of it.
    if (fAcesso.Entrar(TAcessoTEF::TDesistencia::inicializado)) {
      TUsoTEF uso(*this, pIdContext);
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
  // While a payment is processing the query is dropped without a reply; an
  // initialization or query of another connection is waited for.
  if (!fAcesso.Entrar(TAcessoTEF::TDesistencia::processando)) {
    return;
  }
  TUsoTEF uso(*this, pIdContext);
  try {
    if (!VornCliSiTef.Inicializado(gpCliSiTef)) {
      InicializarCliSiTef();
    }
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
  } catch (const EConnectionClosed&) {
    throw;
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(
        GetJsonError(std::string("Erro ao verificar pinpad: ") + error.what()));
  }
}
