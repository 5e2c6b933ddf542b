#include "api/outbox/Outbox.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/Platform.h"
#include "tef/VornCliSiTefErros.h"
#include "util/DateTime.h"
#include "util/ServiceLog.h"

namespace {

constexpr char kExtensao[] = ".json";
constexpr char kTemporario[] = ".tmp";
constexpr char kRejeitados[] = "Rejeitados";

struct TNomeEstado {
  TEstadoRelato estado;
  const char* nome;
};
constexpr TNomeEstado kEstados[] = {{TEstadoRelato::pendente, "pendente"},
                                    {TEstadoRelato::confirmado, "confirmado"},
                                    {TEstadoRelato::aceito, "aceito"},
                                    {TEstadoRelato::rejeitado, "rejeitado"},
                                    {TEstadoRelato::final, "final"}};

const char* NomeDoEstado(TEstadoRelato estado) {
  for (const TNomeEstado& item : kEstados) {
    if (item.estado == estado) {
      return item.nome;
    }
  }
  return "";
}

std::optional<TEstadoRelato> EstadoDoNome(const std::string& nome) {
  for (const TNomeEstado& item : kEstados) {
    if (nome == item.nome) {
      return item.estado;
    }
  }
  return std::nullopt;
}

bool TerminaCom(const std::string& texto, const std::string& fim) {
  return texto.size() >= fim.size() &&
         texto.compare(texto.size() - fim.size(), fim.size(), fim) == 0;
}

// Keeps an unreadable file under a free ".invalido" name for a person to look at.
std::string GuardarInvalido(const std::string& arquivo) {
  const platform::Platform& os = platform::Current();
  std::string aparte = arquivo + ".invalido";
  for (int numero = 2; os.FileExists(aparte); ++numero) {
    aparte = arquivo + ".invalido." + std::to_string(numero);
  }
  return os.RenameFile(arquivo, aparte) ? aparte : arquivo;
}

}  // namespace

std::string RelatoParaTexto(const TRelato& relato) {
  nlohmann::ordered_json json;
  json["chave"] = relato.chave;
  json["criado"] = relato.criado;
  json["sale_id"] = relato.saleId;
  json["estado"] = NomeDoEstado(relato.estado);
  json["status"] = relato.status;
  json["endereco"] = relato.endereco;
  json["corpo"] = relato.corpo;
  if (relato.resultado) {
    json["resultado"] = *relato.resultado;
  }
  json["pagamentos"] = relato.pagamentos;
  json["resposta"] = relato.resposta;
  return json.dump();
}

std::optional<TRelato> RelatoDeTexto(const std::string& texto) {
  const auto json = nlohmann::json::parse(texto, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    return std::nullopt;
  }
  try {
    TRelato relato;
    relato.chave = json.at("chave").get<std::string>();
    relato.criado = json.at("criado").get<std::int64_t>();
    relato.saleId = json.at("sale_id").get<std::int32_t>();
    const auto estado = EstadoDoNome(json.at("estado").get<std::string>());
    if (!estado || relato.chave.empty()) {
      return std::nullopt;
    }
    relato.estado = *estado;
    relato.status = json.at("status").get<std::string>();
    relato.endereco = json.at("endereco").get<std::string>();
    relato.corpo = json.at("corpo").get<std::string>();
    if (json.contains("resultado")) {
      relato.resultado = json.at("resultado").get<std::string>();
    }
    relato.pagamentos = json.at("pagamentos").get<std::vector<std::string>>();
    relato.resposta = json.at("resposta").get<std::string>();
    return relato;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

std::int64_t AgoraUtcMs() {
  const platform::Platform& os = platform::Current();
  const platform::CivilTime local = os.LocalNow();
  TDateTime agora = 0;
  TryEncodeDateTime(local, agora);
  // Days since 1899-12-30; 1970-01-01 is day 25569.
  const auto localMs = static_cast<std::int64_t>(std::llround((agora - 25569.0) * 86400000.0));
  return localMs - static_cast<std::int64_t>(os.UtcOffsetMinutes(local)) * 60000;
}

TOutbox::TOutbox(std::string pasta) : fPasta(std::move(pasta)) {}

std::string TOutbox::PastaRejeitados() const {
  return fPasta + kRejeitados + platform::Current().PathDelimiter();
}

std::string TOutbox::Arquivo(const TRelato& relato) const {
  const std::string& pasta = relato.estado == TEstadoRelato::rejeitado ? PastaRejeitados() : fPasta;
  return pasta + relato.chave + kExtensao;
}

std::vector<std::string> TOutbox::Abrir() {
  const platform::Platform& os = platform::Current();
  std::vector<std::string> postosAParte;
  std::map<std::string, TRelato> lidos;
  for (const std::string& pasta : {fPasta, PastaRejeitados()}) {
    os.ForceDirectories(pasta);
    for (const std::string& nome : os.FindFiles(pasta + "*")) {
      const std::string arquivo = pasta + nome;
      if (TerminaCom(nome, kTemporario)) {
        // A write that never reached its rename: the entry it was for is
        // still whole under its own name, or was never in force.
        os.DeleteFile(arquivo);
        continue;
      }
      if (!TerminaCom(nome, kExtensao)) {
        continue;
      }
      const std::optional<std::string> texto = os.ReadFile(arquivo);
      std::optional<TRelato> relato = texto ? RelatoDeTexto(*texto) : std::nullopt;
      const bool noLugar = relato && relato->chave + kExtensao == nome &&
                           (relato->estado == TEstadoRelato::rejeitado) == (pasta != fPasta);
      if (!noLugar) {
        const std::string aparte = GuardarInvalido(arquivo);
        GravaLog("Registro ilegível do diário de relatos guardado como: " + aparte);
        postosAParte.push_back(aparte);
        continue;
      }
      const auto anterior = lidos.find(relato->chave);
      if (anterior != lidos.end()) {
        // A move into "Rejeitados" that stopped before the old file was
        // deleted: the rejected one is in force.
        os.DeleteFile(fPasta + relato->chave + kExtensao);
      }
      lidos[relato->chave] = std::move(*relato);
    }
  }
  std::lock_guard guard(fLock);
  fRelatos = std::move(lidos);
  return postosAParte;
}

void TOutbox::GravarArquivo(const std::string& arquivo, const std::string& texto) const {
  const platform::Platform& os = platform::Current();
  const std::string temporario = arquivo + kTemporario;
  try {
    os.WriteFile(temporario, texto, false);
  } catch (const std::exception&) {
    os.DeleteFile(temporario);
    throw EVornCliSiTefArquivo("Erro ao gravar o arquivo:\r\n" + temporario);
  }
  if (!os.FlushFileToDisk(temporario)) {
    os.DeleteFile(temporario);
    throw EVornCliSiTefArquivo("Erro ao gravar o arquivo:\r\n" + temporario);
  }
  if (!os.RenameFile(temporario, arquivo)) {
    os.DeleteFile(temporario);
    throw EVornCliSiTefArquivo("Erro ao Renomear:\r\n" + temporario + "para:" + "\r\n" + arquivo);
  }
}

void TOutbox::Gravar(const TRelato& relato) {
  const platform::Platform& os = platform::Current();
  std::lock_guard guard(fLock);
  const std::string arquivo = Arquivo(relato);
  os.ForceDirectories(relato.estado == TEstadoRelato::rejeitado ? PastaRejeitados() : fPasta);
  GravarArquivo(arquivo, RelatoParaTexto(relato));
  const auto anterior = fRelatos.find(relato.chave);
  if (anterior != fRelatos.end() && Arquivo(anterior->second) != arquivo) {
    // Moved into (or out of) the rejected ones: the new file is in place, so
    // the old one only repeats it.
    os.DeleteFile(Arquivo(anterior->second));
  }
  fRelatos[relato.chave] = relato;
}

bool TOutbox::Remover(const std::string& chave) {
  std::lock_guard guard(fLock);
  const auto relato = fRelatos.find(chave);
  if (relato == fRelatos.end()) {
    return true;
  }
  if (!platform::Current().DeleteFile(Arquivo(relato->second))) {
    return false;
  }
  fRelatos.erase(relato);
  return true;
}

std::optional<TRelato> TOutbox::Buscar(const std::string& chave) const {
  std::lock_guard guard(fLock);
  const auto relato = fRelatos.find(chave);
  if (relato == fRelatos.end()) {
    return std::nullopt;
  }
  return relato->second;
}

std::optional<TRelato> TOutbox::PendenteDoPagamento(const std::string& identidade) const {
  std::lock_guard guard(fLock);
  for (const auto& [chave, relato] : fRelatos) {
    if (relato.estado != TEstadoRelato::pendente) {
      continue;
    }
    for (const std::string& pagamento : relato.pagamentos) {
      if (pagamento == identidade) {
        return relato;
      }
    }
  }
  return std::nullopt;
}

std::vector<TRelato> TOutbox::NoEstado(TEstadoRelato estado) const {
  std::lock_guard guard(fLock);
  std::vector<TRelato> relatos;
  for (const auto& [chave, relato] : fRelatos) {
    if (relato.estado == estado) {
      relatos.push_back(relato);
    }
  }
  return relatos;
}

std::optional<TRelato> TOutbox::UltimoDaVenda(std::int32_t saleId) const {
  std::lock_guard guard(fLock);
  const TRelato* ultimo = nullptr;
  for (const auto& [chave, relato] : fRelatos) {
    if (relato.saleId == saleId && (ultimo == nullptr || relato.criado >= ultimo->criado)) {
      ultimo = &relato;
    }
  }
  if (ultimo == nullptr) {
    return std::nullopt;
  }
  return *ultimo;
}

std::vector<std::string> TOutbox::Podar(std::int64_t limite) {
  std::lock_guard guard(fLock);
  std::vector<std::string> podados;
  for (auto relato = fRelatos.begin(); relato != fRelatos.end();) {
    const bool encerrado = relato->second.estado == TEstadoRelato::aceito ||
                           relato->second.estado == TEstadoRelato::final;
    if (encerrado && relato->second.criado < limite &&
        platform::Current().DeleteFile(Arquivo(relato->second))) {
      podados.push_back(relato->first);
      relato = fRelatos.erase(relato);
    } else {
      ++relato;
    }
  }
  return podados;
}
