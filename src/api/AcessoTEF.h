#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

// Admits the users of the TEF component one at a time, in order of arrival,
// and knows what the one inside is doing, so that a request never waits on
// another connection's payment: a payment can wait for its client without
// limit, while an initialization, a pinpad query or the undo of a closed
// connection ends on its own. Any thread may call any operation.
class TAcessoTEF {
 public:
  // What makes a waiting user give up its turn.
  enum class TDesistencia {
    // A payment holding the component: while one is processing, a pinpad
    // query or a second payment is dropped, and the undo of a closed
    // connection has nothing of its own to undo.
    processando,
    // The CliSiTef binding being initialized: "/initialize" then has nothing
    // left to do.
    inicializado,
  };

  // Waits for the turn and enters; false, without entering, once the reason
  // to give up holds (checked on arrival and whenever it may have changed).
  bool Entrar(TDesistencia desistencia);
  // The user inside leaves; the next one in line enters.
  void Sair();
  // The user inside starts (true) or ends (false) a payment.
  void SetProcessando(bool value);
  // The user inside reports whether the CliSiTef binding is initialized.
  void SetInicializado(bool value);

 private:
  bool Desiste(TDesistencia desistencia) const;

  mutable std::mutex fLock;
  std::condition_variable fMudou;
  // Tickets of the users waiting, in order of arrival.
  std::deque<std::uint64_t> fFila;
  std::uint64_t fProximaSenha = 0;
  bool fOcupado = false;
  bool fProcessando = false;
  bool fInicializado = false;
};
