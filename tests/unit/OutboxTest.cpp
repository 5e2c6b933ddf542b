// The journal of results for the sale API and the retry schedule.

#include <gtest/gtest.h>

#include <filesystem>

#include "FakePlatform.h"
#include "api/outbox/Outbox.h"
#include "api/outbox/OutboxPolicy.h"
#include "platform/Platform.h"
#include "tef/VornCliSiTefErros.h"
#include "util/IniConfig.h"

namespace {

TRelato Relato(const std::string& chave, TEstadoRelato estado, std::int64_t criado,
               std::int32_t saleId = 42) {
  TRelato relato;
  relato.chave = chave;
  relato.criado = criado;
  relato.saleId = saleId;
  relato.estado = estado;
  relato.status = estado == TEstadoRelato::final ? "canceled" : "approved";
  return relato;
}

std::vector<std::string> Chaves(const std::vector<TRelato>& relatos) {
  std::vector<std::string> chaves;
  for (const TRelato& relato : relatos) {
    chaves.push_back(relato.chave);
  }
  return chaves;
}

bool Existe(const std::string& arquivo) {
  return platform::Current().FileExists(arquivo);
}

}  // namespace

TEST(OutboxPolicy, EachRetryWaitsTwiceAsLongUpToTheLongest) {
  struct Row {
    int primeiro, maximo, tentativas, espera;
  } rows[] = {
      {10, 1800, 1, 10},   {10, 1800, 2, 20},      {10, 1800, 3, 40}, {10, 1800, 8, 1280},
      {10, 1800, 9, 1800}, {10, 1800, 1000, 1800}, {1, 1, 5, 1},      {3, 10, 3, 10},
  };
  for (const Row& row : rows) {
    TPoliticaEntrega politica;
    politica.primeiroS = row.primeiro;
    politica.maximoS = row.maximo;
    EXPECT_EQ(EsperaAposTentativa(politica, row.tentativas), row.espera)
        << row.primeiro << "/" << row.maximo << " after attempt " << row.tentativas;
  }
}

TEST(OutboxPolicy, OnlyA4xxOtherThan408And429IsFinal) {
  struct Row {
    long status;
    TDesfechoEnvio desfecho;
  } rows[] = {
      {200, TDesfechoEnvio::aceito},   {204, TDesfechoEnvio::aceito},
      {299, TDesfechoEnvio::aceito},   {400, TDesfechoEnvio::recusado},
      {422, TDesfechoEnvio::recusado}, {499, TDesfechoEnvio::recusado},
      {408, TDesfechoEnvio::repetir},  {429, TDesfechoEnvio::repetir},
      {301, TDesfechoEnvio::repetir},  {500, TDesfechoEnvio::repetir},
      {503, TDesfechoEnvio::repetir},  {0, TDesfechoEnvio::repetir},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DesfechoDoStatus(row.status), row.desfecho) << row.status;
  }
}

TEST(OutboxPolicy, KeysFallBackToTheirDefaults) {
  TempDir dir;
  struct Row {
    const char* ini;
    int primeiro, maximo, dias, horas;
  } rows[] = {
      {"", 10, 1800, 7, 24},
      {"[callback]\nretry_first_s=1\nretry_max_s=8\nretry_days=2\njournal_hours=3\n", 1, 8, 2, 3},
      {"[callback]\nretry_first_s=0\nretry_max_s=-5\nretry_days=x\n", 10, 1800, 7, 24},
      // A longest wait below the first one is the first one.
      {"[callback]\nretry_first_s=60\nretry_max_s=30\n", 60, 60, 7, 24},
  };
  for (const Row& row : rows) {
    const std::string arquivo = dir.Path() + "gateway.ini";
    platform::Current().WriteFile(arquivo, row.ini, false);
    const TIniConfig config(arquivo);
    const TPoliticaEntrega politica = TPoliticaEntrega::Ler(config);
    EXPECT_EQ((std::vector<int>{politica.primeiroS, politica.maximoS, politica.dias,
                                politica.horasDiario}),
              (std::vector<int>{row.primeiro, row.maximo, row.dias, row.horas}))
        << row.ini;
  }
}

TEST(Outbox, AnEntryReadsBackWholeAfterAReopen) {
  TempDir dir;
  TRelato relato = Relato("K1", TEstadoRelato::pendente, 1765375629000);
  relato.endereco = "https://api/v1/sales/tef/callback/tok";
  relato.corpo = "{\"type\":\"result\",\"message\":\"Transação\"}";
  relato.resultado = "{\"type\":\"result\",\"payment_id\":77}";
  relato.pagamentos = {"a1", "b2"};
  {
    TOutbox outbox(dir.Path());
    outbox.Abrir();
    outbox.Gravar(relato);
  }
  TOutbox reaberto(dir.Path());
  EXPECT_TRUE(reaberto.Abrir().empty());
  const std::optional<TRelato> lido = reaberto.Buscar("K1");
  ASSERT_TRUE(lido);
  EXPECT_EQ(RelatoParaTexto(*lido), RelatoParaTexto(relato));
  EXPECT_EQ(reaberto.PendenteDoPagamento("b2")->chave, "K1");
  EXPECT_FALSE(reaberto.PendenteDoPagamento("c3"));
}

TEST(Outbox, OnlyAPendingReportCoversAPayment) {
  TempDir dir;
  TOutbox outbox(dir.Path());
  outbox.Abrir();
  // An earlier payment whose record was the same, settled long ago.
  TRelato antigo = Relato("antigo", TEstadoRelato::aceito, 1);
  antigo.pagamentos = {"p"};
  outbox.Gravar(antigo);
  EXPECT_FALSE(outbox.PendenteDoPagamento("p"));
  TRelato novo = Relato("novo", TEstadoRelato::pendente, 2);
  novo.pagamentos = {"p"};
  outbox.Gravar(novo);
  EXPECT_EQ(outbox.PendenteDoPagamento("p")->chave, "novo");
}

TEST(Outbox, ARejectedEntryMovesAsideAndStaysThere) {
  TempDir dir;
  TOutbox outbox(dir.Path());
  outbox.Abrir();
  TRelato relato = Relato("K1", TEstadoRelato::confirmado, 1000);
  outbox.Gravar(relato);
  relato.estado = TEstadoRelato::rejeitado;
  relato.resposta = "Code: 422 - Message: Falha";
  outbox.Gravar(relato);
  EXPECT_FALSE(Existe(dir.Path() + "K1.json"));
  EXPECT_TRUE(Existe(dir.Path() + "Rejeitados/K1.json"));
  // Pruning never drops it, however old.
  outbox.Podar(1'000'000'000'000'000);
  TOutbox reaberto(dir.Path());
  reaberto.Abrir();
  EXPECT_EQ(reaberto.Buscar("K1")->resposta, "Code: 422 - Message: Falha");
  EXPECT_EQ(Chaves(reaberto.NoEstado(TEstadoRelato::rejeitado)), std::vector<std::string>{"K1"});

  // A move that stopped before the old file went: the rejected one stands.
  platform::Current().WriteFile(dir.Path() + "K1.json",
                                RelatoParaTexto(Relato("K1", TEstadoRelato::confirmado, 1000)),
                                false);
  TOutbox depoisDaQueda(dir.Path());
  depoisDaQueda.Abrir();
  EXPECT_TRUE(depoisDaQueda.NoEstado(TEstadoRelato::confirmado).empty());
  EXPECT_FALSE(Existe(dir.Path() + "K1.json"));
}

TEST(Outbox, PruningDropsOnlyOldAcceptedAndFinalEntries) {
  TempDir dir;
  TOutbox outbox(dir.Path());
  outbox.Abrir();
  outbox.Gravar(Relato("velho-aceito", TEstadoRelato::aceito, 100));
  outbox.Gravar(Relato("velho-final", TEstadoRelato::final, 100));
  outbox.Gravar(Relato("velho-pendente", TEstadoRelato::pendente, 100));
  outbox.Gravar(Relato("velho-confirmado", TEstadoRelato::confirmado, 100));
  outbox.Gravar(Relato("novo-aceito", TEstadoRelato::aceito, 500));
  std::vector<std::string> podados = outbox.Podar(500);
  std::sort(podados.begin(), podados.end());
  EXPECT_EQ(podados, (std::vector<std::string>{"velho-aceito", "velho-final"}));
  TOutbox reaberto(dir.Path());
  reaberto.Abrir();
  for (const char* chave : {"velho-pendente", "velho-confirmado", "novo-aceito"}) {
    EXPECT_TRUE(reaberto.Buscar(chave)) << chave;
  }
  for (const char* chave : {"velho-aceito", "velho-final"}) {
    EXPECT_FALSE(reaberto.Buscar(chave)) << chave;
    EXPECT_FALSE(Existe(dir.Path() + chave + ".json")) << chave;
  }
}

TEST(Outbox, UnreadableFilesAreSetAsideUnderFreeNamesAndNeverDeleted) {
  TempDir dir;
  const platform::Platform& os = platform::Current();
  os.WriteFile(dir.Path() + "torn.json", "{\"chave\":\"torn\",\"cri", false);
  // A whole entry under another key's name is not trusted either.
  os.WriteFile(dir.Path() + "other.json",
               RelatoParaTexto(Relato("K9", TEstadoRelato::confirmado, 1)), false);
  // An earlier set-aside file of the same name stays as it is.
  os.WriteFile(dir.Path() + "torn.json.invalido", "earlier", false);
  // A write the process never renamed into place.
  os.WriteFile(dir.Path() + "K2.json.tmp", "partial", false);
  TOutbox outbox(dir.Path());
  std::vector<std::string> aParte = outbox.Abrir();
  std::sort(aParte.begin(), aParte.end());
  EXPECT_EQ(aParte, (std::vector<std::string>{dir.Path() + "other.json.invalido",
                                              dir.Path() + "torn.json.invalido.2"}));
  EXPECT_EQ(os.ReadFile(dir.Path() + "torn.json.invalido"), "earlier");
  EXPECT_EQ(os.ReadFile(dir.Path() + "torn.json.invalido.2"), "{\"chave\":\"torn\",\"cri");
  EXPECT_FALSE(Existe(dir.Path() + "K2.json.tmp"));
  EXPECT_TRUE(outbox.NoEstado(TEstadoRelato::confirmado).empty());
}

TEST(Outbox, AnEntryThatCannotBeWrittenRaisesAndChangesNothing) {
  TempDir dir;
  TOutbox outbox(dir.Path());
  outbox.Abrir();
  outbox.Gravar(Relato("K1", TEstadoRelato::pendente, 1));
  // A folder where the temporary file goes: the write cannot happen.
  std::filesystem::create_directory(dir.Path() + "K1.json.tmp");
  TRelato aceito = Relato("K1", TEstadoRelato::aceito, 1);
  EXPECT_THROW(outbox.Gravar(aceito), EVornCliSiTefArquivo);
  EXPECT_EQ(outbox.Buscar("K1")->estado, TEstadoRelato::pendente);
  TOutbox reaberto(dir.Path());
  reaberto.Abrir();
  EXPECT_EQ(reaberto.Buscar("K1")->estado, TEstadoRelato::pendente);
}

TEST(Outbox, TheLastEntryOfASaleIsTheNewest) {
  TempDir dir;
  TOutbox outbox(dir.Path());
  outbox.Abrir();
  outbox.Gravar(Relato("A", TEstadoRelato::aceito, 100, 42));
  outbox.Gravar(Relato("B", TEstadoRelato::final, 300, 42));
  outbox.Gravar(Relato("C", TEstadoRelato::aceito, 200, 42));
  outbox.Gravar(Relato("D", TEstadoRelato::aceito, 900, 7));
  EXPECT_EQ(outbox.UltimoDaVenda(42)->chave, "B");
  EXPECT_FALSE(outbox.UltimoDaVenda(5));
}
