// The component's properties, lifecycle and messages to the user.

#include "tef/VornCliSiTef.h"

#include <cstdlib>

#include "platform/Platform.h"
#include "tef/VornCliSiTefTef.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"
#include "util/VornSysUtils.h"

namespace {

const char kPendentes[] = "Existem Respostas Pendentes. Não é possível alterar ";

}  // namespace

TVornCliSiTef::TVornCliSiTef(TComponent* owner)
    : TComponent(owner),
      fIdentificacao(std::make_unique<TVornCliSiTefIdentificacao>()),
      fRespostasPendentes(std::make_unique<TVornCliSiTefRespostasPendentes>()) {
  auto clisitef = std::make_unique<TVornCliSiTefCliSiTef>(this);
  fTEFCliSiTef = clisitef.get();
  fBindings.Add(std::move(clisitef));
  SetGPAtual(gpTefDial);
}

TVornCliSiTef::~TVornCliSiTef() = default;

void TVornCliSiTef::SetMultiplosCartoes(bool value) {
  if (value != fMultiplosCartoes && fRespostasPendentes->Count() > 0) {
    throw Exception(std::string(kPendentes) + "\"MultiplosCartoes\"");
  }
  fMultiplosCartoes = value;
}

void TVornCliSiTef::SetAutoEfetuarPagamento(bool value) {
  if (value != fAutoEfetuarPagamento && fRespostasPendentes->Count() > 0) {
    throw Exception(std::string(kPendentes) + "\"AutoEfetuarPagamento\"");
  }
  fAutoEfetuarPagamento = value;
}

void TVornCliSiTef::SetAutoFinalizarCupom(bool value) {
  if (value != fAutoFinalizarCupom && fRespostasPendentes->Count() > 0) {
    throw Exception(std::string(kPendentes) + "\"AutoFinalizarCupom\"");
  }
  fAutoFinalizarCupom = value;
}

void TVornCliSiTef::SetNumVias(int value) {
  for (int i = 0; i < fBindings.Count(); ++i) {
    TVornCliSiTefClass& binding = fBindings[i];
    if (binding.TrocaArquivos() && binding.NumVias() == fNumVias) {
      binding.SetNumVias(value);
    }
  }
  fNumVias = value;
}

void TVornCliSiTef::SetEsperaSTS(int value) {
  for (int i = 0; i < fBindings.Count(); ++i) {
    TVornCliSiTefClass& binding = fBindings[i];
    if (binding.TrocaArquivos() && binding.EsperaSTS() == fEsperaSTS) {
      binding.SetEsperaSTS(value);
    }
  }
  fEsperaSTS = value;
}

void TVornCliSiTef::SetEsperaSleep(int value) {
  if (value == fEsperaSleep) {
    return;
  }
  if (value < 10) {
    throw Exception("Valor mínimo de EsperaSleep deve ser: 10");
  }
  if (value > 500) {
    throw Exception("Valor máximo de EsperaSleep deve ser: 500");
  }
  fEsperaSleep = value;
}

const std::string& TVornCliSiTef::PathBackup() {
  if (fPathBackup.empty()) {
    fPathBackup = VornAppDir() + "TEF";
  }
  return fPathBackup;
}

void TVornCliSiTef::SetPathBackup(const std::string& value) {
  if (value == fPathBackup) {
    return;
  }
  if (fTEF != nullptr && fTEF->Inicializado()) {
    throw Exception("PathBackup não pode ser modificado com o VornCliSiTef Inicializado");
  }
  std::string path = Trim(value);
  if (!path.empty() && path.back() == platform::Current().PathDelimiter()) {
    path.pop_back();
  }
  fPathBackup = path;
}

void TVornCliSiTef::SetArqLOG(const std::string& value) {
  for (int i = 0; i < fBindings.Count(); ++i) {
    TVornCliSiTefClass& binding = fBindings[i];
    if (binding.ArqLOG() == fArqLOG) {
      binding.SetArqLOG(value);
    }
  }
  fArqLOG = value;
}

void TVornCliSiTef::SetGPAtual(TVornCliSiTefTipo value) {
  if (value == fGPAtual) {
    return;
  }
  // The binding of that kind becomes the current one; a kind without a
  // binding leaves the current binding as it was.
  for (int i = 0; i < fBindings.Count(); ++i) {
    if (fBindings[i].Tipo() == value) {
      fTEF = &fBindings[i];
      break;
    }
  }
  fGPAtual = value;
}

TVornCliSiTefClass& TVornCliSiTef::TEF() const {
  if (fTEF == nullptr) {
    throw EVornCliSiTefErro("Nenhum Gerenciador Padrão selecionado");
  }
  return *fTEF;
}

void TVornCliSiTef::SetEstadoReq(TVornCliSiTefReqEstado value) {
  if (value == fEstadoReq) {
    return;
  }
  fEstadoReq = value;
  if (OnMudaEstadoReq) {
    OnMudaEstadoReq(value);
  }
}

void TVornCliSiTef::SetEstadoResp(TVornCliSiTefRespEstado value) {
  if (value == fEstadoResp) {
    return;
  }
  fEstadoResp = value;
  if (OnMudaEstadoResp) {
    OnMudaEstadoResp(value);
  }
}

std::string TVornCliSiTef::ArqReq() const {
  return fTEF != nullptr && fTEF->TrocaArquivos() ? fTEF->ArqReq() : "";
}

std::string TVornCliSiTef::ArqResp() const {
  return fTEF != nullptr && fTEF->TrocaArquivos() ? fTEF->ArqResp() : "";
}

std::string TVornCliSiTef::ArqSTS() const {
  return fTEF != nullptr && fTEF->TrocaArquivos() ? fTEF->ArqSTS() : "";
}

std::string TVornCliSiTef::ArqTemp() const {
  return fTEF != nullptr && fTEF->TrocaArquivos() ? fTEF->ArqTemp() : "";
}

std::string TVornCliSiTef::GPExeName() const {
  return fTEF != nullptr && fTEF->TrocaArquivos() ? fTEF->GPExeName() : "";
}

void TVornCliSiTef::Inicializar(TVornCliSiTefTipo GP) {
  const std::pair<bool, const char*> eventos[] = {
      {static_cast<bool>(OnExibeMsg), "OnExibeMsg"},
      {static_cast<bool>(OnComandaECF), "OnComandaECF"},
      {static_cast<bool>(OnComandaImpressao), "OnComandaImpressão"},
      {static_cast<bool>(OnComandaECFAbreVinculado), "OnComandaECFAbreVinculado"},
      {static_cast<bool>(OnComandaECFImprimeVia), "OnComandaECFImprimeVia"},
      {static_cast<bool>(OnInfoECF), "OnInfoECF"},
  };
  for (const auto& [programado, nome] : eventos) {
    if (!programado) {
      throw Exception(std::string("Evento \"") + nome + "\" não programado");
    }
  }

  platform::Platform& os = platform::Current();
  const std::string pasta = PathBackup();
  if (!os.DirectoryExists(pasta)) {
    os.ForceDirectories(pasta);
    if (!os.DirectoryExists(pasta)) {
      throw Exception("Diretório de Backup não existente:\r\n" + pasta);
    }
  }

  if (GP != gpNenhum) {
    try {
      SetGPAtual(GP);
      TEF().Inicializar();
      TEF().SetHabilitado(true);
    } catch (const std::exception& erro) {
      if (fTEF != nullptr) {
        fTEF->GravaLog(fTEF->Name() + " Inicializar: " + erro.what());
        try {
          fTEF->DesInicializar();
        } catch (...) {
          // The failure reported is the initialization's.
        }
      }
      throw Exception("Erro ao conectar com servidor TEF");
    }
    return;
  }

  std::string erros;
  for (int i = 0; i < fBindings.Count(); ++i) {
    TVornCliSiTefClass& binding = fBindings[i];
    if (!binding.Habilitado()) {
      continue;
    }
    try {
      binding.Inicializar();
    } catch (const std::exception& erro) {
      binding.DesInicializar();
      erros += std::string(erro.what()) + "\r\n";
    }
  }
  if (!erros.empty()) {
    throw Exception(erros);
  }
}

void TVornCliSiTef::DesInicializar(TVornCliSiTefTipo GP) {
  if (GP != gpNenhum) {
    SetGPAtual(GP);
    TEF().DesInicializar();
    return;
  }
  for (int i = 0; i < fBindings.Count(); ++i) {
    if (fBindings[i].Habilitado()) {
      fBindings[i].DesInicializar();
    }
  }
}

bool TVornCliSiTef::Inicializado(TVornCliSiTefTipo GP) {
  if (GP != gpNenhum) {
    SetGPAtual(GP);
  }
  return TEF().Inicializado();
}

void TVornCliSiTef::AtivarGP(TVornCliSiTefTipo GP) {
  if (GP != gpNenhum) {
    SetGPAtual(GP);
    TEF().AtivarGP();
    return;
  }
  for (int i = 0; i < fBindings.Count(); ++i) {
    if (fBindings[i].Habilitado()) {
      fBindings[i].AtivarGP();
    }
  }
}

int TVornCliSiTef::DoExibeMsg(TVornCliSiTefOperacaoMensagem Operacao, const std::string& Mensagem) {
  if (fTEF != nullptr) {
    fTEF->GravaLog(fTEF->Name() + " DoExibeMsg: Oper: " + NomeValor(Operacao) +
                   " Mensagem: " + Mensagem);
  }
  if (Operacao == opmOK || Operacao == opmYesNo || Operacao == opmDestaqueVia) {
    RestaurarFocoAplicacao();
  }
  int modalResult = 0;
  if (OnExibeMsg) {
    OnExibeMsg(Operacao, Mensagem, modalResult);
  }
  return modalResult;
}

void TVornCliSiTef::RestaurarFocoAplicacao() {
  bool tratado = false;
  if (OnRestauraFocoAplicacao) {
    OnRestauraFocoAplicacao(tratado);
  }
  // Without a desktop window there is nothing to bring to the front.
}

void TVornCliSiTef::LimparTeclado() {
  bool tratado = false;
  if (OnLimpaTeclado) {
    OnLimpaTeclado(tratado);
  }
  // Without a desktop window there are no pending key presses to drain.
}

void TVornCliSiTef::BloquearMouseTeclado(bool) {}

std::string TVornCliSiTef::LerTrilha3() {
  AnsiString trilha;
  TEF().LerTrilha3(trilha);
  return VornCliSiTefStr(trilha);
}

std::string TVornCliSiTef::LerCartaoSeguro() {
  TEF().LerCartaoSeguro();
  return "";
}

std::string FormatarValor(Currency valor) {
  const std::int64_t centavos = valor.CentsHalfAwayFromZero();
  const std::int64_t absoluto = std::llabs(centavos);
  std::string texto = std::to_string(absoluto / 100) +
                      platform::Current().Regional().decimalSeparator +
                      (absoluto % 100 < 10 ? "0" : "") + std::to_string(absoluto % 100);
  return centavos < 0 ? "-" + texto : texto;
}

Currency ArredondaCentavos(Currency valor) {
  const std::int64_t raw = valor.Raw();
  std::int64_t centavos = raw / 100;
  const std::int64_t resto = raw % 100;
  if (resto > 50 || (resto == 50 && centavos % 2 != 0)) {
    ++centavos;
  } else if (resto < -50 || (resto == -50 && centavos % 2 != 0)) {
    --centavos;
  }
  return Currency::FromCents(centavos);
}
