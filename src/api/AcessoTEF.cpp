#include "api/AcessoTEF.h"

#include <algorithm>

bool TAcessoTEF::Desiste(TDesistencia desistencia) const {
  switch (desistencia) {
    case TDesistencia::processando:
      return fProcessando;
    case TDesistencia::inicializado:
      return fInicializado;
  }
  return false;
}

bool TAcessoTEF::Entrar(TDesistencia desistencia) {
  std::unique_lock lock(fLock);
  if (Desiste(desistencia)) {
    return false;
  }
  const std::uint64_t senha = fProximaSenha++;
  fFila.push_back(senha);
  const auto minhaVez = [&] { return !fOcupado && fFila.front() == senha; };
  fMudou.wait(lock, [&] { return minhaVez() || Desiste(desistencia); });
  if (minhaVez()) {
    fFila.pop_front();
    fOcupado = true;
    return true;
  }
  fFila.erase(std::find(fFila.begin(), fFila.end(), senha));
  // The one behind may now be first in line.
  fMudou.notify_all();
  return false;
}

void TAcessoTEF::Sair() {
  {
    std::lock_guard guard(fLock);
    fOcupado = false;
    fProcessando = false;
  }
  fMudou.notify_all();
}

void TAcessoTEF::SetProcessando(bool value) {
  {
    std::lock_guard guard(fLock);
    fProcessando = value;
  }
  fMudou.notify_all();
}

void TAcessoTEF::SetInicializado(bool value) {
  {
    std::lock_guard guard(fLock);
    fInicializado = value;
  }
  fMudou.notify_all();
}
