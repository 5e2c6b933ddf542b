#include "api/DmSitef.h"
#include "api/WireJson.h"
#include "tef/VornCliSiTefRespCliSiTef.h"
#include "tef/VornCliSiTefTef.h"
#include "util/ServiceLog.h"

namespace {

const char kSucesso[] = "Transação TEF concluída com sucesso.";

// A record recovered from a backup carries only its content: its values are
// read by mapping that content as a library response.
const TVornCliSiTefResp& ComDados(const TVornCliSiTefResp& resp,
                                  std::unique_ptr<TVornCliSiTefResp>& mapeada) {
  if (dynamic_cast<const TVornCliSiTefRespCliSiTef*>(&resp) != nullptr) {
    return resp;
  }
  mapeada = std::make_unique<TVornCliSiTefRespCliSiTef>();
  mapeada->Assign(resp);
  return *mapeada;
}

}  // namespace

void TDmSitef::VornCliSiTefDepoisConfirmarTransacoes(
    TVornCliSiTefRespostasPendentes& RespostasPendentes) {
  // The component has confirmed these payments with the library: they are
  // approved, also when a cancellation came too late to stop them.
  TTransactionResult result;
  result.status = "approved";
  result.message = kSucesso;
  const TTransactionItemValues values{fTransacao.fVenda_Id, fTransacao.fPayerName,
                                      VornCliSiTef.TEFCliSiTef().FCancelandoTransacaoTEF};
  std::vector<TJsonMembers> items;
  for (int i = 0; i < RespostasPendentes.Count(); ++i) {
    std::unique_ptr<TVornCliSiTefResp> mapeada;
    items.push_back(BuildTransactionItem(ComDados(RespostasPendentes[i], mapeada), values));
  }
  result.transaction_data = std::move(items);
  fConcluido = true;
  ConfirmTransactionAPI(result);
  if (fGuardarResultado) {
    fResultado = result.Text();
  } else {
    SendClientMessage(result.Text());
  }
}

bool TDmSitef::ConfirmTransactionAPI(TTransactionResult& result) {
  const std::string base = fTransacao.fCallbackURL;
  const std::string address = CallbackAddress(fTransacao.fCallbackURL, GenerateJWT(JWTSecretKey()));
  {
    // The completed address is kept for the session's later callbacks,
    // unless a newer session start has replaced it meanwhile.
    std::lock_guard guard(fConfigLock);
    if (fCallbackURL == base) {
      fCallbackURL = fTransacao.fCallbackURL;
    }
  }
  const auto addIds = [&](std::int64_t paymentId) {
    AdicionarCampoTransactionData(result, "payment_id", paymentId);
    AdicionarCampoTransactionData(result, "company_id",
                                  static_cast<std::int64_t>(fTransacao.fEmpresa_Id));
  };
  TRESTResponse response;
  try {
    response =
        execRequest(TRESTRequestMethod::rmPOST, address, {}, result.Text(), CallbackOptions());
  } catch (const std::exception& error) {
    GravaLog(std::string("Erro ao registrar transação na API: ") + error.what());
    addIds(0);
    GravaLog(result.Text());
    SendClientMessage(GetJsonError(std::string("Erro ao registrar transação: ") + error.what()));
    return false;
  }
  if (response.StatusCode >= 200 && response.StatusCode <= 204) {
    std::int64_t paymentId = 0;
    try {
      paymentId = CallbackPaymentId(response.Content);
    } catch (const std::exception& error) {
      // The payment is confirmed already: the client still gets its result.
      GravaLog(std::string("Identificador de pagamento inválido na resposta da API: ") +
               error.what());
    }
    addIds(paymentId);
    return true;
  }
  const std::optional<std::string> message = CallbackMessage(response.Content);
  const std::string detail =
      message ? "Code: " + std::to_string(response.StatusCode) + " - Message: " + *message
              : std::to_string(response.StatusCode) + " - " + response.StatusText;
  GravaLog("Erro ao registrar transação na API: " + detail);
  addIds(0);
  return false;
}

void TDmSitef::VornCliSiTefComandaECFImprimeVia(TVornCliSiTefTipoRelatorio, int Via,
                                                const std::vector<std::string>& ImagemComprovante,
                                                int& RetornoECF) {
  try {
    SendClientMessage(BuildReceiptMessage(Via, ImagemComprovante));
  } catch (const std::exception&) {
  }
  RetornoECF = 1;
}

TRestOptions TDmSitef::CallbackOptions() const {
  TRestOptions options;
  options.extraCAFile = fConfig.ReadString("callback", "ca_file", "");
  const int timeout = fConfig.ReadInteger("callback", "timeout_ms", 0);
  if (timeout > 0) {
    options.timeoutMs = timeout;
  }
  return options;
}
