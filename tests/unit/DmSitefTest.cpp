#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "FakePlatform.h"
#include "NativePath.h"
#include "api/Base64.h"
#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "util/VornCliSiTefUtil.h"

namespace {

constexpr char kKey[] = "Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U";

// A connection that keeps what the gateway sends.
class RecordingConnection : public ClientConnection {
 public:
  std::uint64_t Id() const override { return 7; }
  std::string PeerAddress() const override { return "192.0.2.7:51234"; }
  void SendClientMessage(const std::string& text) override { sent.push_back(text); }
  std::string DecodeWebSocketFrame() override { throw EConnectionClosed("closed"); }
  bool HasInputPending(std::chrono::milliseconds) override { return false; }
  void Close() override {}
  bool Connected() const override { return true; }

  // Everything sent since the last call.
  std::vector<std::string> Take() { return std::exchange(sent, {}); }

  std::vector<std::string> sent;
};

// The platform of these tests: the fake clock, plus control over GUIDs and a
// record of the printing program's start instead of a real process.
class TestPlatform : public FakePlatform {
 public:
  std::string NewGuid() const override {
    return failGuid ? std::string() : FakePlatform::NewGuid();
  }
  void ShellOpen(const std::string& program, const std::string& parameters,
                 std::uint16_t) const override {
    started.push_back(program + " " + parameters);
  }
  void TerminateProcessesNamed(const std::string& name) const override {
    terminated.push_back(name);
  }

  bool failGuid = false;
  mutable std::vector<std::string> started;
  mutable std::vector<std::string> terminated;
};

std::string HS256(const std::string& payload, const std::string& key = kKey) {
  const std::string input =
      Base64UrlEncode(R"({"alg":"HS256","typ":"JWT"})") + "." + Base64UrlEncode(payload);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(input.data()), input.size(), mac, &length);
  return input + "." + Base64UrlEncode(std::string(reinterpret_cast<char*>(mac), length));
}

// The claims of a good session start, with members replaced or removed (null).
std::string Claims(const std::map<std::string, const char*>& changes = {}) {
  std::vector<std::pair<std::string, std::string>> claims = {
      {"secctional_code", R"("1009")"},
      {"ip_address", R"("10.0.0.5")"},
      {"store_code", R"("00000001")"},
      {"additional_parameters", R"("[ParmsClient=1;]\r\nTipoComunicacaoExterna=TLS\n")"},
      {"operator", R"("Operação")"},
      {"sale_id", "42"},
      {"company_id", R"("3")"},
      {"callback_url", R"("https://api.example/")"}};
  std::string text;
  for (const auto& [name, value] : claims) {
    const auto change = changes.find(name);
    const char* written = change == changes.end() ? value.c_str() : change->second;
    if (written != nullptr) {
      text += (text.empty() ? "" : ",") + ("\"" + name + "\":") + written;
    }
  }
  return "{" + text + "}";
}

std::string Start(const std::string& token) {
  return R"({"route":"/session/start","type":"session","token":")" + token + R"("})";
}

class DmSitefTest : public ::testing::Test {
 protected:
  DmSitefTest() {
    os.SetExecutablePath(app.Path() + "SvcQuorelSiTef");
    WriteIni("[sitef]\npdv_number=0\nprinter=Balcao\n");
  }

  void WriteIni(const std::string& text) {
    std::ofstream(app.Path() + "SvcQuorelSiTef.ini") << text;
  }

  // Starts a session and returns its identifier.
  std::string Open() {
    dm.RouteTargeting(Start(HS256(Claims())), connection);
    const auto reply = connection.Take();
    EXPECT_EQ(reply.size(), 1u);
    return GetValue(*ParseJsonMessage(reply.at(0)), "session_uuid");
  }

  void Advance(int seconds) {
    TDateTime now = 0;
    TryEncodeDateTime(os.LocalNow(), now);
    os.SetNow(DecodeDateTime(now + seconds / 86400.0));
  }

  TempDir app;
  TestPlatform os;
  TIniConfig config{app.Path() + "SvcQuorelSiTef.ini"};
  TDmSitef dm{config};
  RecordingConnection connection;
};

TEST_F(DmSitefTest, SessionStartAppliesTheClaimsAndAnswers) {
  dm.RouteTargeting(Start(HS256(Claims())), connection);
  const auto reply = connection.Take();
  ASSERT_EQ(reply.size(), 1u);
  const std::regex expected(
      R"(\{"type":"session","status":"created","message":"Sess\\u00E3o criada com sucesso\.",)"
      R"("expiration":"2026-12-10T17:37:09\.123Z","session_uuid":"[0-9A-F]{8}-[0-9A-F]{4}-)"
      R"([0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}","store_code":"00000001","terminal_number":"AG100900"\})");
  EXPECT_TRUE(std::regex_match(reply[0], expected)) << reply[0];

  const TConfiguracaoCliSiTef terminal = dm.CliSiTef();
  EXPECT_TRUE(terminal.FTEFModoServico);
  EXPECT_EQ(terminal.fPathDLL, app.Path() + NativePath("dll/"));
  EXPECT_EQ(terminal.fEnderecoIP, VornAnsiStr("10.0.0.5"));
  EXPECT_EQ(terminal.fCodigoLoja, VornAnsiStr("00000001"));
  EXPECT_EQ(terminal.fNumeroTerminal, VornAnsiStr("AG100900"));
  EXPECT_EQ(terminal.fParametrosAdicionais,
            (std::vector<std::string>{"[ParmsClient=1;]", "TipoComunicacaoExterna=TLS"}));
  EXPECT_EQ(terminal.fOperador, AnsiFromBytes("Opera\xE7\xE3o"));
  EXPECT_EQ(terminal.fRestricoes, VornAnsiStr("{DevolveStringQRCode=1}"));
  EXPECT_EQ(dm.Venda_Id(), 42);
  EXPECT_EQ(dm.Empresa_Id(), 3);
  EXPECT_EQ(dm.CallbackURL(), "https://api.example/");
  EXPECT_EQ(dm.SessionList().Count(), 1u);
}

TEST_F(DmSitefTest, LibraryKeyNamesTheLibraryFile) {
  const struct {
    const char* name;
    const char* ini;
    std::string folder;
    std::string file;
  } cases[] = {
      {"no key", "", app.Path() + NativePath("dll/"), "CliSiTef32I.dll"},
      {"blank value", "library=  \n", app.Path() + NativePath("dll/"), "CliSiTef32I.dll"},
      {"path beside the executable", "library=lib64/CliSiTef64I.dll\n", app.Path() + "lib64/",
       "CliSiTef64I.dll"},
      {"file beside the executable", "library=CliSiTef32I.dll\n", app.Path(), "CliSiTef32I.dll"},
      {"absolute path", "library=/opt/clisitef/CliSiTef64I.dll\n", "/opt/clisitef/",
       "CliSiTef64I.dll"},
  };
  for (const auto& row : cases) {
    WriteIni(std::string("[sitef]\n") + row.ini);
    Open();
    EXPECT_EQ(dm.CliSiTef().fPathDLL, row.folder) << row.name;
    EXPECT_EQ(dm.CliSiTef().fNomeDLL, row.file) << row.name;
  }
}

TEST_F(DmSitefTest, RefusedSessionStartChangesNothing) {
  Open();
  const TConfiguracaoCliSiTef before = dm.CliSiTef();
  const struct {
    std::string message;
    const char* error;
  } cases[] = {
      {"[1]", "Configuração de entrada inválida."},
      {R"("nada")", "Configuração de entrada inválida."},
      {R"({"type":"sessao","token":"x"})",
       R"(Configuração de entrada inválida: type diferente de "session".)"},
      {R"({"token":"x"})", "Campo type nao encontrado."},
      {R"({"type":"session"})", "Campo token nao encontrado."},
      {Start(HS256(Claims(), "outra-chave")), "Acesso não autorizado."},
      {Start(HS256(Claims({{"exp", nullptr}}).insert(1, R"("exp":1000,)"))),
       "Acesso não autorizado."},
      {Start(HS256(Claims({{"secctional_code", nullptr}, {"sale_id", "0"}}))),
       "Campo secctional_code nao encontrado."},
      {Start(HS256(Claims({{"ip_address", nullptr}}))), "Campo ip_address nao encontrado."},
      {Start(HS256(Claims({{"store_code", nullptr}}))), "Campo store_code nao encontrado."},
      {Start(HS256(Claims({{"additional_parameters", nullptr}}))),
       "Campo additional_parameters nao encontrado."},
      {Start(HS256(Claims({{"operator", nullptr}}))), "Campo operator nao encontrado."},
      {Start(HS256(Claims({{"sale_id", nullptr}}))), "Campo sale_id nao encontrado."},
      {Start(HS256(Claims({{"company_id", nullptr}}))), "Campo company_id nao encontrado."},
      {Start(HS256(Claims({{"callback_url", nullptr}}))), "Campo callback_url nao encontrado."},
      {Start(HS256(Claims({{"sale_id", R"("12a")"}}))), "'12a' não é um valor inteiro válido."},
      {Start(HS256(Claims({{"sale_id", "99999999999"}}))),
       "'99999999999' não é um valor inteiro válido."},
      {Start(HS256(Claims({{"company_id", "1.5"}}))), "'1.5' não é um valor inteiro válido."},
      {Start(HS256(Claims({{"sale_id", "0"}}))), "ID de venda não informado."},
      {Start(HS256(Claims({{"sale_id", "-3"}, {"company_id", R"("x")"}}))),
       "'x' não é um valor inteiro válido."},
      {Start(HS256(Claims({{"callback_url", R"("   ")"}}))), "URL de callback não informada."},
  };
  for (const auto& row : cases) {
    dm.CreateSession(*ParseJsonMessage(row.message), connection);
    EXPECT_EQ(connection.Take(), std::vector<std::string>{TDmSitef::GetJsonError(row.error)})
        << row.message;
  }
  const TConfiguracaoCliSiTef after = dm.CliSiTef();
  EXPECT_EQ(after.fNumeroTerminal, before.fNumeroTerminal);
  EXPECT_EQ(after.fEnderecoIP, before.fEnderecoIP);
  EXPECT_EQ(dm.Venda_Id(), 42);
  EXPECT_EQ(dm.CallbackURL(), "https://api.example/");
  EXPECT_EQ(dm.SessionList().Count(), 1u);
}

TEST_F(DmSitefTest, TerminalNumberAndRestrictionsFollowTheConfiguration) {
  const struct {
    const char* ini;
    const char* sectional;
    const char* terminal;
    const char* restrictions;
  } cases[] = {
      {"[sitef]\npdv_number=0\n", R"("1009")", "AG100900", "{DevolveStringQRCode=1}"},
      {"[sitef]\npdv_number=7\n", R"("12345")", "AG123407", "{DevolveStringQRCode=1}"},
      {"[sitef]\npdv_number=123\n", "12", "AG001212", "{DevolveStringQRCode=1}"},
      {"[SITEF]\npdv_number=x\nqrcode_on_pinpad=1\n", R"("1009")", "AG100900", ""},
  };
  for (const auto& row : cases) {
    TDmSitef fresh(config);
    WriteIni(row.ini);
    fresh.CreateSession(
        *ParseJsonMessage(Start(HS256(Claims({{"secctional_code", row.sectional}})))), connection);
    connection.Take();
    EXPECT_EQ(fresh.CliSiTef().fNumeroTerminal, VornAnsiStr(row.terminal)) << row.ini;
    EXPECT_EQ(fresh.CliSiTef().fRestricoes, VornAnsiStr(row.restrictions)) << row.ini;
  }
}

TEST_F(DmSitefTest, SessionWithoutIdentifierIsNotCreated) {
  os.failGuid = true;
  dm.CreateSession(*ParseJsonMessage(Start(HS256(Claims()))), connection);
  EXPECT_EQ(connection.Take(), std::vector<std::string>{TDmSitef::GetJsonError(
                                   "Não foi possível gerar o identificador da sessão.")});
  EXPECT_EQ(dm.SessionList().Count(), 0u);
  EXPECT_EQ(dm.Venda_Id(), 0);
}

TEST_F(DmSitefTest, SessionExpiresAfterThirtyMinutes) {
  const std::string uuid = Open();
  const std::string finish =
      R"({"route":"/session/finish","type":"session","session_uuid":")" + uuid + R"("})";
  Advance(1799);
  TSession session;
  EXPECT_TRUE(dm.ValidateSession(*ParseJsonMessage(finish), connection, session));
  Advance(1);
  dm.RouteTargeting(finish, connection);
  EXPECT_EQ(connection.Take(),
            std::vector<std::string>{TDmSitef::GetJsonError("Sessão expirada.")});
  dm.RouteTargeting(finish, connection);
  EXPECT_EQ(connection.Take(),
            std::vector<std::string>{TDmSitef::GetJsonError("Sessão inválida.")});
}

TEST_F(DmSitefTest, ExpiryIsDecidedInUtc) {
  // Created at 14:07 local, UTC-2; the clock then falls back an hour (UTC-3)
  // and shows 13:50 local, 50 minutes later in UTC: the session has expired
  // although the local clock is before its local expiry.
  os.SetUtcOffsetMinutes(-120);
  const std::string uuid = Open();
  os.SetUtcOffsetMinutes(-180);
  os.SetNow({2026, 12, 10, 13, 50, 0, 0});
  TSession session;
  EXPECT_FALSE(dm.ValidateSession(*ParseJsonMessage(R"({"session_uuid":")" + uuid + R"("})"),
                                  connection, session));
  EXPECT_EQ(connection.Take(),
            std::vector<std::string>{TDmSitef::GetJsonError("Sessão expirada.")});
}

TEST_F(DmSitefTest, ExpiredSessionsAreSweptWhenASessionIsCreated) {
  Open();
  Open();
  Advance(1800);
  EXPECT_EQ(dm.SessionList().Count(), 2u);
  const std::string live = Open();
  EXPECT_EQ(dm.SessionList().Count(), 1u);
  EXPECT_TRUE(dm.SessionList().GetSession(live).has_value());
}

TEST_F(DmSitefTest, FinishTwice) {
  const std::string finish =
      R"({"route":"/session/finish","type":"session","session_uuid":")" + Open() + R"("})";
  dm.RouteTargeting(finish, connection);
  EXPECT_EQ(
      connection.Take(),
      std::vector<std::string>{
          R"({"type":"session","status":"finished","message":"Sess\u00E3o finalizada com sucesso."})"});
  dm.RouteTargeting(finish, connection);
  EXPECT_EQ(connection.Take(),
            std::vector<std::string>{TDmSitef::GetJsonError("Sessão inválida.")});
}

TEST_F(DmSitefTest, RouteDispatch) {
  const std::string live = Open();
  const auto withSession = [&](const std::string& route, const std::string& uuid) {
    return R"({"route":")" + route + R"(","type":"session","session_uuid":")" + uuid + R"("})";
  };
  const struct {
    const char* name;
    std::string message;
    std::vector<std::string> replies;
  } cases[] = {
      {"not JSON", "olá", {}},
      {"truncated JSON", R"({"route":"/version")", {}},
      {"no route",
       R"({"type":"version"})",
       {TDmSitef::GetJsonError("Campo route nao encontrado.")}},
      {"unknown route, live session", withSession("/nada", live), {}},
      {"unknown route, unknown session",
       withSession("/nada", "X"),
       {TDmSitef::GetJsonError("Sessão inválida.")}},
      {"unknown route, no session",
       R"({"route":"/nada"})",
       {TDmSitef::GetJsonError("Campo session_uuid nao encontrado.")}},
      {"start in another letter case", withSession("/Session/start", live), {}},
      {"finish with the wrong type",
       R"({"route":"/session/finish","type":"sessao","session_uuid":")" + live + R"("})",
       {TDmSitef::GetJsonError("Campo type diferente de session.")}},
      {"start that is not a start",
       R"({"route":"/session/start","type":1,"token":2})",
       {TDmSitef::GetJsonError(
           R"(Configuração de entrada inválida: type diferente de "session".)")}},
      {"route as a number", R"({"route":5,"session_uuid":")" + live + R"("})", {}},
  };
  for (const auto& row : cases) {
    dm.RouteTargeting(row.message, connection);
    EXPECT_EQ(connection.Take(), row.replies) << row.name;
  }
  EXPECT_THROW(dm.RouteTargeting(R"([{"route":"/version"}])", connection), std::exception);
  EXPECT_THROW(dm.RouteTargeting(R"("texto")", connection), std::exception);
  EXPECT_TRUE(connection.Take().empty());
}

TEST_F(DmSitefTest, VersionQuery) {
  // The test program carries the gateway's version, like the executable.
  const std::string program = os.platform::NativePlatform::ExecutablePath();
  const std::string executable = app.Path() + "SvcQuorelSiTef" GATEWAY_EXECUTABLE_SUFFIX;
  os.SetExecutablePath(executable);
  std::filesystem::copy_file(program, executable);
  std::filesystem::create_directory(app.Path() + "dll");
  const auto version = [](const char* category) {
    return R"({"route":"/version","type":"version","category":")" + std::string(category) + R"("})";
  };
  const auto reply = [](const char* category, const char* text) {
    return R"({"type":"version","category":")" + std::string(category) + R"(","version":")" + text +
           R"("})";
  };
  const struct {
    const char* name;
    std::string message;
    std::string reply;
  } cases[] = {
      {"service", version("service_exe"), reply("service_exe", "1.0.12.0")},
      {"library before any session", version("clisitef_dll"),
       reply("clisitef_dll", "Vers\\u00E3o n\\u00E3o encontrada")},
      {"wrong type", R"({"route":"/version","type":"versao","category":"service_exe"})",
       TDmSitef::GetJsonError("Campo type diferente de version.")},
      {"no type", R"({"route":"/version","category":"service_exe"})",
       TDmSitef::GetJsonError("Campo type nao encontrado.")},
      {"unknown category", version("Service_exe"),
       TDmSitef::GetJsonError(
           "Categoria inválida. Valores permitidos [service_exe, clisitef_dll]")},
      {"no category", R"({"route":"/version","type":"version"})",
       TDmSitef::GetJsonError("Erro ao verificar pinpad: Campo category nao encontrado.")},
  };
  for (const auto& row : cases) {
    dm.RouteTargeting(row.message, connection);
    EXPECT_EQ(connection.Take(), std::vector<std::string>{row.reply}) << row.name;
  }

  Open();
  std::ofstream(app.Path() + "dll/CliSiTef32I.dll") << "no version here";
  dm.RouteTargeting(version("clisitef_dll"), connection);
  EXPECT_EQ(connection.Take(),
            std::vector<std::string>{reply("clisitef_dll", "Vers\\u00E3o n\\u00E3o encontrada")});
  std::filesystem::copy_file(program, app.Path() + "dll/CliSiTef32I.dll",
                             std::filesystem::copy_options::overwrite_existing);
  dm.RouteTargeting(version("clisitef_dll"), connection);
  EXPECT_EQ(connection.Take(), std::vector<std::string>{reply("clisitef_dll", "1.0.12.0")});
}

class PrintTest : public DmSitefTest {
 protected:
  PrintTest() {
    std::ofstream(app.Path() + "SumatraPDF.exe") << "program";
    std::ofstream(app.Path() + "libmupdf.dll") << "library";
  }

  static std::string Request(const std::string& data, const char* fileType = "pdf") {
    return R"({"route":"/print","type":"print","data":")" + data + R"(","file_type":")" + fileType +
           R"("})";
  }

  std::string Printed() const {
    return platform::Current().ReadFile(app.Path() + "Temp.pdf").value_or("<none>");
  }
};

TEST_F(PrintTest, Replies) {
  const std::string pdf = Base64Encode("%PDF-1.4 tiny");
  const struct {
    const char* name;
    const char* ini;
    const char* remove;
    std::string message;
    std::string reply;
  } cases[] = {
      {"wrong type", nullptr, nullptr,
       R"({"route":"/print","type":"imprimir","data":"x","file_type":"pdf"})",
       TDmSitef::GetJsonError("Campo type diferente de print.")},
      {"no data", nullptr, nullptr, R"({"route":"/print","type":"print","file_type":"pdf"})",
       TDmSitef::GetJsonError("Campo data nao encontrado.")},
      {"blank data", nullptr, nullptr, Request(" \\r\\n "),
       TDmSitef::GetJsonError("Campo \"data\" não foi preenchido.")},
      {"upper-case file type", nullptr, nullptr, Request(pdf, "PDF"),
       TDmSitef::GetJsonError("Tipo do arquivo inválido. Valor permitido [pdf]")},
      {"no file type", nullptr, nullptr, R"({"route":"/print","type":"print","data":"QQ=="})",
       TDmSitef::GetJsonError("Erro ao imprimir: Campo file_type nao encontrado.")},
      {"no printer", "[sitef]\nprinter=\n", nullptr, Request(pdf),
       TDmSitef::GetJsonError("Impressora não definida.")},
      {"no program", nullptr, "SumatraPDF.exe", Request(pdf),
       TDmSitef::GetJsonError("SumatraPDF não localizado.")},
      {"no library", nullptr, "libmupdf.dll", Request(pdf),
       TDmSitef::GetJsonError("libmupdf.dll não localizado.")},
      {"not base64", nullptr, nullptr, Request("QQ*="),
       "Erro na conversão do arquivo: Caractere inválido no texto base64 na posição 3."},
      {"base64 of a wrong length", nullptr, nullptr, Request("QUJD="),
       "Erro na conversão do arquivo: Texto base64 com tamanho inválido."},
  };
  for (const auto& row : cases) {
    PrintTest::SetUp();
    WriteIni(row.ini ? row.ini : "[sitef]\nprinter=Balcao\n");
    std::ofstream(app.Path() + "SumatraPDF.exe") << "program";
    std::ofstream(app.Path() + "libmupdf.dll") << "library";
    if (row.remove) {
      std::filesystem::remove(app.Path() + row.remove);
    }
    dm.RouteTargeting(row.message, connection);
    EXPECT_EQ(connection.Take(), std::vector<std::string>{row.reply}) << row.name;
  }
  EXPECT_TRUE(os.started.empty());
}

TEST_F(PrintTest, PrintsTheDecodedDocumentSilently) {
  const std::string document = "%PDF-1.4\n\x01\x02\xFF binary %%EOF";
  const std::string base64 = Base64Encode(document);
  std::string crlf;
  for (std::size_t i = 0; i < base64.size(); i += 8) {
    crlf += base64.substr(i, 8) + "\\r\\n";
  }
  const std::string cases[] = {base64, "data:application/pdf;base64," + base64, crlf,
                               " " + base64.substr(0, 4) + " " + base64.substr(4)};
  for (const std::string& data : cases) {
    std::filesystem::remove(app.Path() + "Temp.pdf");
    os.started.clear();
    dm.RouteTargeting(Request(data), connection);
    EXPECT_TRUE(connection.Take().empty()) << data;
    EXPECT_EQ(Printed(), document) << data;
    EXPECT_EQ(os.terminated.back(), "SumatraPDF.exe");
    EXPECT_EQ(
        os.started,
        std::vector<std::string>{app.Path() + "SumatraPDF.exe -print-to \"Balcao\" -silent \"" +
                                 app.Path() + "Temp.pdf\""})
        << data;
  }
}

}  // namespace
