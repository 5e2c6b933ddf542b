// Drives the built stand-in CliSiTef library through its exported functions,
// the way the gateway's driver does, with a temporary scenario and ledger per test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "platform/CallingConvention.h"
#include "platform/Platform.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr int kCommandReturned = 10000;
constexpr int kBufferSize = 20001;

struct Library {
  using Configura = int(VORN_STDCALL*)(const char*, const char*, const char*, short, const char*);
  using Inicia = int(VORN_STDCALL*)(int, const char*, const char*, const char*, const char*,
                                    const char*, const char*);
  using Continua = int(VORN_STDCALL*)(int*, int*, short*, short*, char*, int, int);
  using Finaliza = int(VORN_STDCALL*)(short, const char*, const char*, const char*);
  using Escreve = int(VORN_STDCALL*)(const char*);
  using Verifica = int(VORN_STDCALL*)();
  using ObtemPendentes = int(VORN_STDCALL*)(const char*, const char*);
  using LeCartaoDireto = int(VORN_STDCALL*)(char*, char*, char*, short, short);
  using LeTrilha = int(VORN_STDCALL*)(char*);

  void* handle = nullptr;
  Configura configura = nullptr;
  Inicia inicia = nullptr;
  Continua continua = nullptr;
  Finaliza finaliza = nullptr;
  Escreve escreve = nullptr;
  Verifica verifica = nullptr;
  ObtemPendentes obtemPendentes = nullptr;
  LeCartaoDireto leCartaoDireto = nullptr;
  LeTrilha leTrilha3 = nullptr;

  template <typename F>
  void Find(F& function, const char* name) {
    function = reinterpret_cast<F>(platform::Current().FindSymbol(handle, name));
    ASSERT_NE(function, nullptr) << name;
  }

  static Library& Get() {
    static Library library = [] {
      Library l;
      l.handle = platform::Current().LoadLibrary(SIM_LIBRARY_PATH);
      EXPECT_NE(l.handle, nullptr) << SIM_LIBRARY_PATH;
      if (l.handle != nullptr) {
        l.Find(l.configura, "ConfiguraIntSiTefInterativoEx");
        l.Find(l.inicia, "IniciaFuncaoSiTefInterativo");
        l.Find(l.continua, "ContinuaFuncaoSiTefInterativo");
        l.Find(l.finaliza, "FinalizaTransacaoSiTefInterativo");
        l.Find(l.escreve, "EscreveMensagemPermanentePinPad");
        l.Find(l.verifica, "VerificaPresencaPinPad");
        l.Find(l.obtemPendentes, "ObtemQuantidadeTransacoesPendentes");
        l.Find(l.leCartaoDireto, "LeCartaoDiretoEx");
        l.Find(l.leTrilha3, "LeTrilha3");
      }
      return l;
    }();
    return library;
  }
};

// One command as the library returned it.
struct Returned {
  int result = 0;
  int cmd = -99;
  int type = -99;
  int min = -99;
  int max = -99;
  std::string text;
};

class CliSiTefSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = &Library::Get();
    ASSERT_NE(lib_->continua, nullptr);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/')
        c = '-';
    }
    dir_ = std::filesystem::temp_directory_path() /
           ("clisitef-sim-" + name + "-" + std::to_string(std::random_device()()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    SetTestEnvironment("CLISITEF_SIM_LEDGER", (dir_ / "ledger").string());
    SetTestEnvironment("CLISITEF_SIM_SCENARIO", "");
  }

  void TearDown() override { std::filesystem::remove_all(dir_); }

  void UseScenario(const Json& scenario) { UseScenarioText(scenario.dump()); }

  void UseScenarioText(const std::string& text) {
    const auto path = dir_ / "scenario.json";
    std::ofstream(path) << text;
    SetTestEnvironment("CLISITEF_SIM_SCENARIO", path.string());
  }

  // A scenario whose modality 0 is `function`.
  void UseFunction(const Json& function) { UseScenario({{"functions", {{"0", function}}}}); }

  std::vector<Json> Ledger() const {
    std::vector<Json> records;
    std::ifstream in(dir_ / "ledger");
    for (std::string line; std::getline(in, line);) {
      records.push_back(Json::parse(line));
    }
    return records;
  }

  std::vector<Json> LedgerOf(const std::string& function) const {
    std::vector<Json> records;
    for (const Json& record : Ledger()) {
      if (record["fn"] == function)
        records.push_back(record);
    }
    return records;
  }

  int Start(int modality, const char* amount = "12,50") {
    buffer_.assign(kBufferSize, 0);
    return lib_->inicia(modality, amount, "4711", "20240305", "140709", "OPERADOR", "[10];");
  }

  Returned Continue(const std::string& answer, int continueCode = 0) {
    std::copy(answer.begin(), answer.end(), buffer_.begin());
    buffer_[answer.size()] = 0;
    Returned r;
    short min = -99;
    short max = -99;
    r.result =
        lib_->continua(&r.cmd, &r.type, &min, &max, buffer_.data(), kBufferSize, continueCode);
    r.min = min;
    r.max = max;
    r.text = buffer_.data();
    return r;
  }

  Library* lib_ = nullptr;
  std::filesystem::path dir_;
  std::vector<char> buffer_ = std::vector<char>(kBufferSize, 0);
};

TEST_F(CliSiTefSimTest, PlaysStepsInOrderAndRecordsAnswersAgainstExpectations) {
  UseFunction({{"steps",
                {{{"cmd", 1}, {"text", "Ola"}},
                 {{"cmd", 30},
                  {"type", 512},
                  {"min", 13},
                  {"max", 19},
                  {"text", "Cartao"},
                  {"expect", "4111111111111111"}},
                 {{"cmd", 20}, {"text", "Confirma?"}, {"expect", "0"}}}}});
  ASSERT_EQ(Start(0), kCommandReturned);

  const Returned first = Continue("");
  EXPECT_EQ(first.result, kCommandReturned);
  EXPECT_EQ(first.cmd, 1);
  EXPECT_EQ(first.type, -1);
  EXPECT_EQ(first.min, 0);
  EXPECT_EQ(first.max, 0);
  EXPECT_EQ(first.text, "Ola");
  const Returned field = Continue("");
  EXPECT_EQ(field.cmd, 30);
  EXPECT_EQ(field.type, 512);
  EXPECT_EQ(field.min, 13);
  EXPECT_EQ(field.max, 19);
  EXPECT_EQ(field.text, "Cartao");
  EXPECT_EQ(Continue("4111111111111111").cmd, 20);
  EXPECT_EQ(Continue("1").result, 0);

  const auto calls = LedgerOf("ContinuaFuncaoSiTefInterativo");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_FALSE(calls[0].contains("answered_cmd"));
  EXPECT_EQ(calls[2]["answer"], "4111111111111111");
  EXPECT_EQ(calls[2]["answered_type"], 512);
  EXPECT_EQ(calls[2]["expect"], "4111111111111111");
  EXPECT_FALSE(calls[2].contains("mismatch"));
  EXPECT_EQ(calls[3]["answered_cmd"], 20);
  EXPECT_EQ(calls[3]["answer"], "1");
  EXPECT_EQ(calls[3]["expect"], "0");
  EXPECT_EQ(calls[3]["mismatch"], true);
  EXPECT_EQ(calls[3]["result"], 0);
  EXPECT_EQ(calls[1]["buffer"], "Cartao");
}

TEST_F(CliSiTefSimTest, EndsWithStartFinalOrAbortStatus) {
  const Json menu = {{{"cmd", 21}, {"text", "1:A;2:B;"}}};
  struct Case {
    const char* name;
    Json function;
    int start;
    std::vector<int> continueCodes;
    std::vector<int> results;
  };
  const std::vector<Case> cases = {
      {"no steps: final defaults to 0", Json::object(), kCommandReturned, {0}, {0}},
      {"final status given",
       {{"steps", menu}, {"final", 255}},
       kCommandReturned,
       {0, 0},
       {kCommandReturned, 255}},
      {"abort defaults to -2",
       {{"steps", menu}, {"final", 255}},
       kCommandReturned,
       {0, -1},
       {kCommandReturned, -2}},
      {"abort status given",
       {{"steps", menu}, {"abort_status", -6}},
       kCommandReturned,
       {0, -1},
       {kCommandReturned, -6}},
      {"start refused: nothing runs", {{"steps", menu}, {"start", -5}}, -5, {0}, {-1}},
      {"after the final status nothing runs", Json::object(), kCommandReturned, {0, 0}, {0, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFunction(c.function);
    EXPECT_EQ(Start(0), c.start);
    std::vector<int> results;
    for (const int code : c.continueCodes) {
      results.push_back(Continue("1", code).result);
    }
    EXPECT_EQ(results, c.results);
  }
}

TEST_F(CliSiTefSimTest, UnknownModalityWithoutCatchAllIsRefused) {
  UseScenario({{"functions", {{"2", Json::object()}}}});
  EXPECT_EQ(Start(3), -3);
  UseScenario({{"functions", {{"2", Json::object()}, {"*", {{"final", 7}}}}}});
  EXPECT_EQ(Start(3), kCommandReturned);
  EXPECT_EQ(Continue("").result, 7);
  EXPECT_EQ(LedgerOf("IniciaFuncaoSiTefInterativo").back()["function"], "*");
}

TEST_F(CliSiTefSimTest, GoingBackAsksThePreviousPromptAgainAndForgetsItsBranch) {
  UseFunction(
      {{"steps",
        {{{"cmd", 21},
          {"text", "1:Um;2:Dois;"},
          {"branches",
           {{"1", {{{"cmd", 1}, {"text", "um"}}}}, {"2", {{{"cmd", 1}, {"text", "dois"}}}}}}},
         {{"cmd", 23}},
         {{"cmd", 30}, {"type", 505}, {"text", "Parcelas"}}}}});
  ASSERT_EQ(Start(0), kCommandReturned);
  std::vector<std::string> seen;
  const auto step = [&](const std::string& answer, int code) {
    const Returned r = Continue(answer, code);
    seen.push_back(r.result == kCommandReturned ? std::to_string(r.cmd) + ":" + r.text
                                                : "end " + std::to_string(r.result));
  };
  step("", 0);    // the menu
  step("1", 0);   // its branch
  step("", 0);    // the wait
  step("", 0);    // the field
  step("", 1);    // back: the menu again, branch 1 forgotten
  step("2", 0);   // the other branch
  step("", 0);    // the wait
  step("", 0);    // the field
  step("03", 0);  // done
  const std::vector<std::string> expected = {
      "21:1:Um;2:Dois;", "1:um", "23:",         "30:Parcelas", "21:1:Um;2:Dois;",
      "1:dois",          "23:",  "30:Parcelas", "end 0"};
  EXPECT_EQ(seen, expected);
}

TEST_F(CliSiTefSimTest, GoingBackFromTheFirstPromptStartsOver) {
  UseFunction({{"steps", {{{"cmd", 1}, {"text", "inicio"}}, {{"cmd", 20}, {"text", "?"}}}}});
  ASSERT_EQ(Start(0), kCommandReturned);
  EXPECT_EQ(Continue("").text, "inicio");
  EXPECT_EQ(Continue("").text, "?");
  EXPECT_EQ(Continue("", 1).text, "inicio");
  EXPECT_EQ(Continue("").text, "?");
  EXPECT_EQ(Continue("0").result, 0);
}

TEST_F(CliSiTefSimTest, BranchesFollowTheAnswer) {
  const Json scenario = {
      {"functions",
       {{"0",
         {{"steps",
           {{{"cmd", 21},
             {"text", "1:A;2:B;3:C;"},
             {"branches",
              {{"1", {{{"cmd", 1}, {"text", "inline"}}}}, {"2", "fragment"}, {"3", -6}}}},
            {{"cmd", 1}, {"text", "tail"}}}}}},
        {"fragment", {{"steps", {{{"cmd", 2}, {"text", "from fragment"}}}}, {"final", 99}}}}}};
  struct Case {
    const char* name;
    std::vector<std::string> answers;
    std::vector<std::string> texts;
    int result;
  };
  const std::vector<Case> cases = {
      {"steps given inline", {"1"}, {"inline", "tail"}, 0},
      {"steps of another function, with this function's final",
       {"2"},
       {"from fragment", "tail"},
       0},
      {"a status ends the function", {"3"}, {}, -6},
      {"an answer without branch asks again", {"9", "1"}, {"1:A;2:B;3:C;", "inline", "tail"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseScenario(scenario);
    ASSERT_EQ(Start(0), kCommandReturned);
    ASSERT_EQ(Continue("").cmd, 21);
    std::vector<std::string> texts;
    Returned r;
    std::size_t next = 0;
    do {
      r = Continue(next < c.answers.size() ? c.answers[next] : "");
      ++next;
      if (r.result == kCommandReturned)
        texts.push_back(r.text);
    } while (r.result == kCommandReturned);
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(r.result, c.result);
  }
}

TEST_F(CliSiTefSimTest, FillsPlaceholdersAndCountsStartedFunctions) {
  UseFunction({{"steps",
                {{{"cmd", 1}, {"text", "{amount}|{date}|{time}|{doc}|{nsu}|{other}"}},
                 {{"cmd", 34}, {"type", 146}, {"expect", "{amount}"}}}}});
  ASSERT_EQ(Start(0), kCommandReturned);
  const std::string nsu = LedgerOf("IniciaFuncaoSiTefInterativo").back()["nsu"];
  EXPECT_EQ(Continue("").text, "12,50|20240305|140709|4711|" + nsu + "|{other}");
  Continue("");
  Continue("12,50");
  EXPECT_FALSE(LedgerOf("ContinuaFuncaoSiTefInterativo").back().contains("mismatch"));

  ASSERT_EQ(Start(0), kCommandReturned);
  EXPECT_EQ(LedgerOf("IniciaFuncaoSiTefInterativo").back()["nsu"],
            std::to_string(std::stoi(nsu) + 1));
}

TEST_F(CliSiTefSimTest, NeverWritesPastTheBufferSizeAndReadsAnswersWithinIt) {
  UseFunction(
      {{"steps", {{{"cmd", 1}, {"text", "0123456789ABCDEF"}}, {{"cmd", 1}, {"text", "x"}}}}});
  ASSERT_EQ(Start(0), kCommandReturned);
  std::vector<char> guarded(32, 'Z');
  int cmd = 0;
  int type = 0;
  short min = 0;
  short max = 0;
  ASSERT_EQ(lib_->continua(&cmd, &type, &min, &max, guarded.data(), 10, 0), kCommandReturned);
  EXPECT_EQ(std::string(guarded.data()), "012345678");
  EXPECT_EQ(guarded[10], 'Z');

  // An answer without a NUL inside the size is read up to the size only.
  std::fill(guarded.begin(), guarded.end(), 'A');
  ASSERT_EQ(lib_->continua(&cmd, &type, &min, &max, guarded.data(), 4, 0), kCommandReturned);
  EXPECT_EQ(LedgerOf("ContinuaFuncaoSiTefInterativo").back()["answer"], "AAAA");
  EXPECT_EQ(std::string(guarded.data(), 2), std::string("x\0", 2));

  std::fill(guarded.begin(), guarded.end(), 'Z');
  EXPECT_EQ(lib_->continua(&cmd, &type, &min, &max, guarded.data(), 0, 0), 0);
  EXPECT_EQ(guarded[0], 'Z');
}

TEST_F(CliSiTefSimTest, SpeaksWindows1252WithTheCaller) {
  UseFunction({{"steps", {{{"cmd", 20}, {"text", "Transação?"}, {"expect", "Não"}}}}});
  ASSERT_EQ(Start(0), kCommandReturned);
  EXPECT_EQ(Continue("").text, "Transa\xE7\xE3o?");
  EXPECT_EQ(Continue("N\xE3o").result, 0);
  const Json last = LedgerOf("ContinuaFuncaoSiTefInterativo").back();
  EXPECT_EQ(last["answer"], "Não");
  EXPECT_FALSE(last.contains("mismatch"));
}

TEST_F(CliSiTefSimTest, AnswersTheTerminalQueriesFromTheScenarioAndRecordsEveryCall) {
  UseScenario({{"configure", 3},
               {"pinpad", 0},
               {"pending", 2},
               {"card", {{"result", 5}, {"message", std::string(40, 'M')}, {"track1", "T1"}}}});
  EXPECT_EQ(lib_->configura("127.0.0.1", "00000000", "SW000001", 0, "[A=1];"), 3);
  EXPECT_EQ(lib_->verifica(), 0);
  EXPECT_EQ(lib_->obtemPendentes("20240305", "4711"), 2);
  EXPECT_EQ(lib_->escreve("** BOA VIAGEM **"), 0);
  EXPECT_EQ(lib_->finaliza(1, "4711", "20240305", "140709"), 0);
  char message[25];
  char track1[129];
  char track2[129];
  EXPECT_EQ(lib_->leCartaoDireto(message, track1, track2, 30, 0), 5);
  EXPECT_EQ(std::string(message), std::string(24, 'M'));
  EXPECT_EQ(std::string(track1), "T1");
  EXPECT_EQ(std::string(track2), "");

  const auto ledger = Ledger();
  ASSERT_EQ(ledger.size(), 6u);
  EXPECT_EQ(ledger[0].dump(), Json({{"fn", "ConfiguraIntSiTefInterativoEx"},
                                    {"server", "127.0.0.1"},
                                    {"store", "00000000"},
                                    {"terminal", "SW000001"},
                                    {"reserved", 0},
                                    {"parameters", "[A=1];"},
                                    {"scenario", (dir_ / "scenario.json").string()},
                                    {"result", 3}})
                                  .dump());
  EXPECT_EQ(ledger[1]["fn"], "VerificaPresencaPinPad");
  EXPECT_EQ(ledger[2]["date"], "20240305");
  EXPECT_EQ(ledger[3]["message"], "** BOA VIAGEM **");
  EXPECT_EQ(ledger[4]["fn"], "FinalizaTransacaoSiTefInterativo");
  EXPECT_EQ(ledger[4]["confirm"], 1);
  EXPECT_EQ(ledger[4]["doc"], "4711");
  EXPECT_EQ(ledger[5]["timeout"], 30);
}

TEST_F(CliSiTefSimTest, RefusesAScenarioItCannotReadAndSaysWhy) {
  struct Case {
    const char* name;
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"not JSON", "{\"functions\": ", "parse error"},
      {"misspelt member", R"({"functions":{"0":{"steps":[{"cmd":1,"expected":"x"}]}}})",
       "functions.\"0\".steps[0].expected: unknown member"},
      {"step without cmd", R"({"functions":{"0":{"steps":[{"text":"x"}]}}})",
       "functions.\"0\".steps[0]: a step needs \"cmd\""},
      {"length out of range", R"({"functions":{"0":{"steps":[{"cmd":30,"max":40000}]}}})",
       "functions.\"0\".steps[0].max: must be between -32768 and 32767"},
      {"branch to nowhere",
       R"({"functions":{"0":{"steps":[{"cmd":21,"branches":{"1":"missing"}}]}}})",
       "functions.\"0\".steps[0].branches.\"1\": names no entry of \"functions\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseScenarioText(c.text);
    EXPECT_EQ(Start(0), -1);
    EXPECT_EQ(lib_->verifica(), -1);
    const auto starts = LedgerOf("IniciaFuncaoSiTefInterativo");
    ASSERT_FALSE(starts.empty());
    EXPECT_NE(starts.back()["error"].get<std::string>().find(c.error), std::string::npos)
        << starts.back()["error"];
  }
  UseScenarioText(R"({"_note":"comments are allowed","functions":{"0":{"_why":"x"}}})");
  EXPECT_EQ(Start(0), kCommandReturned);
}

// What a built-in flow did when played to its end: its final status, every
// stored field and every command seen.
struct Played {
  int result = 0;
  std::map<int, std::string> stored;
  std::vector<std::pair<int, int>> commands;  // (cmd, type)
  std::vector<std::string> texts;
};

TEST_F(CliSiTefSimTest, BuiltInFlowsDeliverTheResultFields) {
  using Answers = std::map<std::string, std::vector<std::string>>;  // by "cmd/type"
  struct Case {
    const char* name;
    int modality;
    Answers answers;
    int result;
    std::map<int, std::string> expectedStores;
    std::vector<std::pair<int, int>> expectedCommands;
  };
  const std::vector<int> paymentFields = {100, 101, 102, 105, 121, 122, 131,
                                          133, 134, 135, 156, 157, 800};
  const std::vector<Case> cases = {
      {"debit", 2, {{"21/-1", {"1"}}}, 0, {{100, "0100"}, {2021, "516292******4321"}}, {{23, -1}}},
      {"debit chosen in modality 0", 0, {{"21/-1", {"1", "1"}}}, 0, {{100, "0100"}}, {{3, -1}}},
      {"credit in instalments, card typed",
       3,
       {{"21/-1", {"2", "3"}}, {"30/512", {"4111111111111111"}}, {"30/505", {"03"}}},
       0,
       {{100, "0203"}, {132, "00001"}, {2021, "411111******1111"}},
       {{30, 513}, {30, 514}, {30, 505}}},
      {"credit cash chosen in modality 0", 0, {{"21/-1", {"2", "1", "1"}}}, 0, {{100, "0200"}}, {}},
      {"PIX", 122, {}, 0, {{100, "0300"}, {101, "PIX"}}, {{50, 584}, {52, 4128}, {23, -1}}},
      {"PIX chosen in modality 0", 0, {{"21/-1", {"3"}}}, 0, {{100, "0300"}}, {{50, 584}}},
      {"cancellation",
       200,
       {{"20/-1", {"0"}}},
       0,
       {{110, "1"}, {100, "0200"}},
       {{30, 515}, {30, 516}, {34, 146}, {20, -1}}},
      {"cancellation not confirmed", 200, {{"20/-1", {"1"}}}, -2, {}, {{20, -1}}},
      {"reprint of the last receipt", 113, {}, 0, {{56, "1"}}, {}},
      {"reprint menu, chosen receipt",
       112,
       {{"21/-1", {"2"}}},
       0,
       {{57, "1"}},
       {{30, 515}, {30, 516}}},
      {"administrative menu, communication test", 110, {{"21/-1", {"1"}}}, 0, {}, {{23, -1}}},
      {"communication test", 111, {}, 0, {}, {{1, -1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Start(c.modality), kCommandReturned);
    const std::string nsu = LedgerOf("IniciaFuncaoSiTefInterativo").back()["nsu"];
    Answers pending = c.answers;
    Played played;
    std::string answer;
    for (;;) {
      const Returned r = Continue(answer);
      if (r.result != kCommandReturned) {
        played.result = r.result;
        break;
      }
      played.commands.emplace_back(r.cmd, r.type);
      played.texts.push_back(r.text);
      if (r.cmd == 0)
        played.stored[r.type] = r.text;
      auto& queue = pending[std::to_string(r.cmd) + "/" + std::to_string(r.type)];
      answer.clear();
      if (!queue.empty()) {
        answer = queue.front();
        queue.erase(queue.begin());
      }
    }
    EXPECT_EQ(played.result, c.result);
    for (const auto& [type, text] : c.expectedStores) {
      EXPECT_EQ(played.stored[type], text) << "field " << type;
    }
    for (const auto& command : c.expectedCommands) {
      EXPECT_NE(std::find(played.commands.begin(), played.commands.end(), command),
                played.commands.end())
          << "command " << command.first << " type " << command.second;
    }
    if (c.result == 0 && c.expectedStores.count(100) != 0) {
      for (const int field : paymentFields) {
        EXPECT_FALSE(played.stored[field].empty()) << "field " << field;
      }
      EXPECT_EQ(played.stored[133], nsu);
      EXPECT_EQ(played.stored[105], "20240305140709");
    }
    if (c.result == 0 && c.modality != 200 && c.expectedStores.count(100) != 0) {
      EXPECT_NE(played.stored[121].find("R$ 12,50"), std::string::npos);
    }
    if (c.modality == 122) {
      const auto qr =
          std::find(played.commands.begin(), played.commands.end(), std::make_pair(50, 584));
      EXPECT_NE(played.texts[qr - played.commands.begin()].find(nsu), std::string::npos);
    }
    for (const Json& call : LedgerOf("ContinuaFuncaoSiTefInterativo")) {
      EXPECT_FALSE(call.contains("mismatch")) << call;
    }
  }
}

TEST_F(CliSiTefSimTest, Track3DeliversTheIdentifierInTheFinalBuffer) {
  char small[32] = {};
  ASSERT_EQ(lib_->leTrilha3(small), kCommandReturned);
  Returned r;
  do {
    r = Continue("");
  } while (r.result == kCommandReturned);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.text.substr(1, 10), "1234567890");
}

}  // namespace
