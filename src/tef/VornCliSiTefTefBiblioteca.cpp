// The CliSiTef binding's side of the library itself: looking its functions
// up and releasing them, configuring the terminal, and the small pinpad and
// pending-transaction queries.

#include <string>
#include <utility>

#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefErros.h"
#include "tef/VornCliSiTefTef.h"
#include "tef/VornCliSiTefTefFuncoes.h"
#include "util/Exception.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

constexpr char kErroNaoCarregada[] = "Erro ao iniciar \"TEF\"";

// The message of a configuration result that refuses to start; empty when the
// terminal is configured (0, and every code outside the table).
std::string MensagemConfiguracao(int resultado) {
  switch (resultado) {
    case 1:
      return "Endereço IP inválido ou não resolvido";
    case 2:
      return "Código da loja inválido";
    case 3:
      return "Código de terminal inválido";
    case 6:
      return "Erro na inicialização do TCP/IP";
    case 7:
      return "Falta de memória";
    case 8:
      return "Não encontrou a dll do \"TEF\" ou ela está com problemas";
    case 10:
      return "O PinPad não está devidamente configurado no arquivo CliSiTef.ini";
    case 11:
      return "Dados inválidos passados pela automação.";
    case 12:
      return "Modo seguro não ativo (possível falta de configuração no servidor SiTef do arquivo "
             ".cha).";
    case 13:
      return "Caminho da DLL inválido (o caminho completo das bibliotecas está muito grande).";
    default:
      return {};
  }
}

const char* C(const AnsiString& text) {
  return text.c_str();
}

}  // namespace

std::string TVornCliSiTefCliSiTef::ArquivoDLL() const {
  return fPathDLL.empty() ? fNomeDLL : PathWithDelim(fPathDLL) + fNomeDLL;
}

void TVornCliSiTefCliSiTef::LoadDLLFunctions() {
  const std::string arquivo = ArquivoDLL();
  auto detectar = [this, &arquivo](const char* nome, void*& endereco) {
    if (endereco != nullptr) {
      return;
    }
    if (!FunctionDetect(arquivo, nome, endereco) || endereco == nullptr) {
      endereco = nullptr;
      throw Exception(std::string("Erro ao carregar a função:") + nome + " de: " + fNomeDLL);
    }
  };
  detectar("ConfiguraIntSiTefInterativoEx", fConfiguraIntSiTefInterativoEx);
  detectar("IniciaFuncaoSiTefInterativo", fIniciaFuncaoSiTefInterativo);
  detectar("LeTrilha3", fLeTrilha3);
  detectar("LeCartaoSeguro", fLeCartaoSeguro);
  detectar("LeCartaoDiretoSeguro", fLeCartaoDiretoSeguro);
  detectar("LeCartaoDiretoEx", fLeCartaoDiretoEx);
  detectar("ContinuaFuncaoSiTefInterativo", fContinuaFuncaoSiTefInterativo);
  detectar("FinalizaTransacaoSiTefInterativo", fFinalizaTransacaoSiTefInterativo);
  detectar("EscreveMensagemPermanentePinPad", fEscreveMensagemPermanentePinPad);
  detectar("ObtemQuantidadeTransacoesPendentes", fObtemQuantidadeTransacoesPendentes);
  detectar("VerificaPresencaPinPad", fVerificaPresencaPinPad);
}

void TVornCliSiTefCliSiTef::UnLoadDLLFunctions() {
  // Every lookup took a reference on the library and this releases one, so
  // the library stays mapped and the three addresses kept here stay valid.
  UnLoadLibrary(VornAnsiStr(ArquivoDLL()));
  fConfiguraIntSiTefInterativoEx = nullptr;
  fIniciaFuncaoSiTefInterativo = nullptr;
  fLeTrilha3 = nullptr;
  fLeCartaoSeguro = nullptr;
  fContinuaFuncaoSiTefInterativo = nullptr;
  fFinalizaTransacaoSiTefInterativo = nullptr;
  fEscreveMensagemPermanentePinPad = nullptr;
  fObtemQuantidadeTransacoesPendentes = nullptr;
}

void TVornCliSiTefCliSiTef::Inicializar() {
  if (fpInicializado) {
    return;
  }
  LoadDLLFunctions();

  std::string linhas;
  for (const std::string& linha : fParametrosAdicionais) {
    if (!linhas.empty()) {
      linhas += "\r\n";
    }
    linhas += linha;
  }
  linhas = Trim(linhas);
  std::string juntas;
  for (std::size_t i = 0; i < linhas.size(); ++i) {
    if (linhas.compare(i, 2, "\r\n") == 0) {
      juntas += ';';
      ++i;
    } else {
      juntas += linhas[i];
    }
  }
  std::string parametros = "[" + juntas + "];{ValorIncluiTaxa=0;};";
  TVornCliSiTef& componente = Componente();
  if (!componente.CNPJLoja.empty() && !componente.CNPJVornSoft.empty()) {
    parametros += "[ParmsClient=1=" + Trim(componente.CNPJLoja) +
                  ";2=" + Trim(componente.CNPJVornSoft) + "];";
  }

  GravaLog("*** ConfiguraIntSiTefInterativoEx. EnderecoIP: " + VornCliSiTefStr(fEnderecoIP) +
           " CodigoLoja: " + VornCliSiTefStr(fCodigoLoja) +
           " NumeroTerminal: " + VornCliSiTefStr(fNumeroTerminal) + " Resultado: 0" +
           " ParametrosAdicionais: " + parametros);
  const AnsiString parametrosAnsi = VornAnsiStr(parametros);
  const int resultado =
      clisitef::Como<clisitef::ConfiguraIntSiTefInterativoEx_t>(fConfiguraIntSiTefInterativoEx)(
          C(fEnderecoIP), C(fCodigoLoja), C(fNumeroTerminal), 0, C(parametrosAnsi));
  const std::string erro = MensagemConfiguracao(resultado);
  if (!erro.empty()) {
    if (!FTEFModoServico) {
      componente.DoExibeMsg(opmOK, erro);
    }
    throw EVornCliSiTefErro(erro);
  }
  GravaLog(Name() + " Inicializado CliSiTEF");
  try {
    componente.EstadoECF();
  } catch (...) {
    // The fiscal printer's state is only asked to wake it up; its answer and
    // its errors do not matter for the start-up.
  }
  fpInicializado = true;
  ConfirmarESolicitarImpressaoTransacoesPendentes();
}

void TVornCliSiTefCliSiTef::DesInicializar() {
  UnLoadDLLFunctions();
  TVornCliSiTefClass::DesInicializar();
}

int TVornCliSiTefCliSiTef::DefineMensagemPermanentePinPad(const AnsiString& mensagem) {
  if (!BibliotecaCarregada()) {
    throw Exception(kErroNaoCarregada);
  }
  return clisitef::Como<clisitef::EscreveMensagemPermanentePinPad_t>(
      fEscreveMensagemPermanentePinPad)(C(mensagem));
}

std::string TVornCliSiTefCliSiTef::VerificarPresencaPinPad() {
  if (!BibliotecaCarregada()) {
    throw Exception(kErroNaoCarregada);
  }
  switch (clisitef::Como<clisitef::VerificaPresencaPinPad_t>(fVerificaPresencaPinPad)()) {
    case 1:
      return "PINPAD conectado com sucesso...";
    case 0:
      return "Nenhum PINPAD conectado...";
    case -1:
      return "Erro na DLL ou arquivo .INI do PINPAD";
    default:
      return {};
  }
}

int TVornCliSiTefCliSiTef::ObtemQuantidadeTransacoesPendentes(TDateTime data,
                                                              const AnsiString& documento) {
  const AnsiString dataTexto = VornAnsiStr(FormatDateTime("yyyymmdd", data));
  if (!BibliotecaCarregada()) {
    throw Exception(kErroNaoCarregada);
  }
  return clisitef::Como<clisitef::ObtemQuantidadeTransacoesPendentes_t>(
      fObtemQuantidadeTransacoesPendentes)(C(dataTexto), C(documento));
}
