#include "api/outbox/OutboxSender.h"

#include "api/TransactionResult.h"
#include "util/ServiceLog.h"

namespace {

// An idle sender still wakes this often to prune the journal.
constexpr auto kPodaOcioso = std::chrono::hours(1);

void GravarOuRegistrar(TOutbox& outbox, const TRelato& relato) {
  try {
    outbox.Gravar(relato);
  } catch (const std::exception& erro) {
    GravaLog(std::string("Erro ao gravar o diário de relatos: ") + erro.what());
  }
}

}  // namespace

std::string DetalheDaResposta(const TRESTResponse& resposta) {
  const std::optional<std::string> mensagem = CallbackMessage(resposta.Content);
  return mensagem ? "Code: " + std::to_string(resposta.StatusCode) + " - Message: " + *mensagem
                  : std::to_string(resposta.StatusCode) + " - " + resposta.StatusText;
}

TOutboxSender::TOutboxSender(TOutbox& outbox, TEnvio envio, TPolitica politica)
    : fOutbox(outbox), fEnvio(std::move(envio)), fPolitica(std::move(politica)) {}

TOutboxSender::~TOutboxSender() {
  Parar();
}

void TOutboxSender::Iniciar() {
  std::lock_guard guard(fLock);
  if (fThread.joinable()) {
    return;
  }
  fParar = false;
  fAbandonar = false;
  const auto agora = std::chrono::steady_clock::now();
  for (const TRelato& relato : fOutbox.NoEstado(TEstadoRelato::confirmado)) {
    fAgenda.try_emplace(relato.chave, TAgenda{0, agora});
  }
  fThread = std::thread([this] { Executar(); });
}

void TOutboxSender::Parar() {
  {
    std::lock_guard guard(fLock);
    fParar = true;
  }
  fAbandonar = true;
  fSinal.notify_all();
  if (fThread.joinable()) {
    fThread.join();
  }
}

void TOutboxSender::Agendar(const std::string& chave, int tentativas) {
  const int espera = EsperaAposTentativa(fPolitica(), tentativas);
  {
    std::lock_guard guard(fLock);
    fAgenda[chave] =
        TAgenda{tentativas, std::chrono::steady_clock::now() + std::chrono::seconds(espera)};
  }
  fSinal.notify_all();
}

void TOutboxSender::Executar() {
  Podar();
  auto proximaPoda = std::chrono::steady_clock::now() + kPodaOcioso;
  std::unique_lock lock(fLock);
  while (!fParar) {
    const auto agora = std::chrono::steady_clock::now();
    auto devido = fAgenda.end();
    for (auto item = fAgenda.begin(); item != fAgenda.end(); ++item) {
      if (devido == fAgenda.end() || item->second.quando < devido->second.quando) {
        devido = item;
      }
    }
    if (agora >= proximaPoda) {
      lock.unlock();
      Podar();
      lock.lock();
      proximaPoda = agora + kPodaOcioso;
      continue;
    }
    if (devido == fAgenda.end() || devido->second.quando > agora) {
      const auto ate =
          devido == fAgenda.end() ? proximaPoda : std::min(proximaPoda, devido->second.quando);
      fSinal.wait_until(lock, ate);
      continue;
    }
    const std::string chave = devido->first;
    const int tentativas = devido->second.tentativas + 1;
    lock.unlock();
    const auto proxima = Tentar(chave, tentativas);
    lock.lock();
    if (proxima) {
      fAgenda[chave] = TAgenda{tentativas, *proxima};
    } else {
      fAgenda.erase(chave);
    }
  }
}

std::optional<std::chrono::steady_clock::time_point> TOutboxSender::Tentar(const std::string& chave,
                                                                           int tentativas) {
  std::optional<TRelato> relato = fOutbox.Buscar(chave);
  if (!relato || relato->estado != TEstadoRelato::confirmado) {
    return std::nullopt;
  }
  const TPoliticaEntrega politica = fPolitica();
  if (AgoraUtcMs() - relato->criado > std::int64_t{politica.dias} * 86400000) {
    relato->estado = TEstadoRelato::rejeitado;
    relato->resposta = "Não aceito em " + std::to_string(politica.dias) + " dias";
    GravaLog("Relato de transação não aceito pela API em " + std::to_string(politica.dias) +
             " dias; guardado à parte: " + chave);
    GravarOuRegistrar(fOutbox, *relato);
    return std::nullopt;
  }
  GravaLog("Reenviando relato de transação à API (tentativa " + std::to_string(tentativas) +
           "): " + chave);
  TDesfechoEnvio desfecho = TDesfechoEnvio::repetir;
  std::string detalhe;
  try {
    const TRESTResponse resposta = fEnvio(*relato, fAbandonar);
    desfecho = DesfechoDoStatus(resposta.StatusCode);
    detalhe = DetalheDaResposta(resposta);
  } catch (const std::exception& erro) {
    if (fAbandonar) {
      // Given up because the sender is stopping: still due at the next start.
      return std::chrono::steady_clock::now();
    }
    detalhe = erro.what();
  }
  switch (desfecho) {
    case TDesfechoEnvio::aceito:
      relato->estado = TEstadoRelato::aceito;
      GravaLog("Relato de transação aceito pela API: " + chave);
      GravarOuRegistrar(fOutbox, *relato);
      return std::nullopt;
    case TDesfechoEnvio::recusado:
      relato->estado = TEstadoRelato::rejeitado;
      relato->resposta = detalhe;
      GravaLog("Relato de transação recusado pela API e guardado à parte: " + chave + " - " +
               detalhe);
      GravarOuRegistrar(fOutbox, *relato);
      return std::nullopt;
    case TDesfechoEnvio::repetir:
      break;
  }
  const int espera = EsperaAposTentativa(politica, tentativas);
  GravaLog("Relato de transação não aceito pela API; nova tentativa em " + std::to_string(espera) +
           " s: " + chave + " - " + detalhe);
  return std::chrono::steady_clock::now() + std::chrono::seconds(espera);
}

void TOutboxSender::Podar() {
  const std::int64_t horas = fPolitica().horasDiario;
  fOutbox.Podar(AgoraUtcMs() - horas * 3600000);
}
