// Fiscal-printer commands and queries: each is asked of the host through its
// event, logged, and checked (above 0 done, 0 failed, below 0 not handled).

#include <cctype>
#include <cmath>

#include "tef/VornCliSiTef.h"
#include "util/VornCliSiTefUtil.h"

namespace {

// Raises EVornCliSiTefECF with the message for a result that is not positive.
int VerificarRetorno(TVornCliSiTefClass& tef, int retorno, const std::string& naoTratado,
                     const std::string& falhou) {
  if (retorno > 0) {
    return retorno;
  }
  const std::string mensagem = retorno < 0 ? naoTratado : falhou;
  tef.GravaLog(tef.Name() + " " + mensagem);
  throw EVornCliSiTefECF(mensagem);
}

}  // namespace

int TVornCliSiTef::ComandarECF(TVornCliSiTefOperacaoECF Operacao) {
  TVornCliSiTefClass& tef = TEF();
  tef.GravaLog(tef.Name() + " ComandarECF: Oper: " + NomeValor(Operacao));
  int retorno = -1;
  if (OnComandaECF) {
    OnComandaECF(Operacao, tef.Resp(), retorno);
  }
  return VerificarRetorno(tef, retorno,
                          "Operação [" + NomeValor(Operacao) + "] não tratada em \"OnComandaECF\"",
                          "Erro ao imprimir comprovante \"TEF\"");
}

int TVornCliSiTef::ECFSubtotaliza(double DescAcres) {
  TVornCliSiTefClass& tef = TEF();
  const Currency valor = Currency::FromDouble(DescAcres);
  tef.GravaLog(tef.Name() + " ECFSubtotaliza: DescAcres: " + FormatarValor(valor));
  if (!OnComandaECFSubtotaliza) {
    ComandarECF(opeSubTotalizaCupom);
    return 0;
  }
  int retorno = -1;
  OnComandaECFSubtotaliza(valor, retorno);
  VerificarRetorno(tef, retorno, "\"OnComandaECFSubtotaliza\" não tratada",
                   "Erro ao executar \"OnComandaECFSubtotaliza\"");
  ComandarECF(opeImprimePagamentos);
  return retorno;
}

int TVornCliSiTef::ECFPagamento(const std::string& Indice, double Valor) {
  TVornCliSiTefClass& tef = TEF();
  const Currency valor = Currency::FromDouble(Valor);
  tef.GravaLog(tef.Name() + " ECFPagamento: Indice: " + Indice + " Valor: " + FormatarValor(valor));
  // Without a handler the payment is not handled: it is refused below.
  int retorno = -1;
  if (OnComandaECFPagamento) {
    OnComandaECFPagamento(Indice, valor, retorno);
  }
  return VerificarRetorno(tef, retorno, "\"OnComandaECFPagamento\" não tratada",
                          "Erro ao executar \"OnComandaECFPagamento\"");
}

int TVornCliSiTef::ECFAbreVinculado(const std::string& COO, const std::string& Indice,
                                    double Valor) {
  TVornCliSiTefClass& tef = TEF();
  const Currency valor = Currency::FromDouble(Valor);
  tef.GravaLog(tef.Name() + " ECFAbreVinculado: COO: " + COO + " Indice: " + Indice +
               " Valor: " + FormatarValor(valor));
  int retorno = -1;
  if (OnComandaECFAbreVinculado) {
    OnComandaECFAbreVinculado(COO, Indice, valor, retorno);
  }
  return VerificarRetorno(tef, retorno, "\"OnComandaECFAbreVinculado\" não tratado",
                          "Erro ao executar \"OnComandaECFAbreVinculado\"");
}

int TVornCliSiTef::ECFImprimeVia(TVornCliSiTefTipoRelatorio TipoRelatorio, int Via,
                                 const std::vector<std::string>& ImagemComprovante) {
  TVornCliSiTefClass& tef = TEF();
  tef.GravaLog(tef.Name() + " ECFImprimeVia: " + NomeValor(TipoRelatorio) +
               " Via: " + std::to_string(Via));
  int retorno = -1;
  if (OnComandaECFImprimeVia) {
    OnComandaECFImprimeVia(TipoRelatorio, Via, ImagemComprovante, retorno);
  }
  return VerificarRetorno(tef, retorno, "\"OnComandaECFImprimeVia\" não tratado",
                          "Erro ao executar \"OnComandaECFImprimeVia\"");
}

std::string TVornCliSiTef::InfoECFAsString(TVornCliSiTefInfoECF Operacao) {
  TVornCliSiTefClass& tef = TEF();
  tef.GravaLog("InfoECF: " + NomeValor(Operacao));
  std::string retorno;
  try {
    if (OnInfoECF) {
      OnInfoECF(Operacao, retorno);
    }
  } catch (const std::exception& erro) {
    tef.GravaLog(tef.Name() + "   Erro: " + erro.what());
    throw EVornCliSiTefECF(erro.what());
  }
  tef.GravaLog("    Ret: " + retorno);
  return retorno;
}

double TVornCliSiTef::InfoECFAsDouble(TVornCliSiTefInfoECF Operacao, int DefaultValue) {
  const double lido = StringToFloatDef(InfoECFAsString(Operacao), DefaultValue);
  const double valor = std::round(lido * 100) / 100;
  if (DefaultValue == kInfoECFSemValor && valor == kInfoECFSemValor) {
    throw EVornCliSiTefErro("Erro na conversão do Valor Retornado de: OnInfoECF( " +
                            NomeValor(Operacao) + ")");
  }
  return valor;
}

char TVornCliSiTef::EstadoECF() {
  const std::string retorno = InfoECFAsString(ineEstadoECF);
  const char estado = static_cast<char>(
      std::toupper(static_cast<unsigned char>(retorno.empty() ? ' ' : retorno[0])));
  if (std::string("CGLNOPRV").find(estado) == std::string::npos || estado == '\0') {
    throw EVornCliSiTefECF(
        "Retorno de \"OnInfoEcf( ineEstadoECF, Retorno )\" deve ser:\r\n"
        "\"L\" = Livre\r\n"
        "\"V\" = Venda de Itens\r\n"
        "\"P\" - Pagamento (ou SubTotal efetuado)\r\n"
        "\"C\" ou \"R\" - CDC ou Cupom Vinculado\r\n"
        "\"G\" ou \"R\" - Relatório Gerencial\r\n"
        "\"N\" - Recebimento Não Fiscal\r\n"
        "\"O\" - Outro");
  }
  return estado;
}

TVornCliSiTefArrayGrupoRespostasPendentes TVornCliSiTef::AgruparRespostasPendentes() {
  TVornCliSiTefArrayGrupoRespostasPendentes grupos;
  for (int i = 0; i < fRespostasPendentes->Count(); ++i) {
    const TVornCliSiTefResp& resp = (*fRespostasPendentes)[i];
    auto grupo = grupos.begin();
    while (grupo != grupos.end() && (grupo->IndiceFPG_ECF != resp.IndiceFPG_ECF() ||
                                     grupo->OrdemPagamento != resp.OrdemPagamento())) {
      ++grupo;
    }
    if (grupo == grupos.end()) {
      grupos.push_back({resp.IndiceFPG_ECF(), resp.OrdemPagamento(), Currency()});
      grupo = grupos.end() - 1;
    }
    grupo->Total += resp.ValorTotal();
  }
  // A stable exchange sort by payment order.
  for (bool trocou = true; trocou;) {
    trocou = false;
    for (std::size_t i = 1; i < grupos.size(); ++i) {
      if (grupos[i - 1].OrdemPagamento > grupos[i].OrdemPagamento) {
        std::swap(grupos[i - 1], grupos[i]);
        trocou = true;
      }
    }
  }
  return grupos;
}
