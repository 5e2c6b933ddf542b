// The operation flows of the bindings (ATV, ADM, CRT, CHQ, CNC, CNF, NCN),
// the checks before a payment and the processing of a response.

#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefClass.h"
#include "util/VornCliSiTefUtil.h"

namespace {

const char kImpressoraNaoResponde[] = "Impressora não responde\r\nDeseja imprimir novamente ?";

}  // namespace

void TVornCliSiTefClass::VerificarTransacaoPagamento(Currency Valor) {
  TVornCliSiTef& componente = Componente();
  TVornCliSiTefRespostasPendentes& pendentes = componente.RespostasPendentes();
  const Currency valor = ArredondaCentavos(Valor);
  if (valor <= Currency()) {
    throw Exception("Valor inválido");
  }
  pendentes.fSaldoAPagar = valor;
  const Currency trocoMaximo = Currency::FromDouble(componente.TrocoMaximo);
  if (trocoMaximo > Currency() && valor > pendentes.GetSaldoRestante() + trocoMaximo) {
    throw Exception("Operação TEF permite Troco Máximo de R$ " + FormatarValor(trocoMaximo));
  }
  const int maximo = componente.NumeroMaximoCartoes();
  if (!componente.MultiplosCartoes() || maximo <= 0) {
    return;
  }
  const std::string limite =
      "Multiplos Cartões Limitado a " + std::to_string(maximo) + " operações.";
  if (pendentes.Count() >= maximo) {
    throw Exception(limite);
  }
  if (TrocaArquivos() && valor != pendentes.GetSaldoRestante() && maximo - pendentes.Count() <= 1) {
    throw Exception(limite + "\r\n" + "Esta Operação TEF deve ser igual ao Saldo a Pagar");
  }
}

void TVornCliSiTefClass::ATV() {
  IniciarRequisicao("ATV");
  FinalizarRequisicao();
}

bool TVornCliSiTefClass::EnviarEProcessar() {
  AdicionarIdentificacao();
  FinalizarRequisicao();
  bool aprovada = false;
  try {
    LerRespostaRequisicao();
    aprovada = fpResp->GetTransacaoAprovada();
    ProcessarResposta();
  } catch (...) {
    FinalizarResposta(true);
    throw;
  }
  FinalizarResposta(true);
  return aprovada;
}

bool TVornCliSiTefClass::ADM() {
  IniciarRequisicao("ADM");
  return EnviarEProcessar();
}

bool TVornCliSiTefClass::CRT(Currency Valor, const std::string& IndiceFPG_ECF, const std::string&,
                             const std::string&, const std::string&, const std::string&,
                             const std::string& DocumentoVinculado, int Moeda) {
  VerificarTransacaoPagamento(Valor);
  IniciarRequisicao("CRT");
  fpReq->SetDocumentoVinculado(DocumentoVinculado);
  fpReq->SetValorTotal(Valor);
  fpReq->SetMoeda(Moeda);
  AdicionarIdentificacao();
  FinalizarRequisicao();
  return ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
}

bool TVornCliSiTefClass::CHQ(Currency Valor, const std::string& IndiceFPG_ECF,
                             const std::string& DocumentoVinculado, const std::string& CMC7,
                             char TipoPessoa, const std::string& DocumentoPessoa,
                             TDateTime DataCheque, const std::string& Banco,
                             const std::string& Agencia, const std::string& AgenciaDC,
                             const std::string& Conta, const std::string& ContaDC,
                             const std::string& Cheque, const std::string& ChequeDC,
                             const std::string&) {
  VerificarTransacaoPagamento(Valor);
  IniciarRequisicao("CHQ");
  fpReq->SetDocumentoVinculado(DocumentoVinculado);
  fpReq->SetValorTotal(Valor);
  fpReq->SetCMC7(CMC7);
  if (TipoPessoa != ' ') {
    fpReq->SetTipoPessoa(TipoPessoa);
  }
  fpReq->SetDocumentoPessoa(DocumentoPessoa);
  fpReq->SetDataCheque(DataCheque);
  fpReq->SetBanco(Banco);
  fpReq->SetAgencia(Agencia);
  fpReq->SetAgenciaDC(AgenciaDC);
  fpReq->SetConta(Conta);
  fpReq->SetContaDC(ContaDC);
  fpReq->SetCheque(Cheque);
  fpReq->SetChequeDC(ChequeDC);
  fpReq->SetMoeda(0);
  AdicionarIdentificacao();
  FinalizarRequisicao();
  LerRespostaRequisicao();
  try {
    if (fpResp->QtdLinhasComprovante() <= 0 && fpResp->StatusTransacao() == "0") {
      ProcessarResposta();
    }
  } catch (...) {
    ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
    throw;
  }
  return ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
}

bool TVornCliSiTefClass::CNC() {
  TVornCliSiTefRespTXT copia;
  copia.Assign(*fpResp);
  IniciarRequisicao("CNC");
  fpReq->SetDocumentoVinculado(copia.DocumentoVinculado());
  fpReq->SetValorTotal(copia.ValorTotal());
  fpReq->SetCMC7(copia.CMC7());
  if (copia.TipoPessoa() != ' ') {
    fpReq->SetTipoPessoa(copia.TipoPessoa());
  }
  fpReq->SetDocumentoPessoa(copia.DocumentoPessoa());
  fpReq->SetDataCheque(copia.DataCheque());
  fpReq->SetRede(copia.Rede());
  fpReq->SetNSU(copia.NSU());
  fpReq->SetDataHoraTransacaoComprovante(copia.DataHoraTransacaoComprovante());
  fpReq->SetBanco(copia.Banco());
  fpReq->SetAgencia(copia.Agencia());
  fpReq->SetAgenciaDC(copia.AgenciaDC());
  fpReq->SetConta(copia.Conta());
  fpReq->SetContaDC(copia.ContaDC());
  fpReq->SetCheque(copia.Cheque());
  fpReq->SetChequeDC(copia.ChequeDC());
  fpReq->SetMoeda(copia.Moeda());
  return EnviarEProcessar();
}

bool TVornCliSiTefClass::CNC(const std::string& Rede, const std::string& NSU,
                             TDateTime DataHoraTransacao, Currency Valor) {
  IniciarRequisicao("CNC");
  fpReq->SetValorTotal(Valor);
  fpReq->SetRede(Rede);
  fpReq->SetNSU(NSU);
  fpReq->SetDataHoraTransacaoComprovante(DataHoraTransacao);
  return EnviarEProcessar();
}

void TVornCliSiTefClass::CNF() {
  // Copies: starting the request clears the response they come from.
  const std::string rede = fpResp->Rede();
  const std::string nsu = fpResp->NSU();
  const std::string finalizacao = fpResp->Finalizacao();
  const std::string documento = fpResp->DocumentoVinculado();
  CNF(rede, nsu, finalizacao, documento);
}

void TVornCliSiTefClass::CNF(const std::string& Rede, const std::string& NSU,
                             const std::string& Finalizacao,
                             const std::string& DocumentoVinculado) {
  IniciarRequisicao("CNF");
  fpReq->SetDocumentoVinculado(DocumentoVinculado);
  fpReq->SetRede(Rede);
  fpReq->SetNSU(NSU);
  fpReq->SetFinalizacao(Finalizacao);
  FinalizarRequisicao();
  ++fpFinalizacoes;
}

void TVornCliSiTefClass::NCN() {
  const std::string rede = fpResp->Rede();
  const std::string nsu = fpResp->NSU();
  const std::string finalizacao = fpResp->Finalizacao();
  const Currency valor = fpResp->ValorTotal();
  const std::string documento = fpResp->DocumentoVinculado();
  NCN(rede, nsu, finalizacao, valor, documento);
}

void TVornCliSiTefClass::NCN(const std::string& Rede, const std::string& NSU,
                             const std::string& Finalizacao, Currency Valor,
                             const std::string& DocumentoVinculado) {
  IniciarRequisicao("NCN");
  fpReq->SetDocumentoVinculado(DocumentoVinculado);
  fpReq->SetRede(Rede);
  fpReq->SetNSU(NSU);
  fpReq->SetFinalizacao(Finalizacao);
  FinalizarRequisicao();
  ++fpFinalizacoes;
  std::string detalhes;
  if (!Rede.empty()) {
    detalhes += "Rede: " + Rede + "\r\n";
  }
  if (!NSU.empty()) {
    detalhes += "NSU: " + NSU + "\r\n";
  }
  if (Valor != Currency()) {
    detalhes += "Valor: " + FormatarValor(Valor);
  }
  std::string aviso = "Última Transação TEF foi cancelada";
  if (!detalhes.empty()) {
    aviso += "\r\n\r\n" + detalhes;
  }
  if (fpTipo != gpTefAuttar) {
    Componente().DoExibeMsg(opmOK, aviso);
  }
}

void TVornCliSiTefClass::ProcessarResposta() {
  VerificarIniciouRequisicao();
  TVornCliSiTef& componente = Componente();
  GravaLog(Name() + " ProcessarResposta: " + fpReq->Header());
  componente.SetEstadoResp(respProcessando);
  if (fpResp->QtdLinhasComprovante() <= 0) {
    if (!fpResp->TextoEspecialOperador().empty()) {
      componente.DoExibeMsg(opmOK, fpResp->TextoEspecialOperador());
    }
    return;
  }
  auto copia = std::make_unique<TVornCliSiTefRespTXT>();
  copia->Assign(*fpResp);
  ImprimirRelatorioDaCopia(std::move(copia));
}

void TVornCliSiTefClass::ImprimirRelatorioDaCopia(std::unique_ptr<TVornCliSiTefResp> copia) {
  TVornCliSiTef& componente = Componente();
  TVornCliSiTefRespostasPendentes& pendentes = componente.RespostasPendentes();
  pendentes.Add(std::move(copia));
  try {
    ImprimirRelatorio();
    if (componente.OnDepoisConfirmarTransacoes) {
      componente.OnDepoisConfirmarTransacoes(pendentes);
    }
  } catch (...) {
    pendentes.Clear();
    throw;
  }
  pendentes.Clear();
}

bool TVornCliSiTefClass::ProcessarRespostaPagamento(const std::string& IndiceFPG_ECF,
                                                    Currency Valor) {
  TVornCliSiTef& componente = Componente();
  TVornCliSiTefRespostasPendentes& pendentes = componente.RespostasPendentes();
  LerRespostaRequisicao();
  const std::string header = fpResp->Header();
  GravaLog(Name() + " ProcessarRespostaPagamento: " + header + " - " +
           std::to_string(fpResp->ID()) + " Indice: " + IndiceFPG_ECF +
           " Valor:" + FormatarValor(Valor));
  const bool aprovada = fpResp->GetTransacaoAprovada();
  const bool ultimaTransacao = Valor >= pendentes.GetSaldoRestante();

  if (!aprovada) {
    ProcessarResposta();
    FinalizarResposta(true);
    if (ultimaTransacao && pendentes.Count() > 0 &&
        componente.DoExibeMsg(
            opmYesNo, "Gostaria de continuar a transação com outra(s) forma(s) de pagamento ?") !=
            mrYes) {
      componente.ComandarECF(opeCancelaCupom);
      componente.CancelarTransacoesPendentes();
    }
    return aprovada;
  }

  fpResp->SetIndiceFPG_ECF(IndiceFPG_ECF);
  CopiarResposta();
  auto nova = std::make_unique<TVornCliSiTefRespTXT>();
  nova->Assign(*fpResp);
  nova->SetArqRespPendente(componente.ArqResp());
  TVornCliSiTefResp& pendente = *nova;
  pendentes.Add(std::move(nova));

  if (componente.AutoEfetuarPagamento()) {
    bool registrou = false;
    try {
      while (true) {
        try {
          componente.BloquearMouseTeclado(true);
          componente.ECFPagamento(IndiceFPG_ECF, Valor.ToDouble());
          pendentes.fSaldoAPagar -= ArredondaCentavos(Valor);
          pendente.SetOrdemPagamento(
              header == "CHQ" && componente.CHQEmGerencial ? 999 : pendentes.Count() + 1);
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
    } catch (...) {
      componente.CancelarTransacoesPendentes();
      throw;
    }
    if (!registrou) {
      componente.CancelarTransacoesPendentes();
      return aprovada;
    }
  }

  FinalizarResposta(false);
  if (componente.AutoFinalizarCupom() && pendentes.GetSaldoRestante() <= Currency()) {
    componente.FinalizarCupom(false);
    componente.ImprimirTransacoesPendentes();
  }
  return aprovada;
}
