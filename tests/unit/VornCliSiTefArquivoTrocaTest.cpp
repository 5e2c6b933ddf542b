// The file-exchange transport against a fake manager program.

#include <gtest/gtest.h>

#include <fstream>

#include "TefTestSupport.h"

namespace {

bool Existe(const std::string& arquivo) {
  return platform::Current().FileExists(arquivo);
}

TEST(ArquivoTroca, RequestsAreNumberedConsecutivelyAndAGivenNumberIsFollowed) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.binding->ATV();
  f.binding->ATV();
  f.binding->IniciarRequisicao("ATV", 500);
  f.binding->FinalizarRequisicao();
  f.binding->ATV();
  const auto recebidas = f.manager->Recebidas();
  ASSERT_GE(recebidas.size(), 4u);
  const auto n = recebidas.size();
  EXPECT_EQ(recebidas[n - 3].id, recebidas[n - 4].id + 1);
  EXPECT_EQ(recebidas[n - 2].id, 500);
  EXPECT_EQ(recebidas[n - 1].id, 501);
  EXPECT_EQ(recebidas[n - 1].campos.at("999-999"), "0");
}

TEST(ArquivoTroca, IdentificationIsSentOnlyWhenThereIsSome) {
  struct Caso {
    const char* nome;
    std::string aplicacao, versao, razao;
    bool subtotaliza;
    std::map<std::string, std::string> esperado;
  };
  const Caso casos[] = {
      {"empty", "", "", "", false, {}},
      {"application only",
       "Quorel",
       "1.2",
       "",
       false,
       {{"701-000", "Quorel 1.2"}, {"706-000", "1"}}},
      {"company with subtotal handler",
       "",
       "",
       "Loja SA",
       true,
       {{"716-000", "Loja SA"}, {"706-000", "3"}}},
  };
  for (const Caso& caso : casos) {
    TefFixture f;
    f.tef.Inicializar(gpTefDisc);
    f.tef.Identificacao().SetNomeAplicacao(caso.aplicacao);
    f.tef.Identificacao().SetVersaoAplicacao(caso.versao);
    f.tef.Identificacao().SetRazaoSocial(caso.razao);
    f.tef.Identificacao().SetSoftwareHouse("Vorn");
    if (caso.subtotaliza) {
      f.tef.OnComandaECFSubtotaliza = [](Currency, int& r) { r = 1; };
    }
    f.binding->IniciarRequisicao("ATV");
    f.binding->AdicionarIdentificacao();
    f.binding->FinalizarRequisicao();
    std::map<std::string, std::string> enviado;
    const RequisicaoRecebida ultima = f.manager->Recebidas().back();
    for (const auto& [chave, valor] : ultima.campos) {
      if (chave.rfind("70", 0) == 0 || chave.rfind("71", 0) == 0) {
        enviado[chave] = valor;
      }
    }
    EXPECT_EQ(enviado, caso.esperado) << caso.nome;
  }
}

TEST(ArquivoTroca, AnAcknowledgementOfAnotherRequestFailsAndLeavesNoFilesBehind) {
  bool trocar = false;
  TefFixture f([&](const RequisicaoRecebida& r) {
    RespostaGerenciador resposta;
    if (trocar) {
      resposta.idSTS = r.id + 7;
    }
    return resposta;
  });
  f.tef.Inicializar(gpTefDisc);
  trocar = true;
  EXPECT_THROW(f.binding->ATV(), EVornCliSiTefSTSInvalido);
  EXPECT_FALSE(Existe(f.binding->ArqReq()));
  EXPECT_FALSE(Existe(f.binding->ArqSTS()));
  EXPECT_FALSE(Existe(f.binding->ArqResp()));
  EXPECT_FALSE(Existe(f.binding->ArqTemp()));
  EXPECT_EQ(f.binding->Req().Header(), "");
}

TEST(ArquivoTroca, AResponseWithoutTrailerOrOfAnotherRequestIsDiscardedAndTheWaitGoesOn) {
  struct Caso {
    const char* nome;
    decltype(RespostaGerenciador::respostaInvalidaAntes) invalida;
  };
  for (const Caso caso : {Caso{"other request first", RespostaGerenciador::deOutroPedido},
                          Caso{"no trailer first", RespostaGerenciador::semTrailerDoPedido}}) {
    TefFixture f([&](const RequisicaoRecebida& r) {
      RespostaGerenciador resposta = FakeManager::Aprova(r);
      if (r.header == "ADM") {
        resposta.resposta = {{"009-000", "0"}};
        resposta.respostaInvalidaAntes = caso.invalida;
      }
      return resposta;
    });
    f.tef.Inicializar(gpTefDisc);
    EXPECT_TRUE(f.tef.ADM()) << caso.nome;
    EXPECT_NE(f.Trace().find("Teste LerRespostaRequisicao: ADM, Arquivo inválido desprezado: \"" +
                             f.binding->ArqResp() + "\"\r\n000-000 = ADM"),
              std::string::npos)
        << caso.nome;
  }
}

TEST(ArquivoTroca, InterruptingTheAcknowledgementWaitMeansTheManagerDoesNotAnswer) {
  bool calar = false;
  TefFixture f([&](const RequisicaoRecebida&) {
    RespostaGerenciador resposta;
    resposta.responderSTS = !calar;
    return resposta;
  });
  f.tef.Inicializar(gpTefDisc);
  calar = true;
  std::vector<int> segundos;
  f.tef.OnAguardaResp = [&](const std::string& arquivo, int s, bool& interromper) {
    EXPECT_EQ(arquivo, f.binding->ArqSTS());
    segundos.push_back(s);
    interromper = segundos.size() == 3;
  };
  try {
    f.binding->ATV();
    ADD_FAILURE() << "no exception";
  } catch (const EVornCliSiTefGPNaoResponde& erro) {
    EXPECT_STREQ(erro.what(), "O gerenciador padrão Teste não está ativo !");
  }
  ASSERT_EQ(segundos.size(), 4u);
  EXPECT_EQ(segundos.back(), -1);
  EXPECT_FALSE(f.binding->AguardandoResposta());
  EXPECT_NE(f.Trace().find("Teste FinalizarRequisicao: ATV, Fim da Espera de: " +
                           f.binding->ArqSTS() + " Não recebido"),
            std::string::npos);
}

// A wait's handler sees whole seconds, never negative, and -1 exactly once,
// when the wait ends. The acknowledgement wait counts down to its deadline
// (passing it between two looks); the response wait counts up from its start,
// which may fall anywhere within a second (here 14:07:05, not near a
// ten-thousandth of a day).
TEST(ArquivoTroca, WaitsReportWholeSecondsAndMinusOneOnceAtTheirEnd) {
  const auto conferir = [](const std::vector<int>& segundos, int maximo, const char* espera) {
    ASSERT_GE(segundos.size(), 2u) << espera;
    EXPECT_EQ(segundos.back(), -1) << espera;
    for (std::size_t i = 0; i + 1 < segundos.size(); ++i) {
      EXPECT_TRUE(segundos[i] >= 0 && segundos[i] <= maximo)
          << espera << ": " << segundos[i] << " at look " << i;
    }
  };

  bool calar = false;
  TefFixture silencio([&](const RequisicaoRecebida&) {
    RespostaGerenciador resposta;
    resposta.responderSTS = !calar;
    return resposta;
  });
  silencio.tef.Inicializar(gpTefDisc);
  calar = true;
  silencio.binding->SetEsperaSTS(2);
  std::vector<int> restantes;
  silencio.tef.OnAguardaResp = [&](const std::string&, int s, bool&) { restantes.push_back(s); };
  EXPECT_THROW(silencio.binding->ATV(), EVornCliSiTefGPNaoResponde);
  conferir(restantes, 2, "acknowledgement");
  EXPECT_EQ(restantes.front(), 1);

  TefFixture f([](const RequisicaoRecebida& r) {
    RespostaGerenciador resposta;
    if (r.header == "ADM") {
      resposta.resposta = {{"009-000", "0"}};
    }
    return resposta;
  });
  f.os.SetStart({2026, 12, 10, 14, 7, 5, 0});
  f.tef.Inicializar(gpTefDisc);
  std::vector<int> decorridos;
  f.tef.OnAguardaResp = [&](const std::string& arquivo, int s, bool&) {
    if (arquivo == f.binding->ArqResp()) {
      decorridos.push_back(s);
    }
  };
  f.tef.ADM();
  conferir(decorridos, 60, "response");
}

TEST(ArquivoTroca, ATimedOutATVStartsTheManagerOnceAndAsksAgain) {
  if (GATEWAY_TEST_ON_WINDOWS) {
    GTEST_SKIP() << "the manager program started is a /bin/sh script";
  }
  TefFixture f0;              // only for its folder and clock
  f0.os.SetRealSleeps(true);  // the manager program is a real process
  const std::string marca = f0.dir.Path() + "gerenciador.ativo";
  const std::string programa = f0.dir.Path() + "gerenciador.sh";
  {
    std::ofstream script(programa);
    script << "#!/bin/sh\ntouch '" << marca << "'\n";
  }
  std::filesystem::permissions(programa, std::filesystem::perms::owner_all);
  f0.manager.reset();
  int pedidos = 0;
  FakeManager gerenciador(
      *f0.binding,
      [&](const RequisicaoRecebida&) {
        // The program is started without waiting: give it real time to run.
        for (int espera = 0; ++pedidos > 1 && !Existe(marca) && espera < 5000; ++espera) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        RespostaGerenciador resposta;
        resposta.responderSTS = Existe(marca);
        return resposta;
      },
      f0.os);
  f0.binding->SetAutoAtivarGP(true);
  f0.binding->SetGPExeName(programa);
  f0.binding->SetEsperaSTS(2);
  f0.tef.Inicializar(gpTefDisc);
  EXPECT_TRUE(Existe(marca));
  EXPECT_EQ(f0.host
                .Com("ExibeMsg(opmOK) O Gerenciador Padrão não está ativo e será ativado "
                     "automaticamente!")
                .size(),
            1u);
  EXPECT_EQ(gerenciador.Recebidas().size(), 2u);
}

TEST(ArquivoTroca, RequestAndResponseStatesFollowTheExchange) {
  TefFixture f([](const RequisicaoRecebida& r) {
    RespostaGerenciador resposta;
    if (r.header == "ADM") {
      resposta.resposta = {{"009-000", "0"}};
    }
    return resposta;
  });
  f.tef.Inicializar(gpTefDisc);
  std::vector<int> req;
  std::vector<int> resp;
  f.tef.OnMudaEstadoReq = [&](TVornCliSiTefReqEstado e) { req.push_back(e); };
  f.tef.OnMudaEstadoResp = [&](TVornCliSiTefRespEstado e) { resp.push_back(e); };
  f.tef.ADM();
  // The ATV that checks the manager runs first, then the ADM itself.
  const std::vector<int> ciclo = {reqIniciando, reqCriandoArquivo, reqAguardandoResposta,
                                  reqConferindoResposta, reqFinalizada};
  std::vector<int> esperado = ciclo;
  esperado.insert(esperado.end(), ciclo.begin(), ciclo.end());
  EXPECT_EQ(req, esperado);
  EXPECT_EQ(resp,
            (std::vector<int>{respAguardandoResposta, respNenhum, respProcessando, respConcluida}));
}

TEST(ArquivoTroca, ANewRequestWhileWaitingIsRefused) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  std::string mensagem;
  f.tef.OnAguardaResp = [&](const std::string&, int, bool&) {
    if (mensagem.empty()) {
      try {
        f.binding->IniciarRequisicao("ATV");
      } catch (const std::exception& erro) {
        mensagem = erro.what();
      }
    }
  };
  f.binding->ATV();
  EXPECT_EQ(mensagem, "Requisição anterior não concluida");
}

TEST(ArquivoTroca, TheTraceReadsStepByStep) {
  TefFixture f;
  f.tef.Inicializar(gpTefDisc);
  f.binding->ATV();
  const std::string trace = f.Trace();
  const std::string tmp = f.binding->ArqTemp();
  const std::string req = f.binding->ArqReq();
  const std::string sts = f.binding->ArqSTS();
  for (const std::string& linha : std::vector<std::string>{
           "-- 10/12 14:07:", " - Teste IniciarRequisicao: ATV\r\n",
           " - Teste FinalizarRequisicao: ATV, Fechando arquivo: " + tmp + "\r\n",
           " - Teste FinalizarRequisicao: ATV, Renomeando: " + tmp + " para: " + req + "\r\n",
           " - Teste FinalizarRequisicao: ATV, Aguardando: " + sts + "\r\n",
           " - Teste FinalizarRequisicao: ATV, Fim da Espera de: " + sts + " Recebido\r\n",
           " - Teste FinalizarRequisicao: ATV, Verificando conteudo de: " + sts + "\r\n"}) {
    EXPECT_NE(trace.find(linha), std::string::npos) << linha;
  }
}

}  // namespace
