#include "tef/VornCliSiTefEnums.h"

#include <array>

namespace {

template <std::size_t N>
std::string Nome(const std::array<const char*, N>& names, int value) {
  if (value < 0 || static_cast<std::size_t>(value) >= N) {
    return std::to_string(value);
  }
  return names[static_cast<std::size_t>(value)];
}

}  // namespace

std::string NomeValor(TVornCliSiTefOperacaoMensagem value) {
  static constexpr std::array<const char*, 10> names = {"opmOK",
                                                        "opmYesNo",
                                                        "opmYesNoCustom",
                                                        "opmExibirMsgOperador",
                                                        "opmRemoverMsgOperador",
                                                        "opmExibirMsgCliente",
                                                        "opmRemoverMsgCliente",
                                                        "opmDestaqueVia",
                                                        "opmExcept",
                                                        "opmQRCode"};
  return Nome(names, value);
}

std::string NomeValor(TVornCliSiTefOperacaoECF value) {
  static constexpr std::array<const char*, 8> names = {
      "opeAbreGerencial", "opeFechaGerencial", "opePulaLinhas",   "opeSubTotalizaCupom",
      "opeFechaCupom",    "opeFechaVinculado", "opeCancelaCupom", "opeImprimePagamentos"};
  return Nome(names, value);
}

std::string NomeValor(TVornCliSiTefTipoRelatorio value) {
  static constexpr std::array<const char*, 2> names = {"trGerencial", "trVinculado"};
  return Nome(names, value);
}

std::string NomeValor(TVornCliSiTefInfoECF value) {
  static constexpr std::array<const char*, 3> names = {"ineSubTotal", "ineEstadoECF",
                                                       "ineTotalAPagar"};
  return Nome(names, value);
}
