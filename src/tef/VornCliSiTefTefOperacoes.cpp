// The CliSiTef binding's operations: each presets answers, runs one library
// function through the command loop and then processes the response or shows
// why the library refused; and the confirmation or undo of a transaction in
// the library.

#include <memory>
#include <string>

#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefErros.h"
#include "tef/VornCliSiTefTef.h"
#include "tef/VornCliSiTefTefFuncoes.h"
#include "util/Exception.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

constexpr char kImpressoraNaoResponde[] = "Impressora não responde\r\nDeseja imprimir novamente ?";

}  // namespace

AnsiString FormataCampo(const std::string& texto, int largura) {
  const std::string digitos = OnlyNumber(VornAnsiStr(Trim(texto)));
  if (static_cast<int>(digitos.size()) >= largura) {
    return AnsiFromBytes(digitos.substr(0, static_cast<std::size_t>(largura)));
  }
  return AnsiFromBytes(std::string(static_cast<std::size_t>(largura) - digitos.size(), '0') +
                       digitos);
}

int TVornCliSiTefCliSiTef::Executar(int Funcao, const AnsiString& AHeader, Currency Valor,
                                    const AnsiString& ListaRestricoes,
                                    const std::string& NumeroCartao,
                                    const std::string& DataVencimento, const std::string& CVV,
                                    const std::string& QtdParcela) {
  // The library's document number is the request's sequence number; no
  // document of the caller is sent.
  int status = FazerRequisicao(Funcao, AHeader, Valor, AnsiString(), ListaRestricoes);
  if (status == clisitef::kContinuar) {
    status = ContinuarRequisicao(false, NumeroCartao, DataVencimento, CVV, QtdParcela);
  }
  return status;
}

void TVornCliSiTefCliSiTef::VerificarIniciouRequisicao() {
  if (!fIniciouRequisicao) {
    throw EVornCliSiTefErro("Nenhuma Requisição Iniciada");
  }
}

void TVornCliSiTefCliSiTef::ATV() {
  const int status = Executar(fOperacaoATV, "ATV", Currency(), AnsiString(), "", "", "", "0");
  if (status == 0) {
    ProcessarResposta();
  } else {
    AvaliaErro(status);
  }
}

bool TVornCliSiTefCliSiTef::ADM() {
  const int status = Executar(fOperacaoADM, "ADM", Currency(), fRestricoes, "", "", "", "0");
  if (status == 0) {
    ProcessarResposta();
  } else {
    AvaliaErro(status);
  }
  return status == 0;
}

bool TVornCliSiTefCliSiTef::CRT(Currency Valor, const std::string& IndiceFPG_ECF,
                                const std::string& NumeroCartao, const std::string& DataVencimento,
                                const std::string& CVV, const std::string& QtdParcela,
                                const std::string& /*DocumentoVinculado*/, int /*Moeda*/) {
  VerificarTransacaoPagamento(Valor);
  if (fOperacaoCRT == 201) {
    const std::string valor = ValorFormatado(Valor);
    SetResposta(146, valor);
    SetResposta(147, valor);
  }
  const int status =
      Executar(fOperacaoCRT, "CRT", Valor, fRestricoes.empty() ? AnsiString("[10];") : fRestricoes,
               NumeroCartao, DataVencimento, CVV, QtdParcela);
  if (status == 0) {
    ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  } else {
    AvaliaErro(status);
  }
  return status == 0;
}

bool TVornCliSiTefCliSiTef::CHQ(Currency Valor, const std::string& IndiceFPG_ECF,
                                const std::string& /*DocumentoVinculado*/, const std::string& CMC7,
                                char TipoPessoa, const std::string& DocumentoPessoa,
                                TDateTime DataCheque, const std::string& Banco,
                                const std::string& Agencia, const std::string& AgenciaDC,
                                const std::string& Conta, const std::string& ContaDC,
                                const std::string& Cheque, const std::string& ChequeDC,
                                const std::string& Compensacao) {
  VerificarTransacaoPagamento(Valor);
  SetResposta(501, TipoPessoa == 'J' ? "1" : "0");
  if (!DocumentoPessoa.empty()) {
    SetResposta(502, OnlyNumber(VornAnsiStr(Trim(DocumentoPessoa))));
  }
  if (DataCheque != 0) {
    SetResposta(506, FormatDateTime("ddmmyyyy", DataCheque));
  }
  if (!CMC7.empty()) {
    SetResposta(517, "1:" + CMC7);
  } else {
    SetResposta(517, "0:" + VornCliSiTefStr(FormataCampo(Compensacao, 3) + FormataCampo(Banco, 3) +
                                            FormataCampo(Agencia, 4) + FormataCampo(AgenciaDC, 1) +
                                            FormataCampo(Conta, 10) + FormataCampo(ContaDC, 1) +
                                            FormataCampo(Cheque, 6) + FormataCampo(ChequeDC, 1)));
  }
  const int status =
      Executar(fOperacaoCHQ, "CHQ", Valor,
               fRestricoes.empty() ? AnsiString("[15;25]") : fRestricoes, "", "", "", "0");
  if (status == 0) {
    ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  } else {
    AvaliaErro(status);
  }
  return status == 0;
}

bool TVornCliSiTefCliSiTef::CNC(const std::string& /*Rede*/, const std::string& NSU,
                                TDateTime DataHoraTransacao, Currency Valor) {
  const std::string valor = ValorFormatado(Valor);
  SetResposta(146, valor);
  SetResposta(147, valor);
  SetResposta(515, FormatDateTime("ddmmyyyy", DataHoraTransacao));
  SetResposta(516, NSU);
  const int status = Executar(fOperacaoCNC, "CNC", Currency(), AnsiString(), "", "", "", "0");
  if (status == 0) {
    ProcessarResposta();
  } else {
    AvaliaErro(status);
  }
  return status == 0;
}

void TVornCliSiTefCliSiTef::CNF(const std::string& /*Rede*/, const std::string& /*NSU*/,
                                const std::string& /*Finalizacao*/,
                                const std::string& DocumentoVinculado) {
  FinalizarTransacao(true, DocumentoVinculado);
}

void TVornCliSiTefCliSiTef::NCN(const std::string& /*Rede*/, const std::string& /*NSU*/,
                                const std::string& /*Finalizacao*/, Currency /*Valor*/,
                                const std::string& DocumentoVinculado) {
  FinalizarTransacao(false, DocumentoVinculado);
}

void TVornCliSiTefCliSiTef::FinalizarTransacao(bool Confirma,
                                               const std::string& DocumentoVinculado) {
  fRespostas.clear();
  fIniciouRequisicao = false;
  if (fReimpressao) {
    return;
  }
  TVornCliSiTef& componente = Componente();
  const bool naBiblioteca = componente.Resp().fMsgImpressao && !componente.TransacaoConfirmada;
  if (naBiblioteca) {
    componente.BloquearMouseTeclado(false);
    int retornoImpressao = -1;
    if (componente.OnComandaImpressao) {
      componente.OnComandaImpressao(retornoImpressao, componente.Resp(), fDevolucao);
    }
    // A failed print turns a confirmation into an undo; an undo stays one
    // whatever the print answered.
    Confirma = Confirma && retornoImpressao != 0;
    const platform::CivilTime agora = platform::Current().LocalNow();
    const AnsiString data = VornAnsiStr(FormatDateTime("yyyymmdd", agora));
    const AnsiString hora = VornAnsiStr(FormatDateTime("hhnnss", agora));
    GravaLog(std::string(Confirma ? "*** FinalizaTransacaoSiTefInterativo -> Confirmação: SIM "
                                  : "*** FinalizaTransacaoSiTefInterativo -> Cancelamento: SIM ") +
             "Documento: " + DocumentoVinculado + " Data: " + VornCliSiTefStr(data) +
             " Hora: " + VornCliSiTefStr(hora));
    if (fFinalizaTransacaoSiTefInterativo == nullptr) {
      throw Exception("Erro ao iniciar \"TEF\"");
    }
    const AnsiString documento = VornAnsiStr(DocumentoVinculado);
    clisitef::Como<clisitef::FinalizaTransacaoSiTefInterativo_t>(fFinalizaTransacaoSiTefInterativo)(
        Confirma ? 1 : 0, documento.c_str(), data.c_str(), hora.c_str());
  }
  // The transaction is finished; what follows only tells the operator.
  ++fpFinalizacoes;
  if (naBiblioteca && fDevolucao) {
    componente.DoExibeMsg(opmOK, "Transação efetuada com sucesso.\r\nFavor reter o Cupom");
  }
  if (!Confirma) {
    componente.DoExibeMsg(opmOK, "Transação \"TEF\" não efetuada.");
    GravaLog(Name() + " FinalizarTransacao: Transação \"TEF\" não efetuada. Documento: " +
             DocumentoVinculado);
  }
}

void TVornCliSiTefCliSiTef::DesfazerNaBiblioteca(const std::string& documento) {
  fRespostas.clear();
  fIniciouRequisicao = false;
  if (fFinalizaTransacaoSiTefInterativo == nullptr) {
    return;
  }
  const platform::CivilTime agora = platform::Current().LocalNow();
  const AnsiString data = VornAnsiStr(FormatDateTime("yyyymmdd", agora));
  const AnsiString hora = VornAnsiStr(FormatDateTime("hhnnss", agora));
  GravaLog("*** FinalizaTransacaoSiTefInterativo -> Cancelamento: SIM Documento: " + documento +
           " Data: " + VornCliSiTefStr(data) + " Hora: " + VornCliSiTefStr(hora));
  const AnsiString doc = VornAnsiStr(documento);
  clisitef::Como<clisitef::FinalizaTransacaoSiTefInterativo_t>(fFinalizaTransacaoSiTefInterativo)(
      0, doc.c_str(), data.c_str(), hora.c_str());
}

void TVornCliSiTefCliSiTef::AvaliaErro(int status) {
  std::string mensagem;
  switch (status) {
    case -1:
      mensagem = "Módulo não inicializado";
      break;
    case -2:
      mensagem = "Operação cancelada pelo operador";
      break;
    case -3:
      mensagem = "Fornecida uma modalidade inválida";
      break;
    case -4:
      mensagem = "Falta de memória para rodar a função";
      break;
    case -5:
      mensagem =
          "Não foi possivel realizar a conexão com o servidor SiTef\r\nPor favor tente mais "
          "tarde...";
      break;
    case -6:
      mensagem = "Operação cancelada pelo usuário";
      break;
    default:
      if (status < -6) {
        mensagem = "Operadora do cartão de crédito off-line (" + std::to_string(status) + ")";
      } else if (status > 0) {
        mensagem = "Negada pelo autorizador (" + std::to_string(status) + ")";
      }
      break;
  }
  Componente().DoExibeMsg(opmExcept, mensagem);
}

void TVornCliSiTefCliSiTef::ProcessarResposta() {
  TVornCliSiTef& componente = Componente();
  GravaLog(Name() + " ProcessarResposta: " + Resp().Header());
  componente.SetEstadoResp(respProcessando);
  if (Resp().QtdLinhasComprovante() <= 0) {
    return;
  }
  auto copia = std::make_unique<TVornCliSiTefRespCliSiTef>();
  copia->Assign(Resp());
  ImprimirRelatorioDaCopia(std::move(copia));
}

bool TVornCliSiTefCliSiTef::ProcessarRespostaPagamento(const std::string& IndiceFPG_ECF,
                                                       Currency Valor) {
  TVornCliSiTef& componente = Componente();
  TVornCliSiTefRespostasPendentes& pendentes = componente.RespostasPendentes();
  Resp().SetIndiceFPG_ECF(IndiceFPG_ECF);
  try {
    CopiarResposta();
  } catch (...) {
    // Without its backup the payment could not be confirmed or undone after
    // a crash, so it must not stay open in the library.
    DesfazerNaBiblioteca(Resp().DocumentoVinculado());
    throw;
  }
  auto copia = std::make_unique<TVornCliSiTefRespCliSiTef>();
  copia->Assign(Resp());
  TVornCliSiTefResp& pendente = *copia;
  pendentes.Add(std::move(copia));

  if (componente.AutoEfetuarPagamento()) {
    bool registrou = false;
    while (true) {
      try {
        componente.ECFPagamento(IndiceFPG_ECF, Valor.ToDouble());
        pendentes.fSaldoAPagar -= Currency::FromCents(Valor.CentsHalfAwayFromZero());
        pendente.SetOrdemPagamento(pendentes.Count() + 1);
        registrou = true;
        break;
      } catch (const EVornCliSiTefECF&) {
      }
      if (componente.DoExibeMsg(opmYesNo, kImpressoraNaoResponde) != mrYes) {
        try {
          componente.ComandarECF(opeCancelaCupom);
        } catch (...) {
          // The coupon is cancelled on a best-effort basis; the undo follows.
        }
        break;
      }
    }
    if (!registrou) {
      componente.CancelarTransacoesPendentes();
      return true;
    }
  }

  if (pendentes.GetSaldoRestante() <= Currency() && componente.AutoFinalizarCupom()) {
    componente.FinalizarCupom(false);
    componente.ImprimirTransacoesPendentes();
  }
  return true;
}
