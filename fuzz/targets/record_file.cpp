// Record files (backups and manager files): parsed, every line's key and
// typed values read, then written out and read back, which must give the
// same lines.

#include <cstdlib>

#include "FuzzSupport.h"
#include "tef/VornCliSiTefArquivo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  const std::string path = fuzz::WriteScratch("record.tef", data, size);
  TVornCliSiTefArquivo arquivo;
  arquivo.LeArquivo(path);
  for (int i = 0; i < arquivo.GetCount(); ++i) {
    TVornCliSiTefLinha& linha = arquivo.GetLinha(i);
    (void)linha.GetChave();
    const TVornCliSiTefInformacao& valor = linha.Informacao();
    (void)valor.AsInteger();
    (void)valor.AsFloat();
    (void)valor.AsDate();
    (void)valor.AsTime();
    (void)valor.AsTimeStamp();
    (void)valor.AsTimeStampSQL();
    (void)arquivo.AchaLinha(linha.Identificacao(), linha.Sequencia());
  }
  const std::string copy = fuzz::ScratchFolder() + "record-copy.tef";
  arquivo.GravarArquivo(copy, false);
  TVornCliSiTefArquivo again;
  again.LeArquivo(copy);
  if (again.Linhas() != arquivo.Linhas()) {
    std::abort();
  }
  return 0;
}
