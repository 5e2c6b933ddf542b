#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Where a report stands in the journal.
enum class TEstadoRelato {
  // Written before the payment was confirmed with the library: not sent until
  // the confirmation is known to have happened.
  pendente,
  // Confirmed and not yet accepted by the sale API: the sender posts it.
  confirmado,
  // The sale API answered 2xx.
  aceito,
  // The sale API refused it for good (a 4xx other than 408 and 429), or it
  // was not accepted within the days the retries last: kept aside in the
  // subfolder "Rejeitados" with the API's answer, never sent again.
  rejeitado,
  // A result the sale API never receives (a failure, or an operation that
  // ended with its connection): kept only for the status query.
  final,
};

// One entry of the journal: a result the sale API must receive, or the last
// result of a sale.
struct TRelato {
  // Unique to the report; sent as the Idempotency-Key header on every attempt
  // and used as the entry's file name.
  std::string chave;
  // When the entry was first written: UTC milliseconds since 1970.
  std::int64_t criado = 0;
  std::int32_t saleId = 0;
  TEstadoRelato estado = TEstadoRelato::final;
  // "approved", "canceled" or "unauthorized".
  std::string status;
  // The callback address and the JSON posted there (approved results only).
  std::string endereco;
  std::string corpo;
  // The result message as it was sent to the client, once known.
  std::optional<std::string> resultado;
  // The payments the report covers, as IdentidadePagamento gives them.
  std::vector<std::string> pagamentos;
  // Why a rejected report was set aside (the API's status and answer).
  std::string resposta;
};

// The durable journal of results, one JSON file per entry in its own folder.
// Every write goes to a temporary file, is forced to disk and renamed into
// place, so an entry is either whole or absent after a crash. A file that
// cannot be read is set aside as ".invalido", never deleted. Safe to use from
// several threads.
class TOutbox {
 public:
  // `pasta` ends with the path delimiter.
  explicit TOutbox(std::string pasta);

  // Reads every entry of the folder (creating it when missing) into memory;
  // temporary files of writes that never completed are removed, unreadable
  // entries set aside. Returns the names of the files set aside.
  std::vector<std::string> Abrir();

  // Writes (or replaces) the entry; a rejected one goes into "Rejeitados".
  // Raises EVornCliSiTefArquivo when it cannot be written and forced to disk;
  // the journal is then unchanged.
  void Gravar(const TRelato& relato);
  // Deletes the entry; false when its file could not be deleted.
  bool Remover(const std::string& chave);

  std::optional<TRelato> Buscar(const std::string& chave) const;
  // The report written before the payment's confirmation was known, if any.
  // Only one transaction runs at a time, so at most one such report covers a
  // payment; a settled report is never matched again, however alike a later
  // payment's record is.
  std::optional<TRelato> PendenteDoPagamento(const std::string& identidade) const;
  std::vector<TRelato> NoEstado(TEstadoRelato estado) const;
  // The newest entry of the sale.
  std::optional<TRelato> UltimoDaVenda(std::int32_t saleId) const;

  // Deletes the accepted and final entries written before `limite` (UTC ms);
  // returns their keys.
  std::vector<std::string> Podar(std::int64_t limite);

  const std::string& Pasta() const { return fPasta; }
  std::string PastaRejeitados() const;

 private:
  std::string Arquivo(const TRelato& relato) const;
  void GravarArquivo(const std::string& arquivo, const std::string& texto) const;

  const std::string fPasta;
  mutable std::mutex fLock;
  std::map<std::string, TRelato> fRelatos;
};

// The entry as the JSON text stored in its file, and back; nothing when the
// text is not a whole entry.
std::string RelatoParaTexto(const TRelato& relato);
std::optional<TRelato> RelatoDeTexto(const std::string& texto);

// The current moment as UTC milliseconds since 1970, through the platform's
// clock and time zone.
std::int64_t AgoraUtcMs();
