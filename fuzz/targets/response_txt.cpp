// A response record read from a manager's file or a backup, mapped into its
// fields (approval, amounts, dates, instalments, receipt copies).

#include "FuzzSupport.h"
#include "tef/VornCliSiTefResp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  const std::string path = fuzz::WriteScratch("response.tef", data, size);
  TVornCliSiTefRespTXT resp;
  resp.LeArquivo(path);
  (void)resp.GetTransacaoAprovada();
  (void)resp.GetTrailerOK();
  TVornCliSiTefRespTXT copy;
  copy.Assign(resp);
  return 0;
}
