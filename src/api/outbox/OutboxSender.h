#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "api/Rest.h"
#include "api/outbox/Outbox.h"
#include "api/outbox/OutboxPolicy.h"

// The background sender: posts the confirmed reports of the journal until the
// sale API accepts each, waiting longer after every failed attempt, and
// prunes the journal. Its thread runs between Iniciar and Parar.
class TOutboxSender {
 public:
  // Posts one report and returns the API's answer; raises when no answer came,
  // and gives up at once when `abandonar` turns true (the sender is stopping).
  using TEnvio = std::function<TRESTResponse(const TRelato&, const std::atomic<bool>& abandonar)>;
  using TPolitica = std::function<TPoliticaEntrega()>;

  TOutboxSender(TOutbox& outbox, TEnvio envio, TPolitica politica);
  ~TOutboxSender();
  TOutboxSender(const TOutboxSender&) = delete;
  TOutboxSender& operator=(const TOutboxSender&) = delete;

  // Starts the thread; every confirmed report of the journal is due at once.
  // Does nothing while it runs.
  void Iniciar();
  // Ends the thread; an attempt in progress is given up (the report stays
  // due, with its key, for the next start).
  void Parar();
  // A confirmed report that has already had `tentativas` failed attempts
  // elsewhere: retried after the delay those call for.
  void Agendar(const std::string& chave, int tentativas);

 private:
  struct TAgenda {
    int tentativas = 0;
    std::chrono::steady_clock::time_point quando;
  };
  void Executar();
  // One attempt; returns when the report is due again, or nothing when it is
  // done with (accepted, refused, set aside or gone).
  std::optional<std::chrono::steady_clock::time_point> Tentar(const std::string& chave,
                                                              int tentativas);
  void Podar();

  TOutbox& fOutbox;
  TEnvio fEnvio;
  TPolitica fPolitica;
  std::mutex fLock;
  std::condition_variable fSinal;
  bool fParar = false;
  // Set by Parar before it waits for the thread: an attempt in flight ends.
  std::atomic<bool> fAbandonar{false};
  std::map<std::string, TAgenda> fAgenda;
  std::thread fThread;
};

// What the log says of an answer that did not accept a report:
// "Code: 422 - Message: Falha" when the body has a "message", else
// "503 - Service Unavailable".
std::string DetalheDaResposta(const TRESTResponse& resposta);
