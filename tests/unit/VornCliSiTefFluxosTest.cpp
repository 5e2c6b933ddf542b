// Operation flows and multi-card accounting, run against the fake manager.

#include <gtest/gtest.h>

#include "TefTestSupport.h"
#include "tef/VornCliSiTefTef.h"

namespace {

std::string MensagemDe(const std::function<void()>& acao) {
  try {
    acao();
  } catch (const std::exception& erro) {
    return erro.what();
  }
  return "";
}

std::unique_ptr<TVornCliSiTefResp> Pendente(double valor, const std::string& nsu) {
  auto resp = std::make_unique<TVornCliSiTefRespTXT>();
  resp->Conteudo().GravaInformacao(0, 0, "CRT");
  resp->Conteudo().GravaInformacao(12, 0, VornAnsiStr(nsu));
  resp->Conteudo().GravaInformacao(899, 2, "02");
  resp->Conteudo().GravaInformacao(
      3, 0, VornAnsiStr(std::to_string(static_cast<long long>(valor * 100 + 0.5))));
  resp->ConteudoToProperty();
  resp->SetTipoGP(gpTefDisc);
  return resp;
}

RespostaGerenciador Recusa(const RequisicaoRecebida& r) {
  RespostaGerenciador resposta = FakeManager::Aprova(r);
  if (r.header == "CRT") {
    resposta.resposta = {{"009-000", "05"}, {"030-000", "Transação negada"}};
  }
  return resposta;
}

TEST(Fluxos, PaymentChecksRoundAndLimitTheAmount) {
  struct Caso {
    const char* nome;
    double valor;
    double troco;
    int maximo;
    int pendentes;
    bool arquivos;  // the file-exchange binding instead of CliSiTef
    std::string mensagem;
  };
  const Caso casos[] = {
      {"0.004 rounds to zero", 0.004, 0, 0, 0, false, "Valor inválido"},
      {"0.005 rounds half to even", 0.005, 0, 0, 0, false, "Valor inválido"},
      {"0.006 is one cent", 0.006, 0, 0, 0, false, ""},
      {"change at the limit", 60.00, 10, 0, 0, false, ""},
      {"change above the limit", 60.01, 10, 0, 0, false,
       "Operação TEF permite Troco Máximo de R$ 10,00"},
      {"card limit reached", 10, 0, 2, 2, false, "Multiplos Cartões Limitado a 2 operações."},
      {"last card must settle (file exchange)", 10, 0, 2, 1, true,
       "Multiplos Cartões Limitado a 2 operações.\r\nEsta Operação TEF deve ser igual ao Saldo a "
       "Pagar"},
      {"last card rule not for CliSiTef", 10, 0, 2, 1, false, ""},
  };
  for (const Caso& caso : casos) {
    TefFixture f;
    f.tef.TrocoMaximo = caso.troco;
    f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(5000);
    if (caso.maximo > 0) {
      f.tef.SetMultiplosCartoes(true);
      f.tef.SetNumeroMaximoCartoes(caso.maximo);
    }
    for (int i = 0; i < caso.pendentes; ++i) {
      f.tef.RespostasPendentes().Add(Pendente(0, ""));
    }
    TVornCliSiTefClass& binding =
        caso.arquivos ? static_cast<TVornCliSiTefClass&>(*f.binding) : f.tef.TEFCliSiTef();
    EXPECT_EQ(
        MensagemDe([&] { binding.VerificarTransacaoPagamento(Currency::FromDouble(caso.valor)); }),
        caso.mensagem)
        << caso.nome;
  }
  TefFixture f;
  f.tef.TEFCliSiTef().VerificarTransacaoPagamento(Currency::FromDouble(0.006));
  EXPECT_EQ(f.tef.RespostasPendentes().fSaldoAPagar, Currency::FromCents(1));
}

TEST(Fluxos, CardCountIsNotCheckedWithoutMultipleCards) {
  TefFixture f;
  f.tef.SetNumeroMaximoCartoes(1);
  f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(5000);
  f.tef.RespostasPendentes().Add(Pendente(0, ""));
  EXPECT_NO_THROW(f.binding->VerificarTransacaoPagamento(Currency::FromCents(100)));
}

TEST(Fluxos, NCNShowsItsNotice) {
  struct Caso {
    const char* nome;
    std::string rede, nsu;
    double valor;
    std::string aviso;
  };
  const Caso casos[] = {
      {"nothing known", "", "", 0, "Última Transação TEF foi cancelada"},
      {"all known", "REDE", "123", 12.5,
       "Última Transação TEF foi cancelada\r\n\r\nRede: REDE\r\nNSU: 123\r\nValor: 12,50"},
  };
  for (const Caso& caso : casos) {
    TefFixture f;
    f.tef.Inicializar(gpTefDisc);
    f.tef.NCN(caso.rede, caso.nsu, "", caso.valor, "");
    EXPECT_EQ(f.host.Com("ExibeMsg(opmOK)"),
              std::vector<std::string>{"ExibeMsg(opmOK) " + caso.aviso})
        << caso.nome;
  }
}

TEST(Fluxos, AnApprovedPaymentThatSettlesTheSaleIsPrintedAndConfirmed) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(2000);
  EXPECT_TRUE(f.tef.CRT(20.00, "02", "4711"));
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"CRT", "CNF 777"}));
  EXPECT_EQ(f.host.Com("AbreVinculado"), std::vector<std::string>{"AbreVinculado(4711,02,20,00)"});
  EXPECT_EQ(f.host.Com("ImprimeVia"),
            (std::vector<std::string>{"ImprimeVia(trVinculado,1) VIA UNICA",
                                      "ImprimeVia(trVinculado,2) VIA UNICA"}));
  EXPECT_EQ(f.host.Com("ComandaECF"), std::vector<std::string>{"ComandaECF(opeFechaVinculado)"});
  EXPECT_EQ(f.host.nsusConfirmados, std::vector<std::string>{"777"});
  EXPECT_EQ(f.tef.RespostasPendentes().Count(), 0);
  EXPECT_FALSE(platform::Current().FileExists(f.Backup(1)));
  const std::string trace = f.Trace();
  EXPECT_NE(trace.find(" - Teste ProcessarRespostaPagamento: CRT - "), std::string::npos);
  EXPECT_NE(trace.find(" Indice: 02 Valor:20,00\r\n"), std::string::npos);
  EXPECT_NE(trace.find(" - Teste CopiarResposta: CRT - "), std::string::npos);
  EXPECT_NE(trace.find(" - ConfirmarTransacoesPendentes\r\n"), std::string::npos);
}

TEST(Fluxos, ADeclinedPaymentThatWouldSettleAsksToContinueOnlyWhenOthersArePending) {
  struct Caso {
    const char* nome;
    bool outraPendente;
    int resposta;
    std::vector<std::string> esperado;
  };
  const Caso casos[] = {
      {"first payment declined", false, 0, {}},
      {"declined, operator stops",
       true,
       0,
       {"ExibeMsg(opmYesNo) Gostaria de continuar a transação com outra(s) forma(s) de pagamento ?",
        "ComandaECF(opeCancelaCupom)", "DepoisCancelar(1)"}},
      {"declined, operator continues",
       true,
       6,
       {"ExibeMsg(opmYesNo) Gostaria de continuar a transação com outra(s) forma(s) de pagamento "
        "?"}},
  };
  for (const Caso& caso : casos) {
    TefFixture f(Recusa);
    f.tef.Inicializar(gpTefDisc);
    f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(3000);
    if (caso.outraPendente) {
      f.tef.RespostasPendentes().Add(Pendente(10, "1"));
    }
    f.host.respostasYesNo = {caso.resposta};
    EXPECT_FALSE(f.tef.CRT(20.00, "02")) << caso.nome;
    std::vector<std::string> vistas;
    for (const std::string& chamada : f.host.chamadas) {
      if (chamada.rfind("ExibeMsg(opmYesNo)", 0) == 0 || chamada.rfind("ComandaECF", 0) == 0 ||
          chamada.rfind("DepoisCancelar", 0) == 0) {
        vistas.push_back(chamada);
      }
    }
    EXPECT_EQ(vistas, caso.esperado) << caso.nome;
    EXPECT_EQ(f.host.Com("ExibeMsg(opmOK) Transação negada").size(), 1u) << caso.nome;
  }
}

TEST(Fluxos, AutomaticRegistrationGivesThePaymentOrder) {
  struct Caso {
    const char* nome;
    bool cheque;
    bool chequeEmGerencial;
    int ordem;
  };
  const Caso casos[] = {
      {"card", false, false, 2},
      {"cheque in a non-fiscal report", true, true, 999},
      {"cheque", true, false, 2},
  };
  for (const Caso& caso : casos) {
    TefFixture f;
    f.tef.Inicializar(gpTefDisc);
    f.tef.SetAutoEfetuarPagamento(true);
    f.tef.SetAutoFinalizarCupom(false);
    f.tef.CHQEmGerencial = caso.chequeEmGerencial;
    f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(1000);
    if (caso.cheque) {
      f.tef.CHQ(10.00, "03", "", "", ' ', "", 0, "", "", "", "", "", "", "", "");
    } else {
      f.tef.CRT(10.00, "02");
    }
    ASSERT_EQ(f.tef.RespostasPendentes().Count(), 1) << caso.nome;
    EXPECT_EQ(f.tef.RespostasPendentes()[0].OrdemPagamento(), caso.ordem) << caso.nome;
    EXPECT_EQ(f.host.Com("Pagamento").size(), 1u) << caso.nome;
    EXPECT_EQ(f.tef.RespostasPendentes().fSaldoAPagar, Currency()) << caso.nome;
  }
}

TEST(Fluxos, AFailedRegistrationThatIsNotRetriedUndoesThePayment) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.tef.SetAutoEfetuarPagamento(true);
  f.host.retornoPagamento = 0;
  f.host.respostasYesNo = {6, 0};
  f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(1000);
  EXPECT_TRUE(f.tef.CRT(10.00, "02"));
  EXPECT_EQ(f.host.Com("Pagamento").size(), 2u);
  EXPECT_EQ(f.host.Com("ComandaECF"), std::vector<std::string>{"ComandaECF(opeCancelaCupom)"});
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"CRT", "NCN 777"}));
  EXPECT_EQ(f.host.depoisCancelar, 1);
  EXPECT_EQ(f.tef.RespostasPendentes().Count(), 0);
  EXPECT_FALSE(platform::Current().FileExists(f.Backup(1)));
}

TEST(Fluxos, ApprovedPaymentWithoutEventForRegistrationIsRefusedClearly) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.tef.SetAutoEfetuarPagamento(true);
  f.tef.OnComandaECFPagamento = nullptr;
  f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(1000);
  f.tef.CRT(10.00, "02");
  EXPECT_NE(f.Trace().find("Teste \"OnComandaECFPagamento\" não tratada"), std::string::npos);
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"CRT", "NCN 777"}));
}

TEST(Fluxos, TwoCardsPayOneSaleWithOneLinkedReceipt) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.tef.SetMultiplosCartoes(true);
  f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(3000);
  EXPECT_TRUE(f.tef.CRT(10.00, "02", "99"));
  EXPECT_EQ(f.tef.RespostasPendentes().Count(), 1);
  EXPECT_TRUE(platform::Current().FileExists(f.Backup(1)));
  EXPECT_TRUE(f.tef.CRT(20.00, "02", "99"));
  // The first payment is confirmed before the second starts; each once.
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"CRT", "CNF 777", "CRT", "CNF 777"}));
  EXPECT_EQ(f.host.Com("AbreVinculado"), std::vector<std::string>{"AbreVinculado(99,02,30,00)"});
  EXPECT_EQ(f.host.Com("ImprimeVia").size(), 4u);
  EXPECT_EQ(f.host.Com("ComandaECF"), std::vector<std::string>{"ComandaECF(opeFechaVinculado)"});
  EXPECT_EQ(f.host.nsusConfirmados.size(), 2u);
  EXPECT_FALSE(platform::Current().FileExists(f.Backup(1)));
  EXPECT_FALSE(platform::Current().FileExists(f.Backup(2)));
}

TEST(Fluxos, AdministrativeReceiptIsPrintedAsAReportAndItsBackupConfirmed) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  EXPECT_TRUE(f.tef.ADM());
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"ADM", "CNF 777"}));
  EXPECT_EQ(f.host.Com("ComandaECF"),
            (std::vector<std::string>{"ComandaECF(opeAbreGerencial)", "ComandaECF(opePulaLinhas)",
                                      "ComandaECF(opeFechaGerencial)"}));
  EXPECT_EQ(f.host.Com("ExibeMsg(opmDestaqueVia)"),
            std::vector<std::string>{"ExibeMsg(opmDestaqueVia) Destaque a 2ª Via"});
  EXPECT_EQ(f.host.Com("ImprimeVia"),
            (std::vector<std::string>{"ImprimeVia(trGerencial,1) VIA UNICA",
                                      "ImprimeVia(trGerencial,2) VIA UNICA"}));
  EXPECT_EQ(f.host.depoisConfirmar, 1);
  EXPECT_FALSE(platform::Current().FileExists(f.Backup(1)));
}

TEST(Fluxos, AFailedReportIsUndoneAndReported) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.host.retornoImprimeVia = {0};
  EXPECT_EQ(MensagemDe([&] { f.tef.ADM(); }), "Impressão de Relatório Falhou");
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"ADM", "NCN 777"}));
  EXPECT_FALSE(platform::Current().FileExists(f.Backup(1)));
}

TEST(Fluxos, AReportBackupWhoseConfirmationKeepsFailingStaysForTheNextStart) {
  TefFixture f([](const RequisicaoRecebida& r) {
    RespostaGerenciador resposta = FakeManager::Aprova(r);
    resposta.responderSTS = r.header != "CNF";
    return resposta;
  });
  f.binding->SetEsperaSTS(5);  // unanswered requests time out sooner
  f.tef.Inicializar(gpTefDisc);
  EXPECT_TRUE(f.tef.ADM());
  EXPECT_EQ(f.manager->Operacoes(),
            (std::vector<std::string>{"ADM", "CNF 777", "CNF 777", "CNF 777"}));
  EXPECT_TRUE(platform::Current().FileExists(f.Backup(1)));
  EXPECT_NE(
      f.Trace().find("Teste ImprimirRelatorio: " + f.Backup(1) +
                     " deixado para depois (não enviado): O gerenciador padrão Teste não está "
                     "ativo !"),
      std::string::npos);
}

}  // namespace
