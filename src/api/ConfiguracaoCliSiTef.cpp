#include "api/ConfiguracaoCliSiTef.h"

#include "util/VornCliSiTefUtil.h"

AnsiString RestricoesCliSiTef(const TIniConfig& config) {
  if (config.ReadBool("Sitef", "qrcode_on_pinpad", false)) {
    return AnsiString();
  }
  return VornAnsiStr("{DevolveStringQRCode=1}");
}
