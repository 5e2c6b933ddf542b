#include "api/outbox/OutboxPolicy.h"

#include <algorithm>

#include "util/IniConfig.h"

namespace {

int Positivo(const TIniConfig& config, const char* chave, int padrao) {
  const int valor = config.ReadInteger("callback", chave, padrao);
  return valor > 0 ? valor : padrao;
}

}  // namespace

TPoliticaEntrega TPoliticaEntrega::Ler(const TIniConfig& config) {
  const TPoliticaEntrega padrao;
  TPoliticaEntrega politica;
  politica.primeiroS = Positivo(config, "retry_first_s", padrao.primeiroS);
  politica.maximoS = std::max(Positivo(config, "retry_max_s", padrao.maximoS), politica.primeiroS);
  politica.dias = Positivo(config, "retry_days", padrao.dias);
  politica.horasDiario = Positivo(config, "journal_hours", padrao.horasDiario);
  return politica;
}

int EsperaAposTentativa(const TPoliticaEntrega& politica, int tentativas) {
  std::int64_t espera = politica.primeiroS;
  for (int i = 1; i < tentativas && espera < politica.maximoS; ++i) {
    espera *= 2;
  }
  return static_cast<int>(std::min<std::int64_t>(espera, politica.maximoS));
}

TDesfechoEnvio DesfechoDoStatus(long status) {
  if (status >= 200 && status <= 299) {
    return TDesfechoEnvio::aceito;
  }
  if (status >= 400 && status <= 499 && status != 408 && status != 429) {
    return TDesfechoEnvio::recusado;
  }
  return TDesfechoEnvio::repetir;
}
