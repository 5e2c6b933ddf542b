#pragma once

#include <string>
#include <vector>

#include "util/AnsiString.h"

// The terminal configuration a session start gives the CliSiTef driver: the
// driver's fields that the token's claims set, and nothing else. The API
// module holds it until the TEF component and its CliSiTef driver exist; the
// driver's own fields of the same names then replace it.
struct TConfiguracaoCliSiTef {
  bool FTEFModoServico = false;
  std::string fPathDLL;
  std::string fNomeDLL = "CliSiTef32I.dll";
  AnsiString fEnderecoIP;
  AnsiString fCodigoLoja;
  AnsiString fNumeroTerminal;
  std::vector<std::string> fParametrosAdicionais;
  AnsiString fOperador;
  AnsiString fRestricoes;
};
