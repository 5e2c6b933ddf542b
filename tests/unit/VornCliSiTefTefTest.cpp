// Drives the CliSiTef binding through the TEF component against the built
// stand-in library, with a scenario per test, and checks what the library
// received (its ledger), the events the component raised and the response
// record the binding filled.

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "TestEnvironment.h"
#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefEnums.h"
#include "tef/VornCliSiTefRespCliSiTef.h"
#include "tef/VornCliSiTefTef.h"
#include "util/DateTime.h"
#include "util/VornCliSiTefUtil.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr int kContinuar = 10000;

std::string Nome(TVornCliSiTefCliSiTefOperacaoCampo operacao) {
  static const char* const nomes[] = {"tcString", "tcCurrency", "tcCMC7", "tcBarCode",
                                      "tcSeguranca"};
  return nomes[operacao];
}

// A component wired to the stand-in library, with recording event handlers
// whose answers each test sets.
class DriverTest : public ::testing::Test {
 public:
  void SetUp() override {
    // The library's amounts in the Brazilian format, whatever the system's locale.
    platform::Current().OverrideRegional(platform::RegionalSettings());
    pasta_ = fs::path(pasta_temporaria_.Path());
    cenario_ = (pasta_ / "scenario.json").string();
    ledger_ = (pasta_ / "ledger.jsonl").string();
    SetTestEnvironment("CLISITEF_SIM_SCENARIO", cenario_);
    SetTestEnvironment("CLISITEF_SIM_LEDGER", ledger_);
    Cenario(Json::object());
    NovoComponente();
  }

  void TearDown() override {
    tef_.reset();
    std::error_code ignorado;
    fs::remove_all(pasta_, ignorado);
  }

  // A new component (a restart of the gateway keeps only the backup folder).
  void NovoComponente() {
    tef_.reset();
    tef_ = std::make_unique<TVornCliSiTef>();
    TVornCliSiTef& tef = *tef_;
    tef.SetArqLOG((pasta_ / "tef.log").string());
    tef.TEFCliSiTef().SetArqLOG((pasta_ / "tef.log").string());
    tef.SetPathBackup((pasta_ / "TEF").string());
    tef.TEFCliSiTef().fPathDLL = SIM_LIBRARY_DIR;
    tef.TEFCliSiTef().FTEFModoServico = true;
    tef.OnExibeMsg = [this](TVornCliSiTefOperacaoMensagem op, const std::string& msg, int& r) {
      eventos_.push_back(NomeValor(op) + "|" + msg);
      if (!avisoQueFalha_.empty() && msg == avisoQueFalha_) {
        throw Exception("Conexão encerrada");
      }
      if (op == opmYesNo) {
        r = respostaSimNao_;
      }
    };
    tef.OnComandaECF = [](TVornCliSiTefOperacaoECF, TVornCliSiTefResp&, int& r) { r = 1; };
    tef.OnComandaImpressao = [this](int& r, TVornCliSiTefResp&, bool) {
      eventos_.push_back("impressao");
      r = retornoImpressao_;
    };
    tef.OnComandaECFAbreVinculado = [](const std::string&, const std::string&, Currency, int& r) {
      r = 1;
    };
    tef.OnComandaECFImprimeVia = [](TVornCliSiTefTipoRelatorio, int,
                                    const std::vector<std::string>&, int& r) { r = 1; };
    tef.OnComandaECFPagamento = [](const std::string&, Currency, int& r) { r = 1; };
    tef.OnInfoECF = [](TVornCliSiTefInfoECF op, std::string& r) {
      r = op == ineEstadoECF ? "L" : "0";
    };
    tef.OnExibeMenu = [this](const std::string& titulo, const std::vector<std::string>& opcoes,
                             int& item, bool&) {
      std::string texto = "menu|" + titulo;
      for (const std::string& opcao : opcoes) {
        texto += "|" + opcao;
      }
      eventos_.push_back(texto);
      item = itemMenu_;
    };
    tef.OnObtemCampo = [this](const std::string& titulo, int, int, int tipo,
                              TVornCliSiTefCliSiTefOperacaoCampo op, AnsiString& resposta,
                              bool& digitado, bool&) {
      eventos_.push_back("campo|" + std::to_string(tipo) + "|" + Nome(op) + "|" + titulo);
      if (aoColetar_) {
        aoColetar_();
      }
      if (campos_.contains(tipo)) {
        resposta = VornAnsiStr(campos_[tipo]);
      } else {
        digitado = digitadoPadrao_;
      }
    };
    tef.OnObtemCheque = [this](const std::string&, int tipo, TVornCliSiTefCliSiTefOperacaoCampo,
                               AnsiString&, bool&,
                               bool&) { eventos_.push_back("cheque|" + std::to_string(tipo)); };
    tef.OnObterSenha = [this](const std::string& titulo, bool&) {
      eventos_.push_back("senha|" + titulo);
    };
    tef.OnExibeQRCode = [this](const std::string& qr) { eventos_.push_back("qrcode|" + qr); };
    tef.OnAguardaResp = [this](const std::string& arquivo, int, bool& interromper) {
      eventos_.push_back("aguarda|" + arquivo);
      interromper = interromper_;
    };
  }

  TVornCliSiTef& Tef() { return *tef_; }
  TVornCliSiTefCliSiTef& Driver() { return tef_->TEFCliSiTef(); }

  void Cenario(const Json& cenario) { std::ofstream(cenario_, std::ios::trunc) << cenario.dump(); }
  // A scenario whose function (any modality) plays these steps.
  void Passos(const Json& passos, int final = 0) {
    Cenario({{"functions", {{"*", {{"steps", passos}, {"final", final}}}}}});
  }

  std::vector<Json> Ledger(const std::string& funcao = "") const {
    std::vector<Json> linhas;
    std::ifstream entrada(ledger_);
    std::string linha;
    while (std::getline(entrada, linha)) {
      Json registro = Json::parse(linha);
      if (funcao.empty() || registro["fn"] == funcao) {
        linhas.push_back(registro);
      }
    }
    return linhas;
  }
  // The continue calls that answered a step.
  std::vector<Json> Respostas() const {
    std::vector<Json> respostas;
    for (const Json& r : Ledger("ContinuaFuncaoSiTefInterativo")) {
      if (r.contains("answered_cmd")) {
        respostas.push_back(r);
      }
    }
    return respostas;
  }
  std::string Divergencias() const {
    std::string texto;
    for (const Json& r : Ledger()) {
      if (r.contains("mismatch")) {
        texto += r.dump() + "\n";
      }
    }
    return texto;
  }
  bool Houve(const std::string& evento) const {
    return std::find(eventos_.begin(), eventos_.end(), evento) != eventos_.end();
  }
  std::string Eventos() const {
    std::string texto;
    for (const std::string& e : eventos_) {
      texto += "  " + e + "\n";
    }
    return texto;
  }

  void Inicializar() { Tef().Inicializar(gpCliSiTef); }

  // Starts a function of the modality and runs the command loop.
  int Rodar(int modalidade, Currency valor = Currency(), const std::string& parcelas = "0",
            const std::string& cartao = "", const std::string& validade = "",
            const std::string& cvv = "") {
    int status = Driver().FazerRequisicao(modalidade, "CRT", valor, "", "");
    if (status == kContinuar) {
      status = Driver().ContinuarRequisicao(false, cartao, validade, cvv, parcelas);
    }
    return status;
  }

  TempDir pasta_temporaria_;
  fs::path pasta_;
  std::string cenario_;
  std::string ledger_;
  std::unique_ptr<TVornCliSiTef> tef_;
  std::vector<std::string> eventos_;
  int respostaSimNao_ = mrYes;
  int retornoImpressao_ = 1;
  int itemMenu_ = 0;
  bool interromper_ = false;
  bool digitadoPadrao_ = true;
  std::map<int, std::string> campos_;
  std::function<void()> aoColetar_;
  // A message whose display raises, as a notice to a client that has gone.
  std::string avisoQueFalha_;
};

// One command of the library and how the binding must answer it.
struct CasoComando {
  const char* nome;
  Json passos;
  std::function<void(DriverTest&)> preparar;
  std::vector<std::string> eventos;   // events that must have been raised
  std::vector<std::string> ausentes;  // events that must not
  int continuaDepois = 0;             // continue code of the call after the last step
};

class CommandTableTest : public DriverTest {};

// Steps that go back to a field prompt: the field is answered the first time
// and abandoned the second, so the function ends.
Json VoltandoAoCampo(const Json& passo) {
  return Json::array({{{"cmd", 30}, {"type", 600}}, passo});
}
void CampoUmaVez(DriverTest& t);

TEST_F(CommandTableTest, EachCommandIsAnsweredAsTheTableSays) {
  const std::vector<CasoComando> casos = {
      {"1 operator text with line breaks",
       Json::array({{{"cmd", 1}, {"text", "Processando@Aguarde/n..."}}}),
       nullptr,
       {"opmExibirMsgOperador|Processando\r\nAguarde\r\n..."},
       {},
       0},
      {"2 customer text",
       Json::array({{{"cmd", 2}, {"text", "Senha"}}}),
       nullptr,
       {"opmExibirMsgCliente|Senha"},
       {},
       0},
      {"3 both texts",
       Json::array({{{"cmd", 3}, {"text", "Insira"}}}),
       nullptr,
       {"opmExibirMsgOperador|Insira", "opmExibirMsgCliente|Insira"},
       {},
       0},
      {"4 menu title, 21 menu answered with the chosen code",
       Json::array({{{"cmd", 4}, {"text", "Forma"}},
                    {{"cmd", 21}, {"text", "1:Debito;2:Credito;"}, {"expect", "2"}}}),
       [](DriverTest& t) { t.itemMenu_ = 1; },
       {"menu|Forma|1:Debito|2:Credito"},
       {},
       0},
      {"14 clears the menu title",
       Json::array({{{"cmd", 4}, {"text", "Forma"}},
                    {{"cmd", 14}},
                    {{"cmd", 21}, {"text", "1:A;2:B;"}, {"expect", "1"}}}),
       nullptr,
       {"menu||1:A|2:B"},
       {},
       0},
      {"21 without a selection aborts",
       Json::array({{{"cmd", 21}, {"text", "1:A;2:B;"}, {"expect", ""}}}),
       [](DriverTest& t) { t.itemMenu_ = -1; },
       {"opmRemoverMsgOperador|", "opmRemoverMsgCliente|"},
       {},
       -1},
      {"11 12 13 remove texts",
       Json::array({{{"cmd", 11}}, {{"cmd", 12}}, {{"cmd", 13}}}),
       nullptr,
       {"opmRemoverMsgOperador|", "opmRemoverMsgCliente|"},
       {},
       0},
      {"20 empty question, yes",
       Json::array({{{"cmd", 20}, {"expect", "0"}}}),
       nullptr,
       {"opmYesNo|CONFIRMA ?"},
       {},
       0},
      {"20 question, no",
       Json::array({{{"cmd", 20}, {"text", "Confirma?"}, {"expect", "1"}}}),
       [](DriverTest& t) { t.respostaSimNao_ = 7; },
       {"opmYesNo|Confirma?"},
       {},
       0},
      {"22 Unauthorized is an error and goes back",
       VoltandoAoCampo({{"cmd", 22}, {"text", "Unauthorized "}}),
       CampoUmaVez,
       {"opmExcept|Unauthorized"},
       {},
       1},
      {"22 transaction already made",
       VoltandoAoCampo({{"cmd", 22}, {"text", "Transacao ja efetuada"}}),
       CampoUmaVez,
       {"opmOK|Transação já efetuada no sitef\r\nImprima o ultimo comprovante de pagamento e "
        "informe o pagamento manual."},
       {},
       1},
      {"22 other text is not shown",
       VoltandoAoCampo({{"cmd", 22}, {"text", "Outra"}}),
       CampoUmaVez,
       {},
       {"opmExcept|Outra", "opmOK|Outra"},
       1},
      {"23 wait goes on", Json::array({{{"cmd", 23}}}), nullptr, {"aguarda|23"}, {}, 0},
      {"23 wait interrupted aborts",
       Json::array({{{"cmd", 23}}}),
       [](DriverTest& t) { t.interromper_ = true; },
       {"aguarda|23"},
       {},
       -1},
      {"30 field collected and answered",
       Json::array({{{"cmd", 30}, {"type", 512}, {"text", "Cartao"}, {"expect", "4111"}}}),
       [](DriverTest& t) { t.campos_[512] = "4111"; },
       {"campo|512|tcString|Cartao"},
       {},
       0},
      {"30 field cleared aborts",
       Json::array({{{"cmd", 30}, {"type", 999}}}),
       [](DriverTest& t) { t.digitadoPadrao_ = false; },
       {"campo|999|tcString|"},
       {},
       -1},
      {"30 entered security code is sent",
       Json::array({{{"cmd", 30}, {"type", 514}, {"expect", "321"}}}),
       [](DriverTest& t) { t.campos_[514] = "321"; },
       {"campo|514|tcSeguranca|"},
       {},
       0},
      {"30 password",
       Json::array({{{"cmd", 30}, {"type", 500}, {"text", "Senha"}}}),
       nullptr,
       {"senha|Senha"},
       {"campo|500|tcString|Senha"},
       0},
      {"30 preset person type without event",
       Json::array({{{"cmd", 30}, {"type", 501}, {"expect", "1"}}}),
       [](DriverTest& t) { t.Driver().SetResposta(501, "1"); },
       {},
       {"campo|501|tcString|"},
       0},
      {"31 CMC7 collect",
       Json::array({{{"cmd", 31}, {"type", 200}}}),
       nullptr,
       {"campo|200|tcCMC7|"},
       {},
       0},
      {"31 cheque without preset asks the cheque event",
       Json::array({{{"cmd", 31}, {"type", 517}}}),
       nullptr,
       {"cheque|517"},
       {},
       0},
      {"34 amount normalised",
       Json::array({{{"cmd", 34}, {"type", 130}, {"expect", "12,50"}}}),
       [](DriverTest& t) { t.campos_[130] = "12.5"; },
       {"campo|130|tcCurrency|"},
       {},
       0},
      {"34 boarding tax switched off answers zero",
       Json::array({{{"cmd", 34}, {"text", "Forneca a taxa de embarque"}, {"expect", "0,00"}}}),
       nullptr,
       {},
       {"campo|-1|tcCurrency|Forneca a taxa de embarque"},
       0},
      {"34 service tax switched on asks",
       Json::array(
           {{{"cmd", 34}, {"type", 7}, {"text", "Forneca a taxa de servico"}, {"expect", "3,00"}}}),
       [](DriverTest& t) {
         t.Tef().FornecerTaxaDeServico = true;
         t.campos_[7] = "3";
       },
       {"campo|7|tcCurrency|Forneca a taxa de servico"},
       {},
       0},
      {"34 no withdrawal on VISA ELECTRON",
       Json::array({{{"cmd", 34}, {"text", "VISA ELECTRON\nSAQUE"}, {"expect", "0,00"}}}),
       nullptr,
       {},
       {"campo|-1|tcCurrency|VISA ELECTRON\nSAQUE"},
       0},
      {"35 bar code",
       Json::array({{{"cmd", 35}, {"type", 40}}}),
       nullptr,
       {"campo|40|tcBarCode|"},
       {},
       0},
      {"50 QR code of type 584",
       Json::array({{{"cmd", 50}, {"type", 584}, {"text", "PIX1"}}}),
       nullptr,
       {"qrcode|PIX1"},
       {},
       0},
      {"50 other type shows nothing",
       Json::array({{{"cmd", 50}, {"type", 1}, {"text", "PIX1"}}}),
       nullptr,
       {},
       {"qrcode|PIX1"},
       0},
      {"52 QR code of type 4128",
       Json::array({{{"cmd", 52}, {"type", 4128}, {"text", "PIX@2"}}}),
       nullptr,
       {"opmQRCode|PIX\r\n2"},
       {},
       0},
      {"52 other type shows both texts",
       Json::array({{{"cmd", 52}, {"type", 1}, {"text", "Leia"}}}),
       nullptr,
       {"opmExibirMsgOperador|Leia", "opmExibirMsgCliente|Leia"},
       {},
       0},
      {"0 store of 500 asks the password",
       Json::array({{{"cmd", 0}, {"type", 500}, {"text", "Senha do cliente"}}}),
       nullptr,
       {"senha|Senha do cliente"},
       {},
       0},
      {"0 store of 732 shows the operator text",
       Json::array({{{"cmd", 0}, {"type", 732}, {"text", "Texto@Dois"}}}),
       nullptr,
       {"opmExibirMsgOperador|Texto\r\nDois"},
       {},
       0},
      {"unknown command answered empty",
       Json::array({{{"cmd", 99}, {"expect", ""}}}),
       nullptr,
       {},
       {},
       0},
  };
  for (const CasoComando& caso : casos) {
    SCOPED_TRACE(caso.nome);
    eventos_.clear();
    campos_.clear();
    itemMenu_ = 0;
    respostaSimNao_ = mrYes;
    interromper_ = false;
    digitadoPadrao_ = true;
    aoColetar_ = nullptr;
    Driver().fRespostas.clear();
    fs::remove(ledger_);
    NovoComponente();
    Inicializar();
    if (caso.preparar) {
      caso.preparar(*this);
    }
    Passos(caso.passos);
    Rodar(5);
    EXPECT_EQ(Divergencias(), "") << caso.nome;
    for (const std::string& evento : caso.eventos) {
      EXPECT_TRUE(Houve(evento)) << caso.nome << ": no event " << evento << "\n" << Eventos();
    }
    for (const std::string& evento : caso.ausentes) {
      EXPECT_FALSE(Houve(evento)) << caso.nome << ": unexpected " << evento << "\n" << Eventos();
    }
    // The continue code that answered the row's last step (its first time).
    const Json& ultimo = caso.passos.back();
    const std::vector<Json> respostas = Respostas();
    const auto resposta = std::find_if(respostas.begin(), respostas.end(), [&](const Json& r) {
      return r["answered_cmd"] == ultimo["cmd"];
    });
    ASSERT_NE(resposta, respostas.end()) << caso.nome;
    EXPECT_EQ((*resposta)["continue"], caso.continuaDepois) << caso.nome;
  }
}

void CampoUmaVez(DriverTest& t) {
  t.campos_[600] = "x";
  t.aoColetar_ = [&t, vezes = 0]() mutable {
    if (++vezes > 1) {
      t.digitadoPadrao_ = false;
      t.campos_.clear();
    }
  };
}

TEST_F(CommandTableTest, StoresMarkTheRequestAndFillTheComponent) {
  Inicializar();
  Passos(Json::array({{{"cmd", 0}, {"type", 15}, {"text", "x"}},
                      {{"cmd", 0}, {"type", 56}, {"text", "1"}},
                      {{"cmd", 0}, {"type", 110}, {"text", "1"}},
                      {{"cmd", 0}, {"type", 131}, {"text", "00125"}},
                      {{"cmd", 0}, {"type", 131}, {"text", "00999"}},
                      {{"cmd", 0}, {"type", 106}, {"text", "W1"}},
                      {{"cmd", 0}, {"type", 502}, {"text", "12345678900"}},
                      {{"cmd", 0}, {"type", 800}, {"text", "HASH1"}},
                      {{"cmd", 0}, {"type", 800}, {"text", "HASH2"}}}));
  ASSERT_EQ(Rodar(5), 0);
  TVornCliSiTefCliSiTef& d = Driver();
  EXPECT_EQ(d.Resp().Conteudo().LeInformacao(15, 0).AsString(), "True");
  EXPECT_TRUE(d.fReimpressao);
  EXPECT_TRUE(d.fDevolucao);
  EXPECT_EQ(Tef().fCodigoRede, "00125");
  EXPECT_EQ(Tef().fIdDaCarteiraDigital, "W1");
  EXPECT_EQ(Tef().fCPFCliente, "12345678900");
  EXPECT_EQ(d.FCodigoHASH, "HASH1");
  EXPECT_EQ(d.Resp().CodigoHASH(), "HASH2");
}

TEST_F(CommandTableTest, GoingBackAsksThePreviousPromptAgain) {
  Inicializar();
  Passos(Json::array({{{"cmd", 30}, {"type", 512}}, {{"cmd", 22}, {"text", "Unauthorized"}}}));
  campos_[512] = "4111";
  int vezes = 0;
  aoColetar_ = [&] {
    if (++vezes > 1) {
      interromper_ = true;
      digitadoPadrao_ = false;
      campos_.clear();
    }
  };
  Rodar(5);
  EXPECT_EQ(vezes, 2) << Eventos();
}

struct CasoMenuAutomatico {
  const char* nome;
  int operacao;
  const char* menu;
  const char* parcelas;
  const char* resposta;
};

TEST_F(DriverTest, AutomaticMenuAnswersOfDebitAndCredit) {
  const CasoMenuAutomatico casos[] = {
      {"debit reading menu", 2, "1:Magnetico/Chip;2:Digitado;", "0", "1"},
      {"debit VISA ELECTRON", 2, "1:VISA ELECTRON;2:Outro;", "0", "1"},
      {"debit A Vista", 2, "1:A Vista;2:Parcelado;", "03", "1"},
      {"credit reading menu", 3, "1:Magnetico/Chip;2:Digitado;", "0", "1"},
      {"credit A Vista with 01", 3, "1:A Vista;2:Parcelado;", "01", "1"},
      {"credit A Vista with 03", 3, "1:A Vista;2:Parcelado;", "03", "2"},
  };
  Inicializar();
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nome);
    eventos_.clear();
    fs::remove(ledger_);
    Driver().SetOperacaoCRT(caso.operacao);
    Passos(Json::array({{{"cmd", 21}, {"text", caso.menu}, {"expect", caso.resposta}}}));
    Rodar(caso.operacao, Currency(), caso.parcelas);
    EXPECT_EQ(Divergencias(), "") << caso.nome;
    EXPECT_EQ(Eventos(), "") << caso.nome << ": the menu must not be shown";
  }
}

TEST_F(DriverTest, InstalmentFieldRule) {
  struct Caso {
    const char* nome;
    const char* parcelas;
    bool evento;
    const char* resposta;
  };
  const Caso casos[] = {{"03 answered without event", "03", false, "03"},
                        {"01 asks", "01", true, "05"},
                        {"empty asks", "", true, "05"},
                        {"00 asks", "00", true, "05"}};
  Inicializar();
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    eventos_.clear();
    fs::remove(ledger_);
    campos_[505] = "05";
    Passos(Json::array({{{"cmd", 30}, {"type", 505}, {"expect", caso.resposta}}}));
    Rodar(3, Currency(), caso.parcelas);
    EXPECT_EQ(Divergencias(), "") << caso.nome;
    EXPECT_EQ(Houve("campo|505|tcString|"), caso.evento) << caso.nome;
    EXPECT_EQ(Driver().Resp().QtdParcelas(), std::stoi(caso.resposta)) << caso.nome;
  }
}

TEST_F(DriverTest, NonNumericInstalmentCountAbortsTheFunctionAndRaises) {
  Inicializar();
  Passos(Json::array({{{"cmd", 30}, {"type", 505}}, {{"cmd", 1}, {"text", "depois"}}}));
  EXPECT_THROW(Rodar(3, Currency(), "xx"), EConvertError);
  const std::vector<Json> continua = Ledger("ContinuaFuncaoSiTefInterativo");
  ASSERT_EQ(continua.size(), 2u);
  EXPECT_EQ(continua[1]["continue"], -1);
  EXPECT_FALSE(Driver().AguardandoResposta());
}

TEST_F(DriverTest, TypedCardDataAnswersTheCardFieldsWithoutEvents) {
  Inicializar();
  Passos(Json::array({{{"cmd", 30}, {"type", 512}, {"expect", "4111111111111111"}},
                      {{"cmd", 30}, {"type", 513}, {"expect", "1230"}},
                      {{"cmd", 30}, {"type", 514}, {"expect", "123"}},
                      {{"cmd", 30}, {"type", 600}, {"expect", ""}}}));
  Rodar(3, Currency(), "0", "4111111111111111", "1230", "123");
  EXPECT_EQ(Divergencias(), "");
  EXPECT_EQ(Eventos(), "");
}

TEST_F(DriverTest, CancellationPresetsAnswerTheLibrary) {
  Inicializar();
  TVornCliSiTefCliSiTef& d = Driver();
  d.FCancelandoTransacaoTEF = true;
  d.FCancelandoTransacaoNSU = "000123";
  TryEncodeDate(2026, 3, 5, d.FCancelandoTransacaoDATA);
  d.FCancelandoTransacaoVALOR = Currency::FromCents(1250);
  Passos(Json::array({{{"cmd", 30}, {"type", 515}, {"expect", "05032026"}},
                      {{"cmd", 30}, {"type", 516}, {"expect", "000123"}},
                      {{"cmd", 34}, {"type", 146}, {"expect", "12,50"}}}));
  ASSERT_EQ(Rodar(200), 0);
  EXPECT_EQ(Divergencias(), "");
  EXPECT_EQ(Eventos(), "");
  EXPECT_EQ(d.Resp().NSUTransacaoCancelada(), "000123");
  EXPECT_EQ(d.Resp().Conteudo().LeInformacao(146, 0).AsString(), "12,50");
}

TEST_F(DriverTest, CancellationThroughTheBuiltInFlow) {
  SetTestEnvironment("CLISITEF_SIM_SCENARIO", "");
  Inicializar();
  TVornCliSiTefCliSiTef& d = Driver();
  TDateTime data = 0;
  TryEncodeDate(2026, 3, 5, data);
  ASSERT_TRUE(Tef().CNC("CIELO", "4711", data, 10.0)) << Eventos();
  bool viu515 = false;
  bool viu516 = false;
  for (const Json& r : Respostas()) {
    if (r["answered_type"] == 515) {
      viu515 = r["answer"] == "05032026";
    }
    if (r["answered_type"] == 516) {
      viu516 = r["answer"] == "4711";
    }
  }
  EXPECT_TRUE(viu515);
  EXPECT_TRUE(viu516);
  EXPECT_TRUE(d.fDevolucao);
  const std::vector<Json> inicio = Ledger("IniciaFuncaoSiTefInterativo");
  ASSERT_EQ(inicio.size(), 1u);
  EXPECT_EQ(inicio[0]["modality"], 200);
  EXPECT_EQ(inicio[0]["amount"], "0,00");
  EXPECT_EQ(inicio[0]["restrictions"], "");
}

TEST_F(DriverTest, AmountIsSentWithCommaAndStoredInCents) {
  Inicializar();
  Passos(Json::array());
  ASSERT_EQ(Rodar(3, Currency::FromDouble(12.5)), 0);
  const std::vector<Json> inicio = Ledger("IniciaFuncaoSiTefInterativo");
  ASSERT_EQ(inicio.size(), 1u);
  EXPECT_EQ(inicio[0]["amount"], "12,50");
  EXPECT_EQ(inicio[0]["doc"], std::to_string(Driver().Resp().ID()));
  EXPECT_EQ(Driver().Resp().Conteudo().LeInformacao(899, 103).AsString(), "1250");
  EXPECT_EQ(Driver().Resp().ValorTotal(), Currency::FromCents(1250));
}

TEST_F(DriverTest, FirstCallWithAFinalStatusRaisesNoEventAndStillMaps) {
  Inicializar();
  Passos(Json::array(), 255);
  EXPECT_EQ(Rodar(3, Currency::FromCents(500)), 255);
  EXPECT_EQ(Eventos(), "");
  EXPECT_EQ(Driver().Resp().Header(), "CRT");
  EXPECT_EQ(Driver().Resp().ValorTotal(), Currency::FromCents(500));
  EXPECT_FALSE(Driver().AguardandoResposta());
}

TEST_F(DriverTest, SecondRequestWhileOneRunsIsRefused) {
  Inicializar();
  Passos(Json::array({{{"cmd", 30}, {"type", 512}}}));
  aoColetar_ = [this] {
    EXPECT_THROW(Driver().FazerRequisicao(3, "CRT", Currency(), "", ""), Exception);
  };
  campos_[512] = "1";
  Rodar(3);
  EXPECT_TRUE(Houve("campo|512|tcString|"));
}

TEST_F(DriverTest, StartUpErrorTable) {
  const std::map<int, std::string> erros = {
      {1, "Endereço IP inválido ou não resolvido"},
      {2, "Código da loja inválido"},
      {3, "Código de terminal inválido"},
      {6, "Erro na inicialização do TCP/IP"},
      {7, "Falta de memória"},
      {8, "Não encontrou a dll do \"TEF\" ou ela está com problemas"},
      {10, "O PinPad não está devidamente configurado no arquivo CliSiTef.ini"},
      {11, "Dados inválidos passados pela automação."},
      {12,
       "Modo seguro não ativo (possível falta de configuração no servidor SiTef do arquivo "
       ".cha)."},
      {13, "Caminho da DLL inválido (o caminho completo das bibliotecas está muito grande)."},
      {0, ""},
      {4, ""},
      {5, ""},
      {9, ""},
      {99, ""}};
  for (const auto& [codigo, mensagem] : erros) {
    SCOPED_TRACE(codigo);
    NovoComponente();
    Cenario({{"configure", codigo}});
    std::string obtida;
    try {
      Driver().Inicializar();
    } catch (const EVornCliSiTefErro& erro) {
      obtida = erro.what();
    }
    EXPECT_EQ(obtida, mensagem) << "code " << codigo;
    EXPECT_EQ(Driver().Inicializado(), mensagem.empty()) << "code " << codigo;
  }
}

TEST_F(DriverTest, ConfigurationTextAndLogLine) {
  struct Caso {
    const char* nome;
    std::vector<std::string> linhas;
    const char* loja;
    const char* vornsoft;
    const char* esperado;
  };
  const Caso casos[] = {
      {"two lines, no tax numbers", {"A=1", "B=2"}, "", "", "[A=1;B=2];{ValorIncluiTaxa=0;};"},
      {"empty list", {}, "", "", "[];{ValorIncluiTaxa=0;};"},
      {"one tax number only", {"A=1"}, "123", "", "[A=1];{ValorIncluiTaxa=0;};"},
      {"both tax numbers",
       {"A=1"},
       " 11 ",
       "22",
       "[A=1];{ValorIncluiTaxa=0;};[ParmsClient=1=11;2=22];"},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    fs::remove(ledger_);
    NovoComponente();
    Driver().SetParametrosAdicionais(caso.linhas);
    Driver().SetEnderecoIP("10.0.0.1");
    Driver().SetCodigoLoja("00000000");
    Driver().SetNumeroTerminal("SW000001");
    Tef().CNPJLoja = caso.loja;
    Tef().CNPJVornSoft = caso.vornsoft;
    Inicializar();
    const std::vector<Json> configura = Ledger("ConfiguraIntSiTefInterativoEx");
    ASSERT_EQ(configura.size(), 1u);
    EXPECT_EQ(configura[0]["parameters"], caso.esperado) << caso.nome;
    EXPECT_EQ(configura[0]["server"], "10.0.0.1");
    EXPECT_EQ(configura[0]["terminal"], "SW000001");
  }
  std::ifstream log(pasta_ / "tef.log");
  std::stringstream texto;
  texto << log.rdbuf();
  EXPECT_NE(texto.str().find("*** ConfiguraIntSiTefInterativoEx. EnderecoIP: 10.0.0.1 CodigoLoja: "
                             "00000000 NumeroTerminal: SW000001 Resultado: 0 "
                             "ParametrosAdicionais: [A=1;B=2];{ValorIncluiTaxa=0;};"),
            std::string::npos);
  EXPECT_NE(texto.str().find("CliSiTef Inicializado CliSiTEF"), std::string::npos);
}

TEST_F(DriverTest, InitializingTwiceConfiguresOnce) {
  Inicializar();
  Inicializar();
  EXPECT_EQ(Ledger("ConfiguraIntSiTefInterativoEx").size(), 1u);
}

TEST_F(DriverTest, MissingLibraryOrFunctionIsNamed) {
  const fs::path falsa = pasta_ / "falsa";
  fs::create_directories(falsa);
  fs::copy_file(SIM_LIBRARY_DIR "/CliSiTef32I.dll", falsa / "outra.dll");
  // A library that exists but exports none of the functions: a copy of the
  // C library would do as well, but any ELF without the names shows it.
  const char* libz = "/lib/x86_64-linux-gnu/libz.so.1";
  ASSERT_TRUE(fs::exists(libz));
  fs::copy_file(libz, falsa / "CliSiTef32I.dll");
  struct Caso {
    const char* nome;
    std::string pasta;
  };
  const Caso casos[] = {{"no library file", (pasta_ / "vazia").string()},
                        {"library without the functions", falsa.string()}};
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    NovoComponente();
    Driver().fPathDLL = caso.pasta;
    try {
      Driver().Inicializar();
      ADD_FAILURE() << caso.nome << ": no error";
    } catch (const std::exception& erro) {
      EXPECT_STREQ(erro.what(),
                   "Erro ao carregar a função:ConfiguraIntSiTefInterativoEx de: CliSiTef32I.dll")
          << caso.nome;
    }
    EXPECT_FALSE(Driver().Inicializado());
  }
}

TEST_F(DriverTest, UnloadingForgetsAllButThreeFunctions) {
  Inicializar();
  Driver().DesInicializar();
  TVornCliSiTefCliSiTef& d = Driver();
  EXPECT_FALSE(d.BibliotecaCarregada());
  EXPECT_EQ(d.fConfiguraIntSiTefInterativoEx, nullptr);
  EXPECT_EQ(d.fContinuaFuncaoSiTefInterativo, nullptr);
  EXPECT_NE(d.fLeCartaoDiretoEx, nullptr);
  EXPECT_NE(d.fLeCartaoDiretoSeguro, nullptr);
  EXPECT_NE(d.fVerificaPresencaPinPad, nullptr);
  EXPECT_THROW(d.VerificarPresencaPinPad(), Exception);
  Inicializar();
  EXPECT_TRUE(d.BibliotecaCarregada());
}

TEST_F(DriverTest, PinpadPresenceTexts) {
  const std::map<int, std::string> textos = {{1, "PINPAD conectado com sucesso..."},
                                             {0, "Nenhum PINPAD conectado..."},
                                             {-1, "Erro na DLL ou arquivo .INI do PINPAD"},
                                             {7, ""}};
  EXPECT_THROW(
      {
        try {
          Driver().VerificarPresencaPinPad();
        } catch (const Exception& erro) {
          EXPECT_STREQ(erro.what(), "Erro ao iniciar \"TEF\"");
          throw;
        }
      },
      Exception);
  Inicializar();
  for (const auto& [codigo, texto] : textos) {
    Cenario({{"pinpad", codigo}});
    EXPECT_EQ(Driver().VerificarPresencaPinPad(), texto) << "code " << codigo;
  }
  Cenario({{"pending", 3}});
  TDateTime data = 0;
  TryEncodeDate(2026, 3, 5, data);
  EXPECT_EQ(Driver().ObtemQuantidadeTransacoesPendentes(data, "77"), 3);
  EXPECT_EQ(Ledger("ObtemQuantidadeTransacoesPendentes").back()["date"], "20260305");
}

TEST_F(DriverTest, AvaliaErroMessages) {
  const std::map<int, std::string> mensagens = {
      {-1, "Módulo não inicializado"},
      {-2, "Operação cancelada pelo operador"},
      {-3, "Fornecida uma modalidade inválida"},
      {-4, "Falta de memória para rodar a função"},
      {-5,
       "Não foi possivel realizar a conexão com o servidor SiTef\r\nPor favor tente mais "
       "tarde..."},
      {-6, "Operação cancelada pelo usuário"},
      {-40, "Operadora do cartão de crédito off-line (-40)"},
      {255, "Negada pelo autorizador (255)"}};
  for (const auto& [status, mensagem] : mensagens) {
    eventos_.clear();
    Driver().AvaliaErro(status);
    EXPECT_EQ(Eventos(), "  opmExcept|" + mensagem + "\n") << "status " << status;
  }
}

TEST_F(DriverTest, ChequePresetsOfTheTypedFields) {
  Inicializar();
  Cenario({{"functions",
            {{"1",
              {{"steps",
                Json::array(
                    {{{"cmd", 30}, {"type", 501}, {"expect", "1"}},
                     {{"cmd", 30}, {"type", 502}, {"expect", "12345678000199"}},
                     {{"cmd", 31}, {"type", 517}, {"expect", "0:00000101230000000456700000000"}}})},
               {"final", 255}}}}}});
  EXPECT_FALSE(Tef().CHQ(10.0, "01", "", "", 'J', " 12.345.678/0001-99 ", 0, "1", "123", "", "4567",
                         "", "", "", ""));
  EXPECT_EQ(Divergencias(), "");
  EXPECT_FALSE(Houve("cheque|517"));
  const std::vector<Json> inicio = Ledger("IniciaFuncaoSiTefInterativo");
  ASSERT_EQ(inicio.size(), 1u);
  EXPECT_EQ(inicio[0]["restrictions"], "[15;25]");
  EXPECT_TRUE(Houve("opmExcept|Negada pelo autorizador (255)"));
}

TEST_F(DriverTest, CardPaymentSendsDefaultRestrictions) {
  Inicializar();
  Passos(Json::array(), -2);
  Driver().SetOperacaoCRT(3);
  EXPECT_FALSE(Tef().CRT(10.0, "01"));
  EXPECT_EQ(Ledger("IniciaFuncaoSiTefInterativo")[0]["restrictions"], "[10];");
  EXPECT_TRUE(Houve("opmExcept|Operação cancelada pelo operador"));
}

TEST_F(DriverTest, Command23InterruptedEndsTheFunction) {
  Inicializar();
  Passos(Json::array({{{"cmd", 23}}, {{"cmd", 1}, {"text", "nunca"}}}));
  interromper_ = true;
  EXPECT_EQ(Rodar(3), -2);
  const std::vector<Json> respostas = Respostas();
  ASSERT_EQ(respostas.size(), 1u);
  EXPECT_EQ(respostas[0]["continue"], -1);
  EXPECT_FALSE(Houve("opmExibirMsgOperador|nunca"));
}

TEST_F(DriverTest, IdCardOfTrack3) {
  Inicializar();
  Cenario({{"functions",
            {{"track3",
              {{"steps", Json::array({{{"cmd", 3}, {"text", "Passe"}}})},
               {"final_text", "01234567890"}}}}}});
  AnsiString nada;
  EXPECT_EQ(Driver().LerTrilha3(nada), kContinuar);
  EXPECT_EQ(Tef().IDAmigo, "1234567890");
  const std::vector<Json> pinpad = Ledger("EscreveMensagemPermanentePinPad");
  ASSERT_EQ(pinpad.size(), 2u);
  EXPECT_EQ(pinpad[0]["message"], "ID Amigo");
  EXPECT_EQ(pinpad[1]["message"], "** BOA VIAGEM **");
}

// Sound behaviour: the card reader gets a defined time-out.
TEST_F(DriverTest, CardReaderWaitsThirtySeconds) {
  Inicializar();
  Cenario({{"card", {{"result", 0}, {"track1", "TRILHA1  "}, {"track2", "TRILHA2"}}}});
  EXPECT_EQ(Driver().LerCartaoSeguro(), 0);
  const std::vector<Json> leitura = Ledger("LeCartaoDiretoEx");
  ASSERT_EQ(leitura.size(), 1u);
  EXPECT_EQ(leitura[0]["timeout"], 30);
  EXPECT_EQ(Tef().IDAmigo, "TRILHA1\r ( TRILHA2 )");
  EXPECT_TRUE(Houve("opmExibirMsgOperador|Passe o cartão"));
}

// Sound behaviour: an answer longer than the buffer is cut to fit.
TEST_F(DriverTest, AnswerLongerThanTheBufferIsCut) {
  Inicializar();
  Passos(Json::array({{{"cmd", 30}, {"type", 600}}}));
  campos_[600] = std::string(25000, '7');
  Rodar(3);
  const std::vector<Json> respostas = Respostas();
  ASSERT_EQ(respostas.size(), 1u);
  EXPECT_EQ(respostas[0]["answer"].get<std::string>(), std::string(20000, '7'));
}

// Sound behaviour: an error raised by a prompt handler aborts the library
// function before it reaches the caller.
TEST_F(DriverTest, HandlerErrorAbortsTheLibraryFunction) {
  Inicializar();
  Passos(Json::array({{{"cmd", 30}, {"type", 600}}, {{"cmd", 1}, {"text", "depois"}}}));
  aoColetar_ = [] { throw Exception("Conexão perdida"); };
  EXPECT_THROW(Rodar(3), Exception);
  const std::vector<Json> continua = Ledger("ContinuaFuncaoSiTefInterativo");
  ASSERT_EQ(continua.size(), 2u);
  EXPECT_EQ(continua[1]["continue"], -1);
  EXPECT_EQ(continua[1]["result"], -2);
  EXPECT_FALSE(Driver().AguardandoResposta());
  EXPECT_FALSE(Houve("opmExibirMsgOperador|depois"));
}

// A payment the library approves, with both receipt copies.
Json PagamentoAprovado() {
  return {{"functions",
           {{"3",
             {{"steps",
               Json::array({{{"cmd", 0}, {"type", 100}, {"text", "0200"}},
                            {{"cmd", 0}, {"type", 133}, {"text", "{nsu}"}},
                            {{"cmd", 0}, {"type", 121}, {"text", "VIA CLIENTE\n{amount}"}},
                            {{"cmd", 0}, {"type", 122}, {"text", "VIA LOJA\n{amount}"}}})}}}}}};
}

class PaymentFlowTest : public DriverTest {
 public:
  bool Pagar(double valor) {
    Tef().RespostasPendentes().fValorTotalAPagar = Currency::FromDouble(valor);
    Driver().SetOperacaoCRT(3);
    return Tef().CRT(valor, "01");
  }
  std::vector<Json> Finalizacoes() const { return Ledger("FinalizaTransacaoSiTefInterativo"); }
};

TEST_F(PaymentFlowTest, ApprovedPaymentIsPrintedAndConfirmedWithTheLibrary) {
  Inicializar();
  Cenario(PagamentoAprovado());
  ASSERT_TRUE(Pagar(12.5)) << Eventos();
  const std::vector<Json> finalizacoes = Finalizacoes();
  ASSERT_EQ(finalizacoes.size(), 1u) << Eventos();
  EXPECT_EQ(finalizacoes[0]["confirm"], 1);
  EXPECT_EQ(finalizacoes[0]["doc"], Ledger("IniciaFuncaoSiTefInterativo")[0]["doc"]);
  EXPECT_TRUE(Houve("impressao"));
  EXPECT_TRUE(fs::is_empty(pasta_ / "TEF")) << "the confirmed payment's backup must be gone";
}

// Sound behaviour: the flag of a start-up that recovered backups does not
// keep later payments from being finalized with the library.
TEST_F(PaymentFlowTest, PaymentAfterAStartUpThatFoundABackupIsFinalized) {
  Inicializar();
  Tef().SetAutoFinalizarCupom(false);
  Cenario(PagamentoAprovado());
  ASSERT_TRUE(Pagar(10.0));
  ASSERT_FALSE(fs::is_empty(pasta_ / "TEF"));
  ASSERT_TRUE(Finalizacoes().empty());

  NovoComponente();
  Inicializar();
  EXPECT_TRUE(fs::is_empty(pasta_ / "TEF")) << "the start-up confirms the backup";
  EXPECT_TRUE(Finalizacoes().empty()) << "the start-up confirmation does not call the library";
  EXPECT_FALSE(Tef().TransacaoConfirmada);

  ASSERT_TRUE(Pagar(20.0));
  const std::vector<Json> finalizacoes = Finalizacoes();
  ASSERT_EQ(finalizacoes.size(), 1u);
  EXPECT_EQ(finalizacoes[0]["confirm"], 1);
}

// Sound behaviour: an undo stays an undo whatever the print step answered.
TEST_F(PaymentFlowTest, UndoWithASuccessfulPrintStillUndoes) {
  Inicializar();
  Tef().SetAutoFinalizarCupom(false);
  Cenario(PagamentoAprovado());
  ASSERT_TRUE(Pagar(10.0));
  retornoImpressao_ = 1;
  Tef().NCN("", "", "", 10.0, "4711");
  const std::vector<Json> finalizacoes = Finalizacoes();
  ASSERT_EQ(finalizacoes.size(), 1u);
  EXPECT_EQ(finalizacoes[0]["confirm"], 0);
  EXPECT_EQ(finalizacoes[0]["doc"], "4711");
  EXPECT_TRUE(Houve("opmOK|Transação \"TEF\" não efetuada."));
}

TEST_F(PaymentFlowTest, FailedPrintTurnsAConfirmationIntoAnUndo) {
  Inicializar();
  Tef().SetAutoFinalizarCupom(false);
  Cenario(PagamentoAprovado());
  ASSERT_TRUE(Pagar(10.0));
  retornoImpressao_ = 0;
  Tef().CNF("", "", "", "4711");
  ASSERT_EQ(Finalizacoes().size(), 1u);
  EXPECT_EQ(Finalizacoes()[0]["confirm"], 0);
}

TEST_F(PaymentFlowTest, ConfirmarTransacaoFinishesTheOpenTransactionOrAnswersFalse) {
  Inicializar();
  Tef().SetAutoFinalizarCupom(false);
  Cenario(PagamentoAprovado());
  ASSERT_TRUE(Pagar(10.0));
  EXPECT_TRUE(Tef().ConfirmarTransacao(true, "4711"));
  ASSERT_EQ(Finalizacoes().size(), 1u);
  EXPECT_EQ(Finalizacoes()[0]["confirm"], 1);
  EXPECT_EQ(Finalizacoes()[0]["doc"], "4711");

  ASSERT_TRUE(Pagar(10.0));
  Driver().DesInicializar();  // the library is gone: finishing fails
  EXPECT_FALSE(Tef().ConfirmarTransacao(true, "4712"));
  EXPECT_EQ(Finalizacoes().size(), 1u);
}

TEST_F(PaymentFlowTest, ReprintIsNotFinalized) {
  Inicializar();
  Tef().SetAutoFinalizarCupom(false);
  Passos(Json::array(
      {{{"cmd", 0}, {"type", 56}, {"text", "1"}}, {{"cmd", 0}, {"type", 121}, {"text", "VIA"}}}));
  Driver().ADM();
  eventos_.clear();
  Tef().NCN("", "", "", 0, "1");
  EXPECT_TRUE(Finalizacoes().empty());
  EXPECT_EQ(Eventos(), "");
}

// Sound behaviour: a payment whose backup cannot be written is undone with
// the library before the failure is reported.
TEST_F(PaymentFlowTest, PaymentWithoutBackupIsUndone) {
  Inicializar();
  fs::remove_all(pasta_ / "TEF");
  std::ofstream(pasta_ / "TEF") << "not a folder";
  Cenario(PagamentoAprovado());
  EXPECT_ANY_THROW(Pagar(10.0));
  const std::vector<Json> finalizacoes = Finalizacoes();
  ASSERT_EQ(finalizacoes.size(), 1u);
  EXPECT_EQ(finalizacoes[0]["confirm"], 0);
  EXPECT_EQ(finalizacoes[0]["doc"], Ledger("IniciaFuncaoSiTefInterativo")[0]["doc"]);
  EXPECT_EQ(Tef().RespostasPendentes().Count(), 0);
}

// A disk where backups can still be written but, once there, can be neither
// deleted nor replaced (a file another program holds open, say).
class BackupsPresosPlatform : public platform::NativePlatform {
 public:
  bool DeleteFile(const std::string& path) const override {
    return !Backup(path) && platform::NativePlatform::DeleteFile(path);
  }
  bool RenameFile(const std::string& from, const std::string& to) const override {
    return !(Backup(to) && FileExists(to)) && platform::NativePlatform::RenameFile(from, to);
  }

 private:
  static bool Backup(const std::string& path) { return path.ends_with(".tef"); }
  platform::ScopedPlatform scope_{*this};
};

struct CasoFinalizacaoFalha {
  const char* nome;
  bool cancelamento;  // a refund through the built-in CNC flow, else a payment
  bool backupPreso;   // the backup cannot be deleted, else the notice after it fails
};

// Sound behaviour: a confirmation the library took is neither repeated nor
// undone afterwards, even when what follows it fails; a backup that cannot be
// deleted is marked confirmed, and the next start neither confirms nor
// reports it again.
TEST_F(PaymentFlowTest, ATransactionConfirmedWithTheLibraryIsFinishedOnce) {
  const CasoFinalizacaoFalha casos[] = {
      {"payment whose refund notice fails", false, false},
      {"payment whose backup cannot be deleted", false, true},
      {"refund whose notice fails", true, false},
      {"refund whose backup cannot be deleted", true, true},
  };
  for (const CasoFinalizacaoFalha& caso : casos) {
    SCOPED_TRACE(caso.nome);
    tef_.reset();
    fs::remove_all(pasta_);
    fs::create_directories(pasta_);
    SetTestEnvironment("CLISITEF_SIM_SCENARIO", cenario_);
    Cenario(Json::object());
    eventos_.clear();
    NovoComponente();
    std::optional<BackupsPresosPlatform> disco;
    if (caso.backupPreso) {
      disco.emplace();
    }
    avisoQueFalha_ =
        caso.backupPreso ? "" : "Transação efetuada com sucesso.\r\nFavor reter o Cupom";
    Inicializar();
    if (caso.cancelamento) {
      SetTestEnvironment("CLISITEF_SIM_SCENARIO", "");
      TDateTime data = 0;
      TryEncodeDate(2026, 3, 5, data);
      Tef().CNC("CIELO", "4711", data, 10.0);
    } else {
      Json cenario = PagamentoAprovado();
      cenario["functions"]["3"]["steps"].push_back({{"cmd", 0}, {"type", 110}, {"text", "1"}});
      Cenario(cenario);
      Pagar(10.0);
    }
    const auto finalizacoes = [&] {
      std::vector<int> confirmacoes;
      for (const Json& r : Finalizacoes()) {
        confirmacoes.push_back(r["confirm"]);
      }
      return confirmacoes;
    };
    EXPECT_EQ(finalizacoes(), std::vector<int>{1}) << Eventos();
    std::vector<std::string> backups;
    FindFiles((pasta_ / "TEF" / "*.tef").string(), backups, true);
    EXPECT_EQ(backups.size(), caso.backupPreso ? 1u : 0u);
    if (caso.backupPreso && !backups.empty()) {
      TVornCliSiTefRespCliSiTef backup;
      backup.LeArquivo(backups[0]);
      EXPECT_TRUE(backup.CNFEnviado()) << "the backup records its confirmation";
    }

    // A closed connection undoes what is pending: nothing is.
    const std::size_t funcoes = Ledger("IniciaFuncaoSiTefInterativo").size();
    Tef().CancelarTransacoesPendentes();
    EXPECT_EQ(finalizacoes(), std::vector<int>{1});
    EXPECT_EQ(Ledger("IniciaFuncaoSiTefInterativo").size(), funcoes) << "no cancellation either";

    // The next start reports nothing.
    eventos_.clear();
    NovoComponente();
    int relatadas = 0;
    Tef().OnDepoisConfirmarTransacoes = [&](TVornCliSiTefRespostasPendentes& lista) {
      relatadas += lista.Count();
    };
    Inicializar();
    EXPECT_EQ(relatadas, 0);
    EXPECT_EQ(Eventos().find("opmOK|Transação TEF efetuada."), std::string::npos) << Eventos();
    EXPECT_EQ(finalizacoes(), std::vector<int>{1});
  }
}

// Sound behaviour: an undo the library took is not repeated, and a backup
// left behind because it cannot be deleted is never taken up again: neither
// undone a second time by the next clean-up nor confirmed and reported as
// approved by the next start.
TEST_F(PaymentFlowTest, ATransactionUndoneWithTheLibraryIsFinishedOnce) {
  Inicializar();
  Tef().SetAutoFinalizarCupom(false);
  Cenario(PagamentoAprovado());
  ASSERT_TRUE(Pagar(10.0));
  ASSERT_FALSE(fs::is_empty(pasta_ / "TEF"));
  const auto finalizacoes = [&] {
    std::vector<int> confirmacoes;
    for (const Json& r : Finalizacoes()) {
      confirmacoes.push_back(r["confirm"]);
    }
    return confirmacoes;
  };
  {
    BackupsPresosPlatform disco;
    // The payment's clean-up, then that of a connection closed later.
    Tef().CancelarTransacoesPendentes();
    Tef().CancelarTransacoesPendentes();
    EXPECT_EQ(finalizacoes(), std::vector<int>{0}) << Eventos();
  }

  NovoComponente();
  int relatadas = 0;
  Tef().OnDepoisConfirmarTransacoes = [&](TVornCliSiTefRespostasPendentes& lista) {
    relatadas += lista.Count();
  };
  Inicializar();
  EXPECT_EQ(relatadas, 0);
  EXPECT_EQ(finalizacoes(), std::vector<int>{0});
  EXPECT_TRUE(fs::is_empty(pasta_ / "TEF"));
}

TEST(RespCliSiTefTest, ModalityAndTotalsMapping) {
  struct Caso {
    const char* nome;
    std::vector<std::pair<std::string, std::string>> campos;  // "NNN-SSS", value
    std::function<void(const TVornCliSiTefRespCliSiTef&)> verificar;
  };
  const std::vector<Caso> casos = {
      {"0203 is credit in card-issuer instalments",
       {{"100-000", "0203"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_TRUE(r.Credito());
         EXPECT_FALSE(r.Debito());
         EXPECT_EQ(r.ParceladoPor(), parcADM);
         EXPECT_EQ(r.TipoOperacao(), opParcelado);
       }},
      {"0100 is debit in cash",
       {{"100-000", "0100"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_TRUE(r.Debito());
         EXPECT_EQ(r.TipoOperacao(), opAvista);
         EXPECT_EQ(r.ParceladoPor(), parcNenhum);
       }},
      {"0202 is store instalments",
       {{"100-000", "0202"}},
       [](const TVornCliSiTefRespCliSiTef& r) { EXPECT_EQ(r.ParceladoPor(), parcLoja); }},
      {"non-numeric modality",
       {{"100-000", "PIX"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_FALSE(r.Debito());
         EXPECT_FALSE(r.Credito());
         EXPECT_EQ(r.TipoOperacao(), opAvista);
       }},
      {"withdrawal adds to the total",
       {{"130-000", "2000"}, {"899-103", "10000"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_EQ(r.ValorTotal(), Currency::FromCents(12000));
         EXPECT_EQ(r.Saque(), Currency::FromCents(2000));
       }},
      {"discount lowers the total",
       {{"130-000", "2000"}, {"899-103", "10000"}, {"4029-000", "500"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_EQ(r.ValorTotal(), Currency::FromCents(11500));
       }},
      {"instalments with 141",
       {{"505-000", "3"},
        {"141-001", "05042026"},
        {"142-001", "1000"},
        {"141-002", "05052026"},
        {"142-002", "1000"},
        {"141-003", "05062026"},
        {"142-003", "1001"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         ASSERT_EQ(r.Parcelas().Count(), 3);
         EXPECT_EQ(r.Parcelas()[2].fsValorParcela, Currency::FromCents(1001));
         EXPECT_EQ(FormatDateTime("dd/mm/yyyy", r.Parcelas()[1].fsVencimentoParcela), "05/05/2026");
       }},
      {"instalments without 141",
       {{"505-000", "3"}, {"142-001", "1000"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_EQ(r.QtdParcelas(), 3);
         EXPECT_EQ(r.Parcelas().Count(), 0);
       }},
      {"person type codes",
       {{"501-000", "1"}},
       [](const TVornCliSiTefRespCliSiTef& r) { EXPECT_EQ(r.TipoPessoa(), 'F'); }},
      {"person type J",
       {{"501-000", "0"}},
       [](const TVornCliSiTefRespCliSiTef& r) { EXPECT_EQ(r.TipoPessoa(), 'J'); }},
      {"receipt lines and escaped bytes",
       {{"121-000", "L1\\x0AL2\\x0A"}, {"122-000", "A\\x0AB\\x0AC"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_EQ(r.ImagemComprovante1aVia(), (std::vector<std::string>{"L1", "L2"}));
         EXPECT_EQ(r.QtdLinhasComprovante(), 3);
       }},
      {"cheque number from CMC7",
       {{"613-000", "12345678901234567890ABCDEF123"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_EQ(r.Cheque(), "ABCDEF");
         EXPECT_EQ(r.CMC7(), "12345678901234567890ABCDEF123");
       }},
      {"host date-time and confirmation flag",
       {{"105-000", "20260305140709"}, {"899-001", "s"}, {"899-002", "07"}},
       [](const TVornCliSiTefRespCliSiTef& r) {
         EXPECT_EQ(FormatDateTime("yyyymmddhhnnss", r.DataHoraTransacaoHost()), "20260305140709");
         EXPECT_TRUE(r.CNFEnviado());
         EXPECT_EQ(r.IndiceFPG_ECF(), "07");
       }},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    TVornCliSiTefRespCliSiTef resp;
    for (const auto& [chave, valor] : caso.campos) {
      resp.Conteudo().GravaInformacao(AnsiFromBytes(chave), AnsiFromBytes(valor));
    }
    resp.ConteudoToProperty();
    caso.verificar(resp);
  }
}

TEST(RespCliSiTefTest, GravaInformacaoSequencesAndEscapes) {
  TVornCliSiTefRespCliSiTef resp;
  resp.GravaInformacao(141, "01012026");
  resp.GravaInformacao(141, "01022026");
  resp.GravaInformacao(100, "0100");
  resp.GravaInformacao(100, "0200");
  resp.GravaInformacao(121, "A\nB");
  EXPECT_EQ(resp.Conteudo().LeInformacao(141, 1).AsString(), "01012026");
  EXPECT_EQ(resp.Conteudo().LeInformacao(141, 2).AsString(), "01022026");
  EXPECT_EQ(resp.Conteudo().LeInformacao(100, 0).AsString(), "0200");
  EXPECT_EQ(resp.Conteudo().LeInformacao(121, 0).AsString(), "A\\x0AB");
  EXPECT_TRUE(resp.fMsgImpressao);
}

}  // namespace
