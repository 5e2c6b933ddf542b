// Delivery of results to the sale API through the journal, and
// "/transaction/status". A payment's report is written to the journal before
// the payment is confirmed with the library; it stays "pendente" until the
// confirmation is known to have happened, then the first attempt (in the
// after-confirmation handler) or the sender posts it until the API accepts it.

#include <set>

#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "api/RequestConversions.h"
#include "api/outbox/IdentidadePagamento.h"
#include "platform/Platform.h"
#include "tef/VornCliSiTefRespCliSiTef.h"
#include "util/Exception.h"
#include "util/ServiceLog.h"

namespace {

void GravarNoDiario(TOutbox& outbox, const TRelato& relato) {
  try {
    outbox.Gravar(relato);
  } catch (const std::exception& erro) {
    GravaLog(std::string("Erro ao gravar o diário de relatos: ") + erro.what());
  }
}

// The payments whose backups are on disk and not marked confirmed: their
// confirmation is still to come (or to be undone).
std::set<std::string> PagamentosEmAberto(const std::string& pastaBackup, bool& ilegivel) {
  const platform::Platform& os = platform::Current();
  const std::string pasta = pastaBackup + os.PathDelimiter();
  std::set<std::string> emAberto;
  for (const std::string& nome : os.FindFiles(pasta + "VornCliSiTef_*.tef")) {
    try {
      TVornCliSiTefRespCliSiTef resp;
      resp.LeArquivo(pasta + nome);
      if (!resp.CNFEnviado()) {
        emAberto.insert(IdentidadePagamento(resp));
      }
    } catch (const std::exception&) {
      ilegivel = true;
    }
  }
  return emAberto;
}

}  // namespace

void TDmSitef::IniciarEntrega() {
  fOutbox.Abrir();
  const std::vector<TRelato> pendentes = fOutbox.NoEstado(TEstadoRelato::pendente);
  // The server is starting, so no payment holds the component; should one
  // ever, what it left is settled at the next start.
  if (!pendentes.empty() && fAcesso.Entrar(TAcessoTEF::TDesistencia::processando)) {
    const std::string pastaBackup = VornCliSiTef.PathBackup();
    fAcesso.Sair();
    // A report written before its confirmation whose backups are all gone
    // (or marked confirmed) was confirmed: the process stopped before it knew.
    // One whose backup is still open waits for the start-up confirmation.
    // While a backup cannot be read, which payment it holds is unknown.
    bool ilegivel = false;
    const std::set<std::string> emAberto = PagamentosEmAberto(pastaBackup, ilegivel);
    for (TRelato relato : pendentes) {
      const bool aberto =
          std::any_of(relato.pagamentos.begin(), relato.pagamentos.end(),
                      [&](const std::string& pagamento) { return emAberto.count(pagamento) > 0; });
      if (!aberto && !ilegivel) {
        relato.estado = TEstadoRelato::confirmado;
        GravarNoDiario(fOutbox, relato);
      }
    }
  }
  fEnvio.Iniciar();
}

void TDmSitef::PararEntrega() {
  fEnvio.Parar();
}

void TDmSitef::VornCliSiTefAntesConfirmarTransacoes(
    TVornCliSiTefRespostasPendentes& RespostasPendentes) {
  std::vector<std::string> pagamentos;
  for (int i = 0; i < RespostasPendentes.Count(); ++i) {
    pagamentos.push_back(IdentidadePagamento(RespostasPendentes[i]));
  }
  // The start-up confirmation finds backups of payments whose report a
  // stopped process wrote before it confirmed them: that report stands.
  if (VornCliSiTef.TransacaoConfirmada &&
      std::any_of(pagamentos.begin(), pagamentos.end(), [&](const std::string& pagamento) {
        return fOutbox.PendenteDoPagamento(pagamento).has_value();
      })) {
    return;
  }
  TRelato relato;
  relato.chave = GenerateUUID();
  if (relato.chave.empty()) {
    throw Exception("Não foi possível gerar o identificador do relato.");
  }
  relato.criado = AgoraUtcMs();
  relato.saleId = fTransacao.fVenda_Id;
  relato.estado = TEstadoRelato::pendente;
  relato.status = "approved";
  const std::string base = fTransacao.fCallbackURL;
  relato.endereco = CallbackAddress(fTransacao.fCallbackURL, GenerateJWT(JWTSecretKey()));
  {
    // The completed address is kept for the session's later callbacks,
    // unless a newer session start has replaced it meanwhile.
    std::lock_guard guard(fConfigLock);
    if (fCallbackURL == base) {
      fCallbackURL = fTransacao.fCallbackURL;
    }
  }
  relato.corpo = ResultadoAprovado(RespostasPendentes).Text();
  relato.pagamentos = std::move(pagamentos);
  fOutbox.Gravar(relato);
}

void TDmSitef::VornCliSiTefAntesCancelarTransacao(TVornCliSiTefResp& RespostaPendente) {
  // A payment undone before its confirmation was known must never be
  // reported: its report goes before the library is asked to undo it.
  const std::optional<TRelato> relato =
      fOutbox.PendenteDoPagamento(IdentidadePagamento(RespostaPendente));
  if (relato && !fOutbox.Remover(relato->chave)) {
    GravaLog("Erro ao apagar relato de pagamento desfeito do diário: " + relato->chave);
  }
}

void TDmSitef::RegistrarFimSemAprovacao(std::int32_t saleId, const std::string& status,
                                        const std::optional<std::string>& resultado) {
  TRelato relato;
  relato.chave = GenerateUUID();
  if (relato.chave.empty()) {
    return;
  }
  relato.criado = AgoraUtcMs();
  relato.saleId = saleId;
  relato.estado = TEstadoRelato::final;
  relato.status = status;
  relato.resultado = resultado;
  GravarNoDiario(fOutbox, relato);
}

void TDmSitef::TransactionStatus(const nlohmann::ordered_json& pMessage,
                                 ClientConnection& pIdContext) {
  if (GetValue(pMessage, "type") != "transaction_status") {
    pIdContext.SendClientMessage(GetJsonError("Campo type diferente de transaction_status."));
    return;
  }
  const std::string venda = GetValue(pMessage, "sale_id");
  const std::int32_t saleId = StrToInt32(venda);
  TJsonMembers resposta;
  resposta.AddText("type", "transaction_status").AddText("sale_id", venda);
  const std::optional<TRelato> ultimo = fOutbox.UltimoDaVenda(saleId);
  const std::uint64_t emCurso = fEmCurso;
  if (emCurso != 0 && static_cast<std::int32_t>(emCurso & 0xFFFFFFFFu) == saleId) {
    resposta.AddText("state", "running");
  } else if (!ultimo) {
    resposta.AddText("state", "unknown");
  } else {
    resposta.AddText("state", ultimo->status);
    if (ultimo->resultado) {
      resposta.AddRaw("result", *ultimo->resultado);
    }
    if (ultimo->status == "approved") {
      resposta.AddRaw("reported", ultimo->estado == TEstadoRelato::aceito ? "true" : "false");
    }
  }
  pIdContext.SendClientMessage(resposta.Text());
}
