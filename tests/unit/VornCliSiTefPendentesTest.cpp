// Backups of approved transactions, undoing and confirming what is pending.
// What a crash leaves behind: VornCliSiTefPendentesCrashTest.cpp.

#include <gtest/gtest.h>

#include "TefTestSupport.h"

namespace {

bool Existe(const std::string& arquivo) {
  return platform::Current().FileExists(arquivo);
}

void Tocar(const std::string& arquivo) {
  platform::Current().WriteFile(arquivo, "", false);
}

// Acknowledges everything; a CNC is approved without receipt lines.
RespostaGerenciador AprovaSemComprovante(const RequisicaoRecebida& r) {
  RespostaGerenciador resposta;
  if (r.header == "CNC") {
    resposta.resposta = {{"009-000", "0"}};
  }
  return resposta;
}

TEST(Pendentes, TheNextBackupTakesTheSmallestFreeNumber) {
  TefFixture f;
  f.tef.SetGPAtual(gpTefDisc);
  platform::Current().ForceDirectories(f.dir.Path() + "TEF");
  Tocar(f.Backup(1));
  Tocar(f.Backup(3));
  f.binding->Resp().Conteudo().GravaInformacao(0, 0, "CRT");
  EXPECT_EQ(f.binding->CopiarResposta(), f.Backup(2));
  EXPECT_EQ(f.binding->Resp().ArqBackup(), f.Backup(2));
  TVornCliSiTefRespTXT lido;
  lido.LeArquivo(f.Backup(2));
  EXPECT_EQ(lido.Header(), "CRT");
  std::vector<std::string> nomes;
  FindFiles(f.dir.Path() + "TEF/*", nomes, false);
  EXPECT_EQ(nomes.size(), 3u) << "no temporary file is left";
}

// A disk that takes the bytes but cannot make them durable.
class FlushFailsPlatform : public TestClockPlatform {
 public:
  bool FlushFileToDisk(const std::string&) const override { return false; }
};

TEST(Pendentes, ABackupThatCannotBeForcedToDiskIsNotKept) {
  TefFixture f;
  // No manager thread may be using the platform that is swapped here.
  f.manager.reset();
  FlushFailsPlatform os;  // in place of the fixture's platform
  f.tef.SetGPAtual(gpTefDisc);
  platform::Current().ForceDirectories(f.dir.Path() + "TEF");
  f.binding->Resp().Conteudo().GravaInformacao(0, 0, "CRT");
  EXPECT_THROW(f.binding->CopiarResposta(), EVornCliSiTefArquivo);
  std::vector<std::string> nomes;
  FindFiles(f.dir.Path() + "TEF/*", nomes, false);
  EXPECT_EQ(nomes, std::vector<std::string>{}) << "neither the backup nor its temporary file";
}

TEST(Pendentes, With999BackupsAPaymentStopsWithAClearError) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  for (int numero = 1; numero <= 999; ++numero) {
    Tocar(f.Backup(numero));
  }
  f.tef.RespostasPendentes().fValorTotalAPagar = Currency::FromCents(1000);
  try {
    f.tef.CRT(10.00, "02");
    ADD_FAILURE() << "no exception";
  } catch (const EVornCliSiTefArquivo& erro) {
    EXPECT_EQ(std::string(erro.what()),
              "Limite de 999 arquivos de backup atingido em:\r\n" + f.dir.Path() +
                  "TEF\r\nConfirme ou desfaça as transações pendentes antes de continuar.");
  }
  EXPECT_EQ(f.tef.RespostasPendentes().Count(), 0);
  EXPECT_TRUE(f.host.Com("ImprimeVia").empty());
}

TEST(Pendentes, UnconfirmedAndChequesAreUndoneWithNCNBeforeConfirmedCardsWithCNC) {
  TefFixture f(AprovaSemComprovante);
  f.GravarBackup(1, "CRT", "1", true);
  f.GravarBackup(2, "CRT", "2", false);
  f.GravarBackup(3, "CHQ", "3", true);
  f.tef.Inicializar(gpTefDisc);
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"NCN 2", "CNC 1", "NCN 3"}));
  EXPECT_EQ(f.host.antesCancelar, (std::vector<std::string>{"2", "1", "3"}));
  for (int numero = 1; numero <= 3; ++numero) {
    EXPECT_FALSE(Existe(f.Backup(numero))) << numero;
  }
}

TEST(Pendentes, TwoBackupsOfOneTransactionAreUndoneOnce) {
  TefFixture f;
  f.GravarBackup(1, "CRT", "5", false);
  f.GravarBackup(2, "CRT", "5", false);
  f.tef.Inicializar(gpTefDisc);
  EXPECT_EQ(f.manager->Operacoes(), std::vector<std::string>{"NCN 5"});
  EXPECT_FALSE(Existe(f.Backup(1)));
  EXPECT_FALSE(Existe(f.Backup(2)));
}

TEST(Pendentes, StartUpConfirmationListsNSUsAndDocuments) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.GravarBackup(1, "CRT", "123", false, "10");
  f.GravarBackup(2, "CRT", "456", true, "11");
  bool confirmadaDurante = false;
  std::vector<bool> pendentes;
  f.tef.OnDepoisConfirmarTransacoes = [&](TVornCliSiTefRespostasPendentes& lista) {
    confirmadaDurante = f.tef.TransacaoConfirmada;
    for (int i = 0; i < lista.Count(); ++i) {
      pendentes.push_back(lista[i].Pendente());
    }
  };
  f.binding->ConfirmarESolicitarImpressaoTransacoesPendentes();
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"CNF 123", "CNF 456"}));
  EXPECT_EQ(pendentes, (std::vector<bool>{true, true}));
  EXPECT_TRUE(confirmadaDurante);
  EXPECT_FALSE(f.tef.TransacaoConfirmada) << "the flag covers the start-up run only";
  EXPECT_EQ(f.host.Com("ExibeMsg(opmOK)"),
            std::vector<std::string>{
                "ExibeMsg(opmOK) Transação TEF efetuada.\r\nFavor reimprimir último Cupom.\r\n"
                "NSU: 123\r\n456\r\n\r\nNº Documento: 10\r\n11\r\n\r\n"
                "(Para Cielo utilizar os 6 últimos dígitos.)"});
  EXPECT_EQ(f.tef.RespostasPendentes().Count(), 0);
  EXPECT_FALSE(Existe(f.Backup(1)));
  EXPECT_FALSE(Existe(f.Backup(2)));
}

TEST(Pendentes, StartUpConfirmationWithoutBackupsDoesNothing) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.tef.TransacaoConfirmada = true;
  f.binding->ConfirmarESolicitarImpressaoTransacoesPendentes();
  EXPECT_EQ(f.host.depoisConfirmar, 0);
  EXPECT_TRUE(f.host.Com("ExibeMsg").empty());
  EXPECT_FALSE(f.tef.TransacaoConfirmada);
}

TEST(Pendentes, CancellingOnANeverInitializedBindingOnlyDropsTheList) {
  TefFixture f;
  f.GravarBackup(1, "CRT", "1", false);
  f.tef.RespostasPendentes().Add(std::make_unique<TVornCliSiTefRespTXT>());
  f.tef.CancelarTransacoesPendentes();
  EXPECT_EQ(f.host.chamadas, std::vector<std::string>{"DepoisCancelar(1)"});
  EXPECT_EQ(f.tef.RespostasPendentes().Count(), 0);
  EXPECT_TRUE(f.manager->Recebidas().empty());
  EXPECT_TRUE(Existe(f.Backup(1)));
}

TEST(Pendentes, AnUndoThatKeepsFailingIsLeftForLaterAndTheRestGoesOn) {
  TefFixture f([](const RequisicaoRecebida& r) {
    RespostaGerenciador resposta;
    resposta.responderSTS = !(r.header == "NCN" && r.campos.at("012-000") == "1");
    return resposta;
  });
  f.binding->SetEsperaSTS(5);  // unanswered requests time out sooner
  f.GravarBackup(1, "CRT", "1", false);
  f.GravarBackup(2, "CRT", "2", false);
  f.tef.Inicializar(gpTefDisc);
  // Unconfirmed backups are taken from the back of the list to the front.
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"NCN 2", "NCN 1", "NCN 1", "NCN 1"}));
  EXPECT_TRUE(Existe(f.Backup(1)));
  EXPECT_FALSE(Existe(f.Backup(2)));
  EXPECT_NE(f.Trace().find("Teste CancelarTransacoesPendentesClass: " + f.Backup(1) +
                           " deixado para depois (não desfeito): O gerenciador padrão Teste não "
                           "está ativo !"),
            std::string::npos);
}

TEST(Pendentes, ARetriedUndoDoesNotRepeatTheStepsThatSucceeded) {
  int recusas = 2;
  TefFixture f([&](const RequisicaoRecebida& r) {
    RespostaGerenciador resposta;
    resposta.responderSTS = !(r.header == "NCN" && recusas-- > 0);
    return resposta;
  });
  f.binding->SetEsperaSTS(5);  // unanswered requests time out sooner
  f.GravarBackup(1, "CRT", "1", false);
  f.tef.Inicializar(gpTefDisc);
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"NCN 1", "NCN 1", "NCN 1"}));
  EXPECT_EQ(f.host.antesCancelar, std::vector<std::string>{"1"});
  EXPECT_FALSE(Existe(f.Backup(1)));
}

// Sound behaviour: an undo the manager took is not sent again when the
// notice that follows it fails.
TEST(Pendentes, AnUndoWhoseNoticeFailsIsSentOnce) {
  TefFixture f;
  f.GravarBackup(1, "CRT", "1", false);
  const auto exibe = f.tef.OnExibeMsg;
  f.tef.OnExibeMsg = [&](TVornCliSiTefOperacaoMensagem operacao, const std::string& mensagem,
                         int& resultado) {
    exibe(operacao, mensagem, resultado);
    if (mensagem.starts_with("Última Transação TEF foi cancelada")) {
      throw std::runtime_error("Conexão encerrada");
    }
  };
  f.tef.Inicializar(gpTefDisc);
  EXPECT_EQ(f.manager->Operacoes(), std::vector<std::string>{"NCN 1"});
  EXPECT_EQ(f.host.Com("ExibeMsg(opmOK) Última").size(), 1u);
  EXPECT_FALSE(Existe(f.Backup(1)));
}

TEST(Pendentes, AConfirmationThatKeepsFailingIsLeftForLaterAndTheRestIsConfirmed) {
  TefFixture f([](const RequisicaoRecebida& r) {
    RespostaGerenciador resposta;
    resposta.responderSTS = !(r.header == "CNF" && r.campos.at("012-000") == "1");
    return resposta;
  });
  f.binding->SetEsperaSTS(5);  // unanswered requests time out sooner
  f.tef.Inicializar(gpTefDisc);
  f.GravarBackup(1, "CRT", "1", false);
  f.GravarBackup(2, "CRT", "2", false);
  for (int numero = 1; numero <= 2; ++numero) {
    auto resp = std::make_unique<TVornCliSiTefRespTXT>();
    resp->LeArquivo(f.Backup(numero));
    resp->SetArqBackup(f.Backup(numero));
    resp->SetTipoGP(gpTefDisc);
    f.tef.RespostasPendentes().Add(std::move(resp));
  }
  f.tef.ConfirmarTransacoesPendentes();
  EXPECT_EQ(f.manager->Operacoes(), (std::vector<std::string>{"CNF 1", "CNF 1", "CNF 1", "CNF 2"}));
  EXPECT_TRUE(Existe(f.Backup(1)));
  EXPECT_FALSE(Existe(f.Backup(2)));
  EXPECT_EQ(f.host.depoisConfirmar, 1);
  EXPECT_NE(f.Trace().find("ConfirmarTransacoesPendentes: CRT NSU 1 deixada para depois (não "
                           "confirmada)"),
            std::string::npos);
}

TEST(Pendentes, AnUnreadableBackupIsSetAsideAndReportedNeverDeleted) {
  TefFixture f;
  platform::Current().ForceDirectories(f.dir.Path() + "TEF");
  platform::Current().WriteFile(f.Backup(1), "000-000 = CRT\r\n012-00", false);
  f.tef.Inicializar(gpTefDisc);
  EXPECT_FALSE(Existe(f.Backup(1)));
  EXPECT_EQ(platform::Current().ReadFile(f.Backup(1) + ".invalido").value_or(""),
            "000-000 = CRT\r\n012-00");
  EXPECT_EQ(f.host.Com("ExibeMsg(opmOK)"),
            std::vector<std::string>{"ExibeMsg(opmOK) Arquivo de backup TEF ilegível guardado "
                                     "como:\r\n" +
                                     f.Backup(1) + ".invalido"});
  EXPECT_TRUE(f.manager->Operacoes().empty());
}

TEST(Pendentes, ASetAsideBackupNeverReplacesAnEarlierOneOfTheSameNumber) {
  TefFixture f;
  platform::Platform& os = platform::Current();
  os.ForceDirectories(f.dir.Path() + "TEF");
  os.WriteFile(f.Backup(1) + ".invalido", "primeiro", false);
  os.WriteFile(f.Backup(1) + ".2.invalido", "segundo", false);
  os.WriteFile(f.Backup(1), "000-000 = CRT\r\n012-00", false);
  f.tef.Inicializar(gpTefDisc);
  EXPECT_FALSE(Existe(f.Backup(1)));
  EXPECT_EQ(os.ReadFile(f.Backup(1) + ".invalido").value_or(""), "primeiro");
  EXPECT_EQ(os.ReadFile(f.Backup(1) + ".2.invalido").value_or(""), "segundo");
  EXPECT_EQ(os.ReadFile(f.Backup(1) + ".3.invalido").value_or(""), "000-000 = CRT\r\n012-00");
  EXPECT_EQ(f.host.Com("ExibeMsg(opmOK)"),
            std::vector<std::string>{"ExibeMsg(opmOK) Arquivo de backup TEF ilegível guardado "
                                     "como:\r\n" +
                                     f.Backup(1) + ".3.invalido"});
}

}  // namespace
