// The component's properties, lifecycle and binding base class.

#include "tef/VornCliSiTef.h"

#include <gtest/gtest.h>

#include <functional>

#include "NativePath.h"
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

TEST(VornCliSiTef, NewComponentHasNoCurrentBindingUntilCliSiTefIsSelected) {
  TestClockPlatform os;
  TVornCliSiTef tef;
  EXPECT_EQ(tef.GPAtual(), gpTefDial);
  EXPECT_FALSE(tef.TemTEF());
  EXPECT_EQ(tef.About(), "VornCliSiTef Ver: 4.3.4");
  EXPECT_FALSE(tef.Inicializado(gpCliSiTef));
  EXPECT_EQ(&tef.TEF(), &tef.TEFCliSiTef());
  EXPECT_EQ(tef.TEFCliSiTef().Name(), "CliSiTef");
  EXPECT_EQ(tef.ArqReq(), "");
}

TEST(VornCliSiTef, PropertySettersKeepTheirLimits) {
  TestClockPlatform os;
  struct Caso {
    const char* nome;
    std::function<void(TVornCliSiTef&)> acao;
    std::string mensagem;
  };
  const Caso casos[] = {
      {"EsperaSleep 10", [](TVornCliSiTef& t) { t.SetEsperaSleep(10); }, ""},
      {"EsperaSleep 500", [](TVornCliSiTef& t) { t.SetEsperaSleep(500); }, ""},
      {"EsperaSleep 9", [](TVornCliSiTef& t) { t.SetEsperaSleep(9); },
       "Valor mínimo de EsperaSleep deve ser: 10"},
      {"EsperaSleep 501", [](TVornCliSiTef& t) { t.SetEsperaSleep(501); },
       "Valor máximo de EsperaSleep deve ser: 500"},
      {"EsperaSleep same value", [](TVornCliSiTef& t) { t.SetEsperaSleep(250); }, ""},
      {"MultiplosCartoes while pending", [](TVornCliSiTef& t) { t.SetMultiplosCartoes(true); },
       "Existem Respostas Pendentes. Não é possível alterar \"MultiplosCartoes\""},
      {"MultiplosCartoes same value while pending",
       [](TVornCliSiTef& t) { t.SetMultiplosCartoes(false); }, ""},
      {"AutoEfetuarPagamento while pending",
       [](TVornCliSiTef& t) { t.SetAutoEfetuarPagamento(true); },
       "Existem Respostas Pendentes. Não é possível alterar \"AutoEfetuarPagamento\""},
      {"AutoFinalizarCupom while pending", [](TVornCliSiTef& t) { t.SetAutoFinalizarCupom(false); },
       "Existem Respostas Pendentes. Não é possível alterar \"AutoFinalizarCupom\""},
  };
  for (const Caso& caso : casos) {
    TVornCliSiTef tef;
    if (std::string(caso.nome).find("pending") != std::string::npos) {
      tef.RespostasPendentes().Add(std::make_unique<TVornCliSiTefRespTXT>());
    }
    EXPECT_EQ(MensagemDe([&] { caso.acao(tef); }), caso.mensagem) << caso.nome;
  }
}

TEST(VornCliSiTef, PlainPropertyRules) {
  TestClockPlatform os;
  TVornCliSiTef tef;
  tef.SetNumeroMaximoCartoes(-3);
  EXPECT_EQ(tef.NumeroMaximoCartoes(), 0);
  EXPECT_EQ(tef.PathBackup(), NativePath("/opt/gateway/TEF"));
  tef.SetPathBackup(NativePath("  /var/backup/  "));
  EXPECT_EQ(tef.PathBackup(), NativePath("/var/backup"));
}

TEST(VornCliSiTef, NumViasAndEsperaSTSFollowOnlyFileExchangeBindingsThatKeptTheOldValue) {
  TefFixture f;
  f.tef.SetNumVias(3);
  f.tef.SetEsperaSTS(60);
  EXPECT_EQ(f.binding->NumVias(), 3);
  EXPECT_EQ(f.tef.TEFCliSiTef().NumVias(), 2);
  f.binding->SetEsperaSTS(20);
  f.tef.SetEsperaSTS(30);
  EXPECT_EQ(f.binding->EsperaSTS(), 20);
  f.tef.TEFCliSiTef().SetNumVias(5);
  EXPECT_EQ(f.tef.TEFCliSiTef().NumVias(), 2);
}

TEST(VornCliSiTef, InicializarNamesTheFirstMissingEventInItsOrder) {
  TestClockPlatform os;
  TempDir dir;
  struct Caso {
    const char* nome;
    std::function<void(TVornCliSiTef&)> remove;
    std::string mensagem;
  };
  const Caso casos[] = {
      {"OnExibeMsg", [](TVornCliSiTef& t) { t.OnExibeMsg = nullptr; },
       "Evento \"OnExibeMsg\" não programado"},
      {"OnComandaECF", [](TVornCliSiTef& t) { t.OnComandaECF = nullptr; },
       "Evento \"OnComandaECF\" não programado"},
      {"OnComandaImpressao and later ones",
       [](TVornCliSiTef& t) {
         t.OnComandaImpressao = nullptr;
         t.OnInfoECF = nullptr;
       },
       "Evento \"OnComandaImpressão\" não programado"},
      {"OnComandaECFAbreVinculado", [](TVornCliSiTef& t) { t.OnComandaECFAbreVinculado = nullptr; },
       "Evento \"OnComandaECFAbreVinculado\" não programado"},
      {"OnComandaECFImprimeVia", [](TVornCliSiTef& t) { t.OnComandaECFImprimeVia = nullptr; },
       "Evento \"OnComandaECFImprimeVia\" não programado"},
      {"OnInfoECF", [](TVornCliSiTef& t) { t.OnInfoECF = nullptr; },
       "Evento \"OnInfoECF\" não programado"},
      {"none missing", [](TVornCliSiTef&) {}, ""},
  };
  for (const Caso& caso : casos) {
    TVornCliSiTef tef;
    ScriptedHost host;
    host.Ligar(tef);
    tef.SetPathBackup(dir.Path() + "a/b/TEF");
    caso.remove(tef);
    EXPECT_EQ(MensagemDe([&] { tef.Inicializar(); }), caso.mensagem) << caso.nome;
  }
  EXPECT_TRUE(platform::Current().DirectoryExists(dir.Path() + "a/b/TEF"));
}

TEST(VornCliSiTef, InicializarWithoutKindInitializesNothingOnANewComponent) {
  TestClockPlatform os;
  TempDir dir;
  TVornCliSiTef tef;
  ScriptedHost host;
  host.Ligar(tef);
  tef.SetPathBackup(dir.Path() + "TEF");
  tef.Inicializar();
  EXPECT_FALSE(tef.TEFCliSiTef().Inicializado());
  EXPECT_FALSE(tef.TEFCliSiTef().Habilitado());
}

TEST(VornCliSiTef, AFailingBindingInitializationIsReportedGenericallyAndLeavesNothingInitialized) {
  TefFixture f([](const RequisicaoRecebida&) {
    RespostaGerenciador silencio;
    silencio.responderSTS = false;
    return silencio;
  });
  f.binding->SetEsperaSTS(1);
  f.binding->SetAutoAtivarGP(true);
  EXPECT_EQ(MensagemDe([&] { f.tef.Inicializar(gpTefDisc); }), "Erro ao conectar com servidor TEF");
  EXPECT_FALSE(f.binding->Inicializado());
  EXPECT_FALSE(f.binding->Habilitado());
  EXPECT_NE(f.Trace().find("Nome do executável do Gerenciador Padrão não definido"),
            std::string::npos);
}

TEST(VornCliSiTef, DoExibeMsgLogsAndReturnsTheHandlersAnswer) {
  TefFixture f;
  f.tef.SetGPAtual(gpTefDisc);
  f.host.respostasYesNo = {7, 6};
  EXPECT_EQ(f.tef.DoExibeMsg(opmYesNo, "Pergunta?"), 7);
  EXPECT_EQ(f.tef.DoExibeMsg(opmYesNo, "Pergunta?"), 6);
  EXPECT_NE(f.Trace().find(" - Teste DoExibeMsg: Oper: opmYesNo Mensagem: Pergunta?\r\n"),
            std::string::npos);
}

TEST(VornCliSiTefClass, OnlyTheComponentMayOwnABinding) {
  TestClockPlatform os;
  TComponent outro(nullptr);
  EXPECT_EQ(MensagemDe([&] { TVornCliSiTefCliSiTef binding(&outro); }),
            "TVornCliSiTefClass deve ser criado por TVornCliSiTef");
}

TEST(VornCliSiTefClass, TransacaoEPagamentoOnlyForPayments) {
  const std::pair<const char*, bool> casos[] = {{"CRT", true},  {"CHQ", true},  {"ATV", false},
                                                {"ADM", false}, {"CNC", false}, {"CNF", false},
                                                {"NCN", false}, {"", false}};
  for (const auto& [header, esperado] : casos) {
    EXPECT_EQ(TVornCliSiTefClass::TransacaoEPagamento(header), esperado) << header;
  }
}

TEST(VornCliSiTefClass, CriarRespostaForCliSiTefKeepsOnlyTheContent) {
  TVornCliSiTefRespTXT mapeada;
  mapeada.Conteudo().GravaInformacao(12, 0, "123");
  mapeada.ConteudoToProperty();
  ASSERT_EQ(mapeada.NSU(), "123");
  auto copia = TVornCliSiTefClass::CriarResposta(gpCliSiTef);
  copia->Assign(mapeada);
  EXPECT_EQ(copia->Conteudo().Linhas(), mapeada.Conteudo().Linhas());
  EXPECT_EQ(copia->NSU(), "");
  EXPECT_NE(dynamic_cast<TVornCliSiTefRespTXT*>(TVornCliSiTefClass::CriarResposta(gpTefDisc).get()),
            nullptr);
}

TEST(VornCliSiTefClass, InicializarTwiceDoesNothingTheSecondTimeAndALogInAMissingFolderIsHarmless) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  const auto recebidas = f.manager->Recebidas().size();
  const std::string trace = f.Trace();
  f.binding->Inicializar();
  EXPECT_EQ(f.manager->Recebidas().size(), recebidas);
  EXPECT_EQ(f.Trace(), trace);
  EXPECT_NE(trace.find(" - Teste Inicializado\r\n"), std::string::npos);

  f.binding->SetArqLOG(f.dir.Path() + "nao/existe/tef.log");
  f.binding->ATV();
  EXPECT_FALSE(platform::Current().FileExists(f.dir.Path() + "nao/existe/tef.log"));
}

TEST(VornCliSiTefClass, VerificaInicializadoNamesTheBinding) {
  TefFixture f;
  EXPECT_EQ(MensagemDe([&] { f.binding->ATV(); }),
            "Gerenciador Padrão: Teste não foi inicializado");
}

}  // namespace
