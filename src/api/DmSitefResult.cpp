#include <algorithm>

#include "api/DmSitef.h"
#include "api/WireJson.h"
#include "api/outbox/IdentidadePagamento.h"
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

TTransactionResult TDmSitef::ResultadoAprovado(
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
  return result;
}

void TDmSitef::VornCliSiTefDepoisConfirmarTransacoes(
    TVornCliSiTefRespostasPendentes& RespostasPendentes) {
  TTransactionResult result = ResultadoAprovado(RespostasPendentes);
  fConcluido = true;
  // The journal's reports of these payments, each posted once here; a
  // payment whose confirmation is not known to have happened keeps its
  // report back until it is.
  std::vector<TRelato> relatos;
  bool todasConfirmadas = true;
  for (int i = 0; i < RespostasPendentes.Count(); ++i) {
    const TVornCliSiTefResp& resp = RespostasPendentes[i];
    todasConfirmadas = todasConfirmadas && (VornCliSiTef.TransacaoConfirmada || resp.CNFEnviado());
    const std::optional<TRelato> relato = fOutbox.PendenteDoPagamento(IdentidadePagamento(resp));
    if (relato && std::none_of(relatos.begin(), relatos.end(),
                               [&](const TRelato& r) { return r.chave == relato->chave; })) {
      relatos.push_back(*relato);
    }
  }
  if (!todasConfirmadas) {
    relatos.clear();
  }
  bool idsAdicionados = false;
  for (TRelato& relato : relatos) {
    TTransactionResult resultado = result;
    ConfirmTransactionAPI(resultado, relato);
    if (!idsAdicionados) {
      result = resultado;
      idsAdicionados = true;
    }
  }
  if (!idsAdicionados) {
    AdicionarCampoTransactionData(result, "payment_id", std::int64_t{0});
    AdicionarCampoTransactionData(result, "company_id",
                                  static_cast<std::int64_t>(fTransacao.fEmpresa_Id));
  }
  const std::string texto = result.Text();
  for (TRelato& relato : relatos) {
    relato.resultado = texto;
    try {
      fOutbox.Gravar(relato);
    } catch (const std::exception& erro) {
      GravaLog(std::string("Erro ao gravar o diário de relatos: ") + erro.what());
    }
    if (relato.estado == TEstadoRelato::confirmado) {
      fEnvio.Agendar(relato.chave, 1);
    }
  }
  if (fGuardarResultado) {
    fResultado = texto;
  } else {
    SendClientMessage(texto);
  }
}

bool TDmSitef::ConfirmTransactionAPI(TTransactionResult& result, TRelato& relato) {
  const auto addIds = [&](std::int64_t paymentId) {
    AdicionarCampoTransactionData(result, "payment_id", paymentId);
    AdicionarCampoTransactionData(result, "company_id",
                                  static_cast<std::int64_t>(fTransacao.fEmpresa_Id));
  };
  // What the answer makes of the report; written back by the caller.
  relato.estado = TEstadoRelato::confirmado;
  TRESTResponse response;
  try {
    response = execRequest(TRESTRequestMethod::rmPOST, relato.endereco,
                           {{"Idempotency-Key", relato.chave, rpHTTPHEADER}}, relato.corpo,
                           CallbackOptions());
  } catch (const std::exception& error) {
    GravaLog(std::string("Erro ao registrar transação na API: ") + error.what());
    addIds(0);
    GravaLog(result.Text());
    SendClientMessage(GetJsonError(std::string("Erro ao registrar transação: ") + error.what()));
    return false;
  }
  const TDesfechoEnvio desfecho = DesfechoDoStatus(response.StatusCode);
  if (desfecho == TDesfechoEnvio::aceito) {
    relato.estado = TEstadoRelato::aceito;
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
  const std::string detail = DetalheDaResposta(response);
  GravaLog("Erro ao registrar transação na API: " + detail);
  if (desfecho == TDesfechoEnvio::recusado) {
    relato.estado = TEstadoRelato::rejeitado;
    relato.resposta = detail;
    GravaLog("Relato de transação recusado pela API e guardado à parte: " + relato.chave + " - " +
             detail);
  }
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
