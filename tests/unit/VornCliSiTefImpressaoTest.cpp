// Fiscal-printer commands, queries and the receipt printing sequences.

#include <gtest/gtest.h>

#include "TefTestSupport.h"

namespace {

std::string MensagemDe(const std::function<void()>& acao) {
  try {
    acao();
  } catch (const EVornCliSiTefECF& erro) {
    return std::string("ECF: ") + erro.what();
  } catch (const std::exception& erro) {
    return erro.what();
  }
  return "";
}

// A pending card payment with its backup on disk.
TVornCliSiTefResp& AdicionarPendente(TefFixture& f, int numero, const std::string& indice,
                                     double valor, bool segundaVia = true,
                                     const std::string& operador = "",
                                     const std::string& cliente = "") {
  f.GravarBackup(numero, "CRT", std::to_string(numero), false, "55");
  auto resp = std::make_unique<TVornCliSiTefRespTXT>();
  resp->LeArquivo(f.Backup(numero));
  TVornCliSiTefArquivo& c = resp->Conteudo();
  c.GravaInformacao(3, 0, VornAnsiStr(std::to_string(static_cast<long long>(valor * 100 + 0.5))));
  c.GravaInformacao(28, 0, "1");
  c.GravaInformacao(29, 1, VornAnsiStr("via1 nsu " + std::to_string(numero)));
  if (segundaVia) {
    c.GravaInformacao(714, 0, "1");
    c.GravaInformacao(715, 1, VornAnsiStr("via2 nsu " + std::to_string(numero)));
  }
  c.GravaInformacao(30, 0, VornAnsiStr(operador));
  c.GravaInformacao(31, 0, VornAnsiStr(cliente));
  c.GravaInformacao(899, 2, VornAnsiStr(indice));
  resp->ConteudoToProperty();
  resp->SetTipoGP(gpTefDisc);
  resp->SetArqBackup(f.Backup(numero));
  TVornCliSiTefResp& ref = *resp;
  f.tef.RespostasPendentes().Add(std::move(resp));
  return ref;
}

TEST(ECF, CommandsThatAreNotHandledOrFailRaiseTheirMessages) {
  struct Caso {
    const char* nome;
    int retorno;
    std::function<void(TVornCliSiTef&)> comando;
    std::string mensagem;
  };
  const auto comanda = [](TVornCliSiTef& t) { t.ComandarECF(opeAbreGerencial); };
  const auto pagamento = [](TVornCliSiTef& t) { t.ECFPagamento("02", 1.5); };
  const auto vinculado = [](TVornCliSiTef& t) { t.ECFAbreVinculado("1", "02", 1.5); };
  const auto via = [](TVornCliSiTef& t) { t.ECFImprimeVia(trGerencial, 1, {}); };
  const auto subtotal = [](TVornCliSiTef& t) {
    t.OnComandaECFSubtotaliza = [](Currency, int&) {};
    t.ECFSubtotaliza(0);
  };
  const Caso casos[] = {
      {"ComandarECF -1", -1, comanda,
       "ECF: Operação [opeAbreGerencial] não tratada em \"OnComandaECF\""},
      {"ComandarECF 0", 0, comanda, "ECF: Erro ao imprimir comprovante \"TEF\""},
      {"ECFPagamento -1", -1, pagamento, "ECF: \"OnComandaECFPagamento\" não tratada"},
      {"ECFPagamento 0", 0, pagamento, "ECF: Erro ao executar \"OnComandaECFPagamento\""},
      {"ECFAbreVinculado -1", -1, vinculado, "ECF: \"OnComandaECFAbreVinculado\" não tratado"},
      {"ECFAbreVinculado 0", 0, vinculado, "ECF: Erro ao executar \"OnComandaECFAbreVinculado\""},
      {"ECFImprimeVia -1", -1, via, "ECF: \"OnComandaECFImprimeVia\" não tratado"},
      {"ECFImprimeVia 0", 0, via, "ECF: Erro ao executar \"OnComandaECFImprimeVia\""},
      {"ECFSubtotaliza left at -1", 1, subtotal, "ECF: \"OnComandaECFSubtotaliza\" não tratada"},
      {"ECFPagamento without its event", 1,
       [](TVornCliSiTef& t) {
         t.OnComandaECFPagamento = nullptr;
         t.ECFPagamento("02", 1.5);
       },
       "ECF: \"OnComandaECFPagamento\" não tratada"},
  };
  for (const Caso& caso : casos) {
    TefFixture f;
    f.tef.SetGPAtual(gpTefDisc);
    f.host.retornoECF[opeAbreGerencial] = caso.retorno;
    f.host.retornoPagamento = caso.retorno;
    f.host.retornoAbreVinculado = caso.retorno;
    f.host.retornoImprimeVia = {caso.retorno};
    EXPECT_EQ(MensagemDe([&] { caso.comando(f.tef); }), caso.mensagem) << caso.nome;
  }
}

TEST(ECF, SubtotalWithoutItsEventGoesThroughTheGenericCommand) {
  TefFixture f;
  f.tef.SetGPAtual(gpTefDisc);
  EXPECT_EQ(f.tef.ECFSubtotaliza(1.0), 0);
  f.tef.OnComandaECFSubtotaliza = [](Currency, int& r) { r = 5; };
  EXPECT_EQ(f.tef.ECFSubtotaliza(1.0), 5);
  EXPECT_EQ(f.host.Com("ComandaECF"),
            (std::vector<std::string>{"ComandaECF(opeSubTotalizaCupom)",
                                      "ComandaECF(opeImprimePagamentos)"}));
}

TEST(ECF, PrinterStateIsTheUpperCasedFirstLetter) {
  const std::string longa =
      "ECF: Retorno de \"OnInfoEcf( ineEstadoECF, Retorno )\" deve ser:\r\n\"L\" = Livre\r\n\"V\" "
      "= "
      "Venda de Itens\r\n\"P\" - Pagamento (ou SubTotal efetuado)\r\n\"C\" ou \"R\" - CDC ou Cupom "
      "Vinculado\r\n\"G\" ou \"R\" - Relatório Gerencial\r\n\"N\" - Recebimento Não "
      "Fiscal\r\n\"O\" - "
      "Outro";
  const std::pair<const char*, std::string> casos[] = {
      {"livre", "L"}, {"p", "P"}, {"", longa}, {"X", longa}};
  for (const auto& [resposta, esperado] : casos) {
    TefFixture f;
    f.tef.SetGPAtual(gpTefDisc);
    f.host.infoECF[ineEstadoECF] = {resposta};
    std::string obtido;
    const std::string erro = MensagemDe([&] { obtido = std::string(1, f.tef.EstadoECF()); });
    EXPECT_EQ(erro.empty() ? obtido : erro, esperado) << resposta;
  }
}

TEST(ECF, NumericAnswersAreConvertedOrRefused) {
  struct Caso {
    const char* resposta;
    int padrao;
    std::string esperado;
  };
  const Caso casos[] = {
      {"12,5", TVornCliSiTef::kInfoECFSemValor, "12.5"},
      {"12.5", TVornCliSiTef::kInfoECFSemValor, "12.5"},
      {"3,456", TVornCliSiTef::kInfoECFSemValor, "3.46"},
      {"abc", 0, "0"},
      {"abc", TVornCliSiTef::kInfoECFSemValor,
       "Erro na conversão do Valor Retornado de: OnInfoECF( ineSubTotal)"},
  };
  for (const Caso& caso : casos) {
    TefFixture f;
    f.tef.SetGPAtual(gpTefDisc);
    f.host.infoECF[ineSubTotal] = {caso.resposta};
    std::string obtido;
    const std::string erro = MensagemDe([&] {
      std::ostringstream texto;
      texto << f.tef.InfoECFAsDouble(ineSubTotal, caso.padrao);
      obtido = texto.str();
    });
    EXPECT_EQ(erro.empty() ? obtido : erro, caso.esperado) << caso.resposta;
  }
}

TEST(ECF, AnErrorOfTheQueryHandlerBecomesAPrinterError) {
  TefFixture f;
  f.tef.SetGPAtual(gpTefDisc);
  f.tef.OnInfoECF = [](TVornCliSiTefInfoECF, std::string&) { throw Exception("porta fechada"); };
  EXPECT_EQ(MensagemDe([&] { f.tef.InfoECFAsString(ineTotalAPagar); }), "ECF: porta fechada");
  EXPECT_NE(f.Trace().find(" - Teste   Erro: porta fechada\r\n"), std::string::npos);
}

TEST(Impressao, GroupsKeepTheFirstAppearanceOrderWithinAPaymentOrder) {
  TefFixture f;
  const std::tuple<const char*, int, double> respostas[] = {
      {"02", 3, 10}, {"03", 0, 5}, {"02", 3, 1}, {"04", 1, 2}, {"05", 0, 7}};
  int numero = 0;
  for (const auto& [indice, ordem, valor] : respostas) {
    AdicionarPendente(f, ++numero, indice, valor).SetOrdemPagamento(ordem);
  }
  std::vector<std::string> grupos;
  for (const auto& g : f.tef.AgruparRespostasPendentes()) {
    grupos.push_back(g.IndiceFPG_ECF + "/" + std::to_string(g.OrdemPagamento) + "/" +
                     FormatarValor(g.Total));
  }
  EXPECT_EQ(grupos,
            (std::vector<std::string>{"03/0/5,00", "05/0/7,00", "04/1/2,00", "02/3/11,00"}));
}

TEST(Impressao, CopiesFollowTheReceiptsPresent) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  AdicionarPendente(f, 1, "02", 10, false).ImagemComprovante2aVia().clear();
  TVornCliSiTefResp& semVia = AdicionarPendente(f, 2, "02", 5, false, "Op", "Cli");
  semVia.ImagemComprovante1aVia().clear();
  f.tef.ImprimirTransacoesPendentes();
  EXPECT_EQ(f.host.Com("ImprimeVia"),
            std::vector<std::string>{"ImprimeVia(trVinculado,1) via1 nsu 1"});
  EXPECT_EQ(f.host.Com("ExibeMsg(opmOK)"),
            std::vector<std::string>{"ExibeMsg(opmOK) Op\r\n\r\nCli"});
}

TEST(Impressao, TextsShownWhilePrintingStayUpFourSecondsThenGo) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  AdicionarPendente(f, 1, "02", 10, true, "Retire o cartao", "Obrigado");
  const TDateTime antes = Now();
  f.tef.ImprimirTransacoesPendentes();
  EXPECT_GT((Now() - antes) * 86400.0, 4.0);
  std::vector<std::string> mensagens;
  for (const std::string& c : f.host.chamadas) {
    if (c.rfind("ExibeMsg", 0) == 0 || c.rfind("ImprimeVia", 0) == 0) {
      mensagens.push_back(c);
    }
  }
  EXPECT_EQ(mensagens,
            (std::vector<std::string>{
                "ExibeMsg(opmExibirMsgOperador) Retire o cartao",
                "ExibeMsg(opmExibirMsgCliente) Obrigado", "ImprimeVia(trVinculado,1) via1 nsu 1",
                "ImprimeVia(trVinculado,2) via2 nsu 1", "ExibeMsg(opmRemoverMsgOperador) ",
                "ExibeMsg(opmRemoverMsgCliente) "}));
}

TEST(Impressao, AFailedPrintAnsweredNoCancelsTheCouponAndUndoesEverything) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  AdicionarPendente(f, 1, "02", 10);
  AdicionarPendente(f, 2, "02", 20);
  f.host.retornoImprimeVia = {0};
  f.host.respostasYesNo = {0};
  f.tef.ImprimirTransacoesPendentes();
  EXPECT_EQ(f.host.Com("ComandaECF"), std::vector<std::string>{"ComandaECF(opeCancelaCupom)"});
  EXPECT_EQ(f.host.Com("ExibeMsg(opmYesNo)"),
            std::vector<std::string>{
                "ExibeMsg(opmYesNo) Impressora não responde\r\nDeseja imprimir novamente ?"});
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"NCN 2", "NCN 1"}));
  EXPECT_EQ(f.host.depoisConfirmar, 0);
  EXPECT_EQ(f.host.depoisCancelar, 1);
  EXPECT_EQ(f.tef.RespostasPendentes().Count(), 0);
}

TEST(Impressao, TheSecondAttemptPrintsEverythingAsOneNonFiscalReport) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  AdicionarPendente(f, 1, "02", 10);
  AdicionarPendente(f, 2, "02", 20);
  f.host.retornoImprimeVia = {1, 0};
  f.host.respostasYesNo = {6};
  f.tef.ImprimirTransacoesPendentes();
  std::vector<std::string> segunda;
  bool depoisDaPergunta = false;
  for (const std::string& c : f.host.chamadas) {
    if (depoisDaPergunta && c.rfind("DepoisConfirmar", 0) != 0) {
      segunda.push_back(c);
    }
    depoisDaPergunta = depoisDaPergunta || c.rfind("ExibeMsg(opmYesNo)", 0) == 0;
  }
  EXPECT_EQ(segunda, (std::vector<std::string>{
                         "ComandaECF(opeAbreGerencial)", "ImprimeVia(trGerencial,1) via1 nsu 1",
                         "ComandaECF(opePulaLinhas)", "ExibeMsg(opmDestaqueVia) Destaque a 1ª Via",
                         "ImprimeVia(trGerencial,2) via2 nsu 1", "ComandaECF(opePulaLinhas)",
                         "ExibeMsg(opmDestaqueVia) Destaque a 2ª Via",
                         "ImprimeVia(trGerencial,1) via1 nsu 2", "ComandaECF(opePulaLinhas)",
                         "ExibeMsg(opmDestaqueVia) Destaque a 1ª Via",
                         "ImprimeVia(trGerencial,2) via2 nsu 2", "ComandaECF(opeFechaGerencial)"}));
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"CNF 1", "CNF 2"}));
  EXPECT_EQ(f.host.depoisConfirmar, 1);
}

TEST(Impressao, ClosingACouponInPaymentRegistersThePaymentGroups) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  AdicionarPendente(f, 1, "02", 10);
  AdicionarPendente(f, 2, "03", 20);
  f.host.infoECF[ineEstadoECF] = {"P", "L"};
  f.host.infoECF[ineSubTotal] = {"30,00"};
  f.host.infoECF[ineTotalAPagar] = {"0"};
  f.tef.FinalizarCupom(false);
  EXPECT_EQ(f.host.Com("Pagamento"),
            (std::vector<std::string>{"Pagamento(02,10,00)", "Pagamento(03,20,00)"}));
  EXPECT_EQ(f.tef.RespostasPendentes()[0].OrdemPagamento(), 1);
  EXPECT_EQ(f.tef.RespostasPendentes()[1].OrdemPagamento(), 2);
  EXPECT_NE(f.Trace().find(" - FinalizarCupom\r\n"), std::string::npos);
}

TEST(Impressao, APrinterInNonFiscalStateIsTriedAsSellingThenPaying) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  AdicionarPendente(f, 1, "02", 10);
  f.host.infoECF[ineEstadoECF] = {"N", "N", "L"};
  f.host.infoECF[ineSubTotal] = {"10,00", "0"};
  f.tef.FinalizarCupom(true);
  // N taken as V: subtotal; N again taken as P: payments registered, and with
  // nothing left to pay the coupon is closed.
  EXPECT_EQ(f.host.Com("ComandaECF"), (std::vector<std::string>{"ComandaECF(opeSubTotalizaCupom)",
                                                                "ComandaECF(opeFechaCupom)"}));
  EXPECT_EQ(f.host.Com("Pagamento"), std::vector<std::string>{"Pagamento(02,10,00)"});
}

}  // namespace
