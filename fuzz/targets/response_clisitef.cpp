// The values the CliSiTef library hands over during a payment, stored under
// their field types and mapped into the response record; then the backup
// path: the content written to a file and read back into a fresh record must
// map to the same payment.
//
// Input: records separated by the byte 0x1E, each "<field type>:<value>"
// (the value may hold any byte but 0x1E, line breaks included).

#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "tef/VornCliSiTefRespCliSiTef.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "backup read back differs: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  TVornCliSiTefRespCliSiTef resp;
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\x1e', start);
    if (end == std::string_view::npos) {
      end = input.size();
    }
    const std::string_view record = input.substr(start, end - start);
    const std::size_t colon = record.find(':');
    if (colon != std::string_view::npos && colon > 0 && colon <= 4 &&
        record.substr(0, colon).find_first_not_of("0123456789") == std::string_view::npos) {
      const int tipo = std::atoi(std::string(record.substr(0, colon)).c_str());
      const std::string_view valor = record.substr(colon + 1);
      resp.GravaInformacao(tipo, AnsiStringView(valor.data(), valor.size()));
    }
    start = end + 1;
  }
  resp.ConteudoToProperty();

  const std::string path = fuzz::ScratchFolder() + "backup.tef";
  resp.Conteudo().GravarArquivo(path, false);
  TVornCliSiTefRespCliSiTef lida;
  lida.LeArquivo(path);
  Require(lida.NSU() == resp.NSU(), "NSU");
  Require(lida.ValorTotal() == resp.ValorTotal(), "ValorTotal");
  Require(lida.QtdParcelas() == resp.QtdParcelas(), "QtdParcelas");
  Require(lida.Parcelas().Count() == resp.Parcelas().Count(), "Parcelas");
  Require(lida.ImagemComprovante1aVia() == resp.ImagemComprovante1aVia(), "1a via");
  Require(lida.ImagemComprovante2aVia() == resp.ImagemComprovante2aVia(), "2a via");
  return 0;
}
