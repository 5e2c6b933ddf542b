#pragma once

#include <cstdint>

class TIniConfig;

// How long the sale API is given to accept a report: the [callback] keys.
struct TPoliticaEntrega {
  // The first retry waits this long; each further one twice as long as the
  // one before, up to `maximoS`.
  int primeiroS = 10;
  int maximoS = 1800;
  // A report not accepted within this many days of its payment is set aside.
  int dias = 7;
  // Accepted reports and final results are kept this long for the status query.
  int horasDiario = 24;

  // The keys as the configuration says now; a missing or non-positive value
  // is the default.
  static TPoliticaEntrega Ler(const TIniConfig& config);
};

// Seconds to wait after the `tentativas`-th failed attempt (1 for the first).
int EsperaAposTentativa(const TPoliticaEntrega& politica, int tentativas);

// What an answer of the sale API means for a report.
enum class TDesfechoEnvio { aceito, recusado, repetir };
// 2xx accepts it; a 4xx other than 408 (time-out) and 429 (too many requests)
// refuses it for good; anything else is tried again.
TDesfechoEnvio DesfechoDoStatus(long status);
