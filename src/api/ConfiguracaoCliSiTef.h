#pragma once

#include <string>
#include <vector>

#include "util/AnsiString.h"
#include "util/IniConfig.h"

// The terminal configuration a session start gives the CliSiTef driver: the
// driver's fields that the token's claims set, and nothing else. The API
// module keeps the latest session start's and copies it into the driver
// before each TEF operation, so the session in force is the one the library
// hears of.
struct TConfiguracaoCliSiTef {
  bool FTEFModoServico = false;
  std::string fPathDLL;
  std::string fNomeDLL = "CliSiTef32I.dll";
  AnsiString fEnderecoIP;
  AnsiString fCodigoLoja;
  AnsiString fNumeroTerminal;
  std::vector<std::string> fParametrosAdicionais;
  AnsiString fOperador;
};

// The driver's restriction list as the configuration file gives it now: with
// [Sitef] qrcode_on_pinpad false the library hands PIX QR codes to the
// application ("{DevolveStringQRCode=1}"); with it true the pinpad shows them
// and there is no restriction.
AnsiString RestricoesCliSiTef(const TIniConfig& config);
