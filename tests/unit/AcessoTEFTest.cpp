#include "api/AcessoTEF.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

namespace {

using Desistencia = TAcessoTEF::TDesistencia;

// What the user inside does while another one waits for its turn.
enum class Acao { sai, iniciaPagamento, inicializa, desinicializa };

void Fazer(TAcessoTEF& acesso, Acao acao) {
  switch (acao) {
    case Acao::sai:
      acesso.Sair();
      break;
    case Acao::iniciaPagamento:
      acesso.SetProcessando(true);
      break;
    case Acao::inicializa:
      acesso.SetInicializado(true);
      break;
    case Acao::desinicializa:
      acesso.SetInicializado(false);
      break;
  }
}

TEST(AcessoTEF, AWaitingUserEntersOrGivesUpByWhatTheOneInsideDoes) {
  const struct {
    const char* nome;
    Desistencia desistencia;
    std::vector<Acao> acoes;
    bool entra;
  } casos[] = {
      {"query behind a short query", Desistencia::processando, {Acao::sai}, true},
      // The clean-up of a closed connection gives up the same way.
      {"query behind a payment", Desistencia::processando, {Acao::iniciaPagamento}, false},
      {"initialize behind a successful initialization",
       Desistencia::inicializado,
       {Acao::inicializa},
       false},
      {"initialize behind a failed initialization",
       Desistencia::inicializado,
       {Acao::desinicializa, Acao::sai},
       true},
  };
  for (const auto& caso : casos) {
    TAcessoTEF acesso;
    ASSERT_TRUE(acesso.Entrar(Desistencia::processando)) << caso.nome;
    auto entrou = std::async(std::launch::async, [&] { return acesso.Entrar(caso.desistencia); });
    for (Acao acao : caso.acoes) {
      Fazer(acesso, acao);
    }
    EXPECT_EQ(entrou.get(), caso.entra) << caso.nome;
  }
}

TEST(AcessoTEF, APaymentEndsWhenItsUserLeaves) {
  TAcessoTEF acesso;
  ASSERT_TRUE(acesso.Entrar(Desistencia::processando));
  acesso.SetProcessando(true);
  EXPECT_FALSE(acesso.Entrar(Desistencia::processando));
  acesso.Sair();
  EXPECT_TRUE(acesso.Entrar(Desistencia::processando));
}

TEST(AcessoTEF, AUserThatGivesUpLetsTheOnesBehindItIn) {
  TAcessoTEF acesso;
  ASSERT_TRUE(acesso.Entrar(Desistencia::processando));
  auto consulta =
      std::async(std::launch::async, [&] { return acesso.Entrar(Desistencia::processando); });
  auto inicializacao =
      std::async(std::launch::async, [&] { return acesso.Entrar(Desistencia::inicializado); });
  acesso.SetProcessando(true);
  EXPECT_FALSE(consulta.get());
  acesso.Sair();
  EXPECT_TRUE(inicializacao.get());
}

}  // namespace
