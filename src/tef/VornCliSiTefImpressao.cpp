// Receipt printing and the closing of the fiscal coupon: the sequences of
// printer commands asked of the host, with a retry offered when the printer
// fails, ending in the confirmation or the undo of the pending transactions.

#include <cmath>

#include "platform/Platform.h"
#include "tef/VornCliSiTef.h"

namespace {

const char kImpressoraNaoResponde[] = "Impressora não responde\r\nDeseja imprimir novamente ?";

int NumeroDeVias(const TVornCliSiTefResp& resp, int numVias) {
  if (resp.ImagemComprovante1aVia().empty()) {
    return 0;
  }
  if (resp.ImagemComprovante2aVia().empty()) {
    return std::min(numVias, 1);
  }
  return numVias;
}

const std::vector<std::string>& Via(const TVornCliSiTefResp& resp, int via) {
  return via == 1 ? resp.ImagemComprovante1aVia() : resp.ImagemComprovante2aVia();
}

}  // namespace

std::string TextoDestaqueVia(int via) {
  return "Destaque a " + std::to_string(via) + "ª Via";
}

void TVornCliSiTef::LiberarECF(const std::function<void(char)>& acaoNPV) {
  const char estado = EstadoECF();
  if (estado == 'L') {
    return;
  }
  if (estado == 'C') {
    ComandarECF(opeFechaVinculado);
  } else if (estado == 'G' || estado == 'R') {
    ComandarECF(opeFechaGerencial);
  } else if ((estado == 'N' || estado == 'P' || estado == 'V') && acaoNPV) {
    acaoNPV(estado);
  }
  if (EstadoECF() != 'L') {
    throw EVornCliSiTefECF("ECF não está LIVRE");
  }
}

void TVornCliSiTef::MostrarMensagens(const TVornCliSiTefResp& resp, TMensagensExibidas& exibidas) {
  if (!resp.TextoEspecialOperador().empty()) {
    DoExibeMsg(opmExibirMsgOperador, resp.TextoEspecialOperador());
    exibidas.operador = true;
  }
  if (!resp.TextoEspecialCliente().empty()) {
    DoExibeMsg(opmExibirMsgCliente, resp.TextoEspecialCliente());
    exibidas.cliente = true;
  }
}

void TVornCliSiTef::RemoverMensagens(TMensagensExibidas& exibidas, bool aguardar) {
  if (!exibidas.operador && !exibidas.cliente) {
    return;
  }
  if (aguardar) {
    // The texts stay up for more than 4 whole seconds since printing began.
    while (std::floor((Now() - exibidas.inicio) * 86400.0) <= 4) {
      platform::Current().SleepMs(fEsperaSleep);
    }
  }
  exibidas.operador = false;
  exibidas.cliente = false;
  DoExibeMsg(opmRemoverMsgOperador, "");
  DoExibeMsg(opmRemoverMsgCliente, "");
}

void TVornCliSiTef::ImprimirResposta(TVornCliSiTefResp& resp, const TImpressao& impressao,
                                     TEstadoImpressao& estado) {
  SetGPAtual(resp.TipoGP());
  estado.mensagens.inicio = Now();
  const int vias = NumeroDeVias(resp, TEF().NumVias());
  const std::string& operador = resp.TextoEspecialOperador();
  const std::string& cliente = resp.TextoEspecialCliente();
  if (vias == 0) {
    if (!operador.empty() || !cliente.empty()) {
      DoExibeMsg(opmOK, operador + (operador.empty() ? "" : "\r\n\r\n") + cliente);
    }
  } else {
    MostrarMensagens(resp, estado.mensagens);
    const bool abre = impressao.relatorioUnico ? !estado.relatorioAberto
                                               : resp.OrdemPagamento() != estado.ultimaOrdem;
    if (abre) {
      estado.ultimaOrdem = resp.OrdemPagamento();
      if (impressao.naoFiscal) {
        ComandarECF(opeAbreGerencial);
        estado.relatorioAberto = true;
      } else {
        ECFAbreVinculado(resp.DocumentoVinculado(), impressao.grupo->IndiceFPG_ECF,
                         impressao.grupo->Total.ToDouble());
      }
    }
    for (int via = 1; via <= vias; ++via) {
      ECFImprimeVia(impressao.naoFiscal ? trGerencial : trVinculado, via, Via(resp, via));
      if (impressao.naoFiscal && !(via == vias && impressao.ultimaResposta)) {
        ComandarECF(opePulaLinhas);
        DoExibeMsg(opmDestaqueVia, TextoDestaqueVia(via));
      }
    }
  }
  RemoverMensagens(estado.mensagens, true);
  if (ExibirMsgAutenticacao && !resp.Autenticacao().empty()) {
    estado.autenticacao = "Favor anotar no verso do Cheque:\r\n" + resp.Autenticacao();
  }
  if (!impressao.ultimaResposta && !estado.autenticacao.empty()) {
    DoExibeMsg(opmOK, estado.autenticacao);
    estado.autenticacao.clear();
  }
}

void TVornCliSiTef::ImprimirVinculado(const TVornCliSiTefArrayGrupoRespostasPendentes& grupos,
                                      bool& naoFiscal, TEstadoImpressao& estado) {
  TVornCliSiTefRespostasPendentes& pendentes = *fRespostasPendentes;
  estado.ultimaOrdem = -1;
  for (const TVornCliSiTefGrupoRespostasPendentes& grupo : grupos) {
    if (grupo.OrdemPagamento > 998) {
      naoFiscal = true;
    }
    for (int i = 0; i < pendentes.Count(); ++i) {
      if (pendentes[i].OrdemPagamento() == grupo.OrdemPagamento) {
        const TImpressao impressao{naoFiscal, false, i == pendentes.Count() - 1, &grupo};
        ImprimirResposta(pendentes[i], impressao, estado);
      }
    }
    if (estado.ultimaOrdem >= 0) {
      if (estado.relatorioAberto) {
        ComandarECF(opeFechaGerencial);
        estado.relatorioAberto = false;
      } else {
        ComandarECF(opeFechaVinculado);
      }
    }
  }
}

void TVornCliSiTef::ImprimirNaoFiscal(TEstadoImpressao& estado) {
  TVornCliSiTefRespostasPendentes& pendentes = *fRespostasPendentes;
  LiberarECF(nullptr);
  estado.relatorioAberto = false;
  for (int i = 0; i < pendentes.Count(); ++i) {
    const TImpressao impressao{true, true, i == pendentes.Count() - 1, nullptr};
    ImprimirResposta(pendentes[i], impressao, estado);
  }
  if (estado.relatorioAberto) {
    ComandarECF(opeFechaGerencial);
    estado.relatorioAberto = false;
  }
}

void TVornCliSiTef::ImprimirTransacoesPendentes() {
  TVornCliSiTefRespostasPendentes& pendentes = *fRespostasPendentes;
  if (pendentes.Count() == 0) {
    return;
  }
  TEF().GravaLog("ImprimirTransacoesPendentes");
  LiberarECF([this](char) { FinalizarCupom(false); });
  const TVornCliSiTefArrayGrupoRespostasPendentes grupos = AgruparRespostasPendentes();
  TEstadoImpressao estado;
  bool naoFiscal = false;
  BloquearMouseTeclado(true);

  bool imprimiu = false;
  while (true) {
    try {
      if (naoFiscal) {
        ImprimirNaoFiscal(estado);
      } else {
        ImprimirVinculado(grupos, naoFiscal, estado);
      }
      imprimiu = true;
    } catch (const EVornCliSiTefECF&) {
    } catch (...) {
      RemoverMensagens(estado.mensagens, false);
      throw;
    }
    RemoverMensagens(estado.mensagens, false);
    if (imprimiu || DoExibeMsg(opmYesNo, kImpressoraNaoResponde) != mrYes) {
      break;
    }
    naoFiscal = true;
  }

  if (imprimiu) {
    ConfirmarTransacoesPendentes();
  } else {
    try {
      ComandarECF(opeCancelaCupom);
    } catch (...) {
      // The coupon is cancelled on a best-effort basis; the undo follows.
    }
    CancelarTransacoesPendentes();
  }
  BloquearMouseTeclado(false);
  if (!estado.autenticacao.empty()) {
    DoExibeMsg(opmOK, estado.autenticacao);
  }
  pendentes.Clear();
}

bool TVornCliSiTef::FecharCupomPagamento() {
  if (InfoECFAsDouble(ineSubTotal) <= 0) {
    ComandarECF(opeFechaCupom);
    return false;
  }
  if (InfoECFAsDouble(ineTotalAPagar, 0) <= 0) {
    return true;
  }
  ComandarECF(opeImprimePagamentos);
  if (InfoECFAsDouble(ineSubTotal) <= 0) {
    ComandarECF(opeFechaCupom);
    return false;
  }
  return true;
}

void TVornCliSiTef::RegistrarPagamentosECF() {
  TVornCliSiTefRespostasPendentes& pendentes = *fRespostasPendentes;
  int ordem = 0;
  for (const TVornCliSiTefGrupoRespostasPendentes& grupo : AgruparRespostasPendentes()) {
    if (grupo.OrdemPagamento != 0) {
      ordem = grupo.OrdemPagamento;
      continue;
    }
    ++ordem;
    if (InfoECFAsDouble(ineSubTotal) > 0) {
      ECFPagamento(grupo.IndiceFPG_ECF, grupo.Total.ToDouble());
    }
    for (int i = 0; i < pendentes.Count(); ++i) {
      TVornCliSiTefResp& resp = pendentes[i];
      if (resp.IndiceFPG_ECF() != grupo.IndiceFPG_ECF) {
        continue;
      }
      if (resp.Header() == "CHQ" && CHQEmGerencial) {
        resp.SetOrdemPagamento(999);
        --ordem;
      } else {
        resp.SetOrdemPagamento(ordem);
      }
    }
  }
}

void TVornCliSiTef::FinalizarCupom(bool DesbloquearMouseTecladoNoTermino) {
  TEF().GravaLog(std::string("FinalizarCupom") +
                 (DesbloquearMouseTecladoNoTermino ? ", DesbloquearMouseTecladoNoTermino" : ""));
  bool finalizou = false;
  try {
    while (true) {
      try {
        BloquearMouseTeclado(true);
        // A printer in state N (non-fiscal receipt) does not say whether the
        // coupon is selling or paying: the states are guessed in turn.
        char palpite = 'N';
        char estado = EstadoECF();
        bool fechado = false;
        while (estado != 'L' && !fechado) {
          try {
            if (estado == 'N') {
              palpite = palpite == 'N' ? 'V' : palpite == 'V' ? 'P' : 'N';
              estado = palpite;
            }
            if (estado == 'V') {
              ECFSubtotaliza(RespostasPendentes().GetTotalDesconto().ToDouble());
            } else if (estado == 'P') {
              if (!fAutoEfetuarPagamento) {
                RegistrarPagamentosECF();
              }
              fechado = FecharCupomPagamento();
            } else if (estado == 'N') {
              fechado = FecharCupomPagamento();
            } else {
              throw Exception("ECF deve estar em Venda ou Pagamento");
            }
          } catch (...) {
            if (palpite == 'N') {
              throw;
            }
          }
          if (!fechado) {
            estado = EstadoECF();
          }
        }
        if (DesbloquearMouseTecladoNoTermino) {
          BloquearMouseTeclado(false);
        }
        finalizou = true;
      } catch (const EVornCliSiTefECF&) {
      }
      if (finalizou || DoExibeMsg(opmYesNo, kImpressoraNaoResponde) != mrYes) {
        break;
      }
    }
    if (!finalizou) {
      try {
        ComandarECF(opeCancelaCupom);
      } catch (...) {
        // The coupon is cancelled on a best-effort basis; the undo follows.
      }
    }
  } catch (...) {
    CancelarTransacoesPendentes();
    throw;
  }
  if (!finalizou) {
    CancelarTransacoesPendentes();
  }
}
