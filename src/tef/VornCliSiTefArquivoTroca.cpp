// The file-exchange transport of the bindings: a request is written to a
// temporary file, forced to disk and renamed to the request file; the manager
// acknowledges it with a status file and answers with a response file.

#include <algorithm>
#include <cmath>

#include "platform/Platform.h"
#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefClass.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

constexpr double kSegundosPorDia = 86400.0;
constexpr std::uint16_t kJanelaNormal = 1;

bool Existe(const std::string& arquivo) {
  return !arquivo.empty() && platform::Current().FileExists(arquivo);
}

// Whole seconds of a span of days, the fraction dropped; never negative, so
// a wait's handler sees -1 only when the wait has ended (a clock set back
// while waiting gives 0).
int SegundosInteiros(TDateTime dias) {
  return static_cast<int>(std::max(0.0, std::trunc(dias * kSegundosPorDia)));
}

std::string Recebido(bool recebido) {
  return recebido ? "Recebido" : "Não recebido";
}

}  // namespace

void TVornCliSiTefClass::IniciarRequisicao(const std::string& AHeader, int AID) {
  if (fpAguardandoResposta) {
    throw Exception("Requisição anterior não concluida");
  }
  GravaLog(Name() + " IniciarRequisicao: " + AHeader);
  VerificaInicializado();
  if (TransacaoEPagamento(AHeader) && Componente().MultiplosCartoes()) {
    ConfirmarTransacoesAnteriores();
  }
  if (AHeader != "ATV") {
    VerificaAtivo();
  }
  Componente().SetEstadoReq(reqIniciando);
  fpReq->Clear();
  fpResp->Clear();
  ApagaEVerifica(fArqTmp);
  ApagaEVerifica(fArqReq);
  ApagaEVerifica(fArqResp);
  ApagaEVerifica(fArqSTS);
  const int id = AID > 0 ? AID : fpIDSeq;
  fpIDSeq = id + 1;
  fpReq->SetHeader(AHeader);
  fpReq->SetID(id);
  fpReq->Conteudo().GravarArquivo(fArqTmp, false);
}

void TVornCliSiTefClass::AdicionarIdentificacao() {
  TVornCliSiTefIdentificacao& identificacao = Componente().Identificacao();
  TVornCliSiTefReq& req = Componente().Req();
  const std::string aplicacao =
      Trim(identificacao.NomeAplicacao() + " " + identificacao.VersaoAplicacao());
  bool identificou = false;
  if (!aplicacao.empty()) {
    req.GravaInformacao(701, 0, aplicacao);
    identificou = true;
  }
  if (!identificacao.RazaoSocial().empty()) {
    req.GravaInformacao(716, 0, identificacao.RazaoSocial());
    identificou = true;
  }
  if (identificou) {
    const bool subtotaliza =
        Componente().OnComandaECFSubtotaliza && !Componente().AutoEfetuarPagamento();
    req.GravaInformacao(706, 0, subtotaliza ? "3" : "1");
  }
}

void TVornCliSiTefClass::FinalizarRequisicao() {
  VerificarIniciouRequisicao();
  TVornCliSiTef& componente = Componente();
  platform::Platform& os = platform::Current();
  const std::string header = fpReq->Header();
  componente.SetEstadoReq(reqCriandoArquivo);
  if (componente.OnAntesFinalizarRequisicao) {
    componente.OnAntesFinalizarRequisicao(*fpReq);
  }

  GravaLog(Name() + " FinalizarRequisicao: " + header + ", Fechando arquivo: " + fArqTmp);
  fpReq->GravaInformacao(999, 999, "0");
  fpReq->Conteudo().GravarArquivo(fArqTmp, true);

  GravaLog(Name() + " FinalizarRequisicao: " + header + ", Renomeando: " + fArqTmp +
           " para: " + fArqReq);
  if (!os.RenameFile(fArqTmp, fArqReq)) {
    throw EVornCliSiTefArquivo("Erro ao Renomear:\r\n" + fArqTmp + "para:" + "\r\n" + fArqReq);
  }

  componente.SetEstadoReq(reqAguardandoResposta);
  const TDateTime limite = Now() + fEsperaSTS / kSegundosPorDia;
  fpAguardandoResposta = true;
  GravaLog(Name() + " FinalizarRequisicao: " + header + ", Aguardando: " + fArqSTS);
  bool interromper = false;
  bool recebido = false;
  try {
    while (true) {
      os.SleepMs(componente.EsperaSleep());
      if (componente.OnAguardaResp) {
        componente.OnAguardaResp(componente.ArqSTS(), SegundosInteiros(limite - Now()),
                                 interromper);
      }
      recebido = Existe(fArqSTS);
      if (recebido || Now() > limite || interromper) {
        break;
      }
    }
  } catch (...) {
    fpAguardandoResposta = false;
    throw;
  }
  GravaLog(Name() + " FinalizarRequisicao: " + header + ", Fim da Espera de: " + fArqSTS + " " +
           Recebido(recebido));
  fpAguardandoResposta = false;
  if (componente.OnAguardaResp) {
    componente.OnAguardaResp(componente.ArqSTS(), -1, interromper);
  }
  if (!Existe(fArqSTS)) {
    throw EVornCliSiTefGPNaoResponde("O gerenciador padrão " + Name() + " não está ativo !");
  }

  componente.SetEstadoReq(reqConferindoResposta);
  GravaLog(Name() + " FinalizarRequisicao: " + header + ", Verificando conteudo de: " + fArqSTS);
  fpResp->LeArquivo(fArqSTS);
  ApagaEVerifica(fArqTmp);
  ApagaEVerifica(fArqSTS);
  if (!VerificarRespostaRequisicao()) {
    ApagaEVerifica(fArqResp);
    fpReq->Clear();
    fpResp->Clear();
    throw EVornCliSiTefSTSInvalido("Falha na comunicação com o Gereciador Padrão: " + Name());
  }
  componente.SetEstadoReq(reqFinalizada);
}

bool TVornCliSiTefClass::VerificarRespostaRequisicao() {
  const auto* txt = dynamic_cast<const TVornCliSiTefRespTXT*>(fpResp.get());
  if (txt == nullptr) {
    return true;
  }
  return txt->Header() == fpReq->Header() && txt->ID() == fpReq->ID() && txt->GetTrailerOK();
}

void TVornCliSiTefClass::LerRespostaRequisicao() {
  VerificarIniciouRequisicao();
  TVornCliSiTef& componente = Componente();
  platform::Platform& os = platform::Current();
  const std::string header = fpReq->Header();
  fpResp->Clear();
  if (std::string("CNF|ATV").find(header) == std::string::npos) {
    componente.BloquearMouseTeclado(false);
  }
  componente.SetEstadoResp(respAguardandoResposta);

  const auto finalizar = [&] {
    fpResp->SetTipoGP(fpTipo);
    componente.SetEstadoResp(respNenhum);
    ApagaEVerifica(fArqReq);
  };
  try {
    bool interromper = false;
    bool lida = false;
    while (!lida && !interromper) {
      const TDateTime inicio = Now();
      fpAguardandoResposta = true;
      GravaLog(Name() + " LerRespostaRequisicao: " + header + ", Aguardando: " + fArqResp);
      bool recebido = false;
      try {
        while (true) {
          os.SleepMs(componente.EsperaSleep());
          if (componente.OnAguardaResp) {
            componente.OnAguardaResp(componente.ArqResp(), SegundosInteiros(Now() - inicio),
                                     interromper);
          }
          recebido = Existe(fArqResp);
          if (recebido || interromper) {
            break;
          }
        }
      } catch (...) {
        fpAguardandoResposta = false;
        throw;
      }
      GravaLog(Name() + " LerRespostaRequisicao: " + header + ", Fim da Espera de: " + fArqResp +
               " " + Recebido(recebido));
      fpAguardandoResposta = false;
      if (componente.OnAguardaResp) {
        componente.OnAguardaResp(componente.ArqResp(), -1, interromper);
      }
      GravaLog(Name() + " LerRespostaRequisicao: " + header +
               ", Verificando conteudo de: " + fArqResp);
      fpResp->LeArquivo(fArqResp);
      lida = VerificarRespostaRequisicao();
      if (!lida) {
        std::string linhas;
        for (const AnsiString& linha : fpResp->Conteudo().Linhas()) {
          linhas += "\r\n" + VornCliSiTefStr(linha);
        }
        GravaLog(Name() + " LerRespostaRequisicao: " + header +
                 ", Arquivo inválido desprezado: \"" + fArqResp + "\"" + linhas);
        fpResp->Clear();
        ApagaEVerifica(fArqResp);
      }
    }
  } catch (...) {
    finalizar();
    throw;
  }
  finalizar();
}

void TVornCliSiTefClass::FinalizarResposta(bool ApagarArqResp) {
  Componente().SetEstadoResp(respConcluida);
  GravaLog(Name() + " FinalizarResposta: " + fpReq->Header());
  if (ApagarArqResp) {
    ApagaEVerifica(fArqResp);
  }
  fpReq->Clear();
  fpResp->Clear();
}

void TVornCliSiTefClass::VerificaAtivo() {
  try {
    ATV();
  } catch (const EVornCliSiTefGPNaoResponde&) {
    if (!fAutoAtivarGP) {
      return;
    }
    Componente().DoExibeMsg(opmOK,
                            "O Gerenciador Padrão não está ativo e será ativado automaticamente!");
    AtivarGP();
    ATV();
  }
}

void TVornCliSiTefClass::AtivarGP() {
  if (fGPExeName.empty()) {
    throw EVornCliSiTefErro("Nome do executável do Gerenciador Padrão não definido");
  }
  VerificaInicializado();
  RunCommand(fGPExeName, "", false, kJanelaNormal);
  platform::Current().SleepMs(2000);
  Componente().RestaurarFocoAplicacao();
}
