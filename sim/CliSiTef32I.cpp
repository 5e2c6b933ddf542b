// The exported functions of the stand-in CliSiTef library. Each call takes the
// library's one lock, plays its part of the scenario and appends one record
// to the ledger. No exception leaves an exported function.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Ansi.h"
#include "CliSiTef32I_export.h"
#include "FunctionRun.h"
#include "Ledger.h"
#include "Scenario.h"
#include "platform/CallingConvention.h"

namespace clisitef_sim {
namespace {

constexpr int kCommandReturned = 10000;
constexpr int kFailure = -1;
constexpr int kInvalidModality = -3;
constexpr int kCardMessageSize = 25;
constexpr int kTrackSize = 129;

struct State {
  std::mutex mutex;
  std::optional<FunctionRun> run;
  long long nsu = 0;
};

State& Global() {
  static State state;
  return state;
}

std::string In(const char* text) {
  return text == nullptr ? std::string() : AnsiToUtf8(text);
}

// Writes `utf8` as 8-bit text into `buffer`, cut so that it and its NUL fit
// in `size` bytes; returns what was written, as UTF-8.
std::string WriteText(char* buffer, int size, const std::string& utf8) {
  if (buffer == nullptr || size <= 0) {
    return {};
  }
  const std::string ansi = Utf8ToAnsi(utf8);
  const std::size_t length = std::min(ansi.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, ansi.data(), length);
  buffer[length] = 0;
  return AnsiToUtf8(std::string_view(ansi.data(), length));
}

// The caller's answer: the bytes up to the NUL, never beyond `size`.
std::string ReadAnswer(const char* buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    return {};
  }
  const void* nul = std::memchr(buffer, 0, static_cast<std::size_t>(size));
  const std::size_t length =
      nul == nullptr ? static_cast<std::size_t>(size) : static_cast<const char*>(nul) - buffer;
  return AnsiToUtf8(std::string_view(buffer, length));
}

std::optional<Scenario> LoadScenario(Json& record) {
  try {
    Scenario scenario = Scenario::Load();
    record["scenario"] = scenario.Source();
    return scenario;
  } catch (const ScenarioError& e) {
    record["error"] = e.what();
    std::cerr << "CliSiTef stand-in: " << e.what() << '\n';
    return std::nullopt;
  }
}

// The scenario's wait before a finalization; none when it cannot be read
// (the finalization itself never fails).
int FinalizeDelayMs() {
  try {
    return Scenario::Load().FinalizeDelayMs();
  } catch (const ScenarioError&) {
    return 0;
  }
}

int Finish(Json& record, int result) {
  record["result"] = result;
  AppendToLedger(record);
  return result;
}

// Runs `body` so that no exception crosses the library's boundary.
template <typename Body>
int Guarded(const char* function, Body&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    std::cerr << "CliSiTef stand-in: " << function << ": " << e.what() << '\n';
  } catch (...) {
    std::cerr << "CliSiTef stand-in: " << function << ": unexpected failure\n";
  }
  return kFailure;
}

// Starts the scenario function `key` (or "*" when `key` has none); records
// the chosen function and the start result.
int StartFunction(State& state, Json& record, const std::string& key, Placeholders placeholders,
                  bool fallBackToAny) {
  state.run.reset();
  const auto scenario = LoadScenario(record);
  if (!scenario) {
    return kFailure;
  }
  const bool known = scenario->Function(key) != nullptr;
  const std::string chosen = known || !fallBackToAny ? key : std::string("*");
  const Json* function = scenario->Function(chosen);
  if (function == nullptr) {
    record["error"] = "the scenario has no function \"" + key + "\"";
    return fallBackToAny ? kInvalidModality : 0;
  }
  record["function"] = chosen;
  const int start = Scenario::IntOr(*function, "start", kCommandReturned);
  if (start == kCommandReturned) {
    placeholders.nsu = std::to_string(++state.nsu);
    record["nsu"] = placeholders.nsu;
    state.run.emplace(*scenario, *function, std::move(placeholders));
  }
  return start;
}

}  // namespace
}  // namespace clisitef_sim

using namespace clisitef_sim;

extern "C" {

CLISITEF_SIM_EXPORT int VORN_STDCALL ConfiguraIntSiTefInterativoEx(const char* server,
                                                                   const char* store,
                                                                   const char* terminal,
                                                                   short reserved,
                                                                   const char* parameters) {
  return Guarded(__func__, [&] {
    std::lock_guard lock(Global().mutex);
    Json record = {{"fn", "ConfiguraIntSiTefInterativoEx"},
                   {"server", In(server)},
                   {"store", In(store)},
                   {"terminal", In(terminal)},
                   {"reserved", reserved},
                   {"parameters", In(parameters)}};
    const auto scenario = LoadScenario(record);
    return Finish(record, scenario ? scenario->Configure() : kFailure);
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL IniciaFuncaoSiTefInterativo(int modality, const char* amount,
                                                                 const char* doc, const char* date,
                                                                 const char* time,
                                                                 const char* operatorName,
                                                                 const char* restrictions) {
  return Guarded(__func__, [&] {
    State& state = Global();
    std::lock_guard lock(state.mutex);
    Json record = {{"fn", "IniciaFuncaoSiTefInterativo"},
                   {"modality", modality},
                   {"amount", In(amount)},
                   {"doc", In(doc)},
                   {"date", In(date)},
                   {"time", In(time)},
                   {"operator", In(operatorName)},
                   {"restrictions", In(restrictions)}};
    Placeholders placeholders{In(amount), In(date), In(time), In(doc), {}};
    const int result =
        StartFunction(state, record, std::to_string(modality), std::move(placeholders), true);
    return Finish(record, result);
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL ContinuaFuncaoSiTefInterativo(int* command, int* fieldType,
                                                                   short* minimum, short* maximum,
                                                                   char* buffer, int bufferSize,
                                                                   int continueCode) {
  int delayMs = 0;
  const int result = Guarded(__func__, [&] {
    State& state = Global();
    std::lock_guard lock(state.mutex);
    Json record = {{"fn", "ContinuaFuncaoSiTefInterativo"},
                   {"continue", continueCode},
                   {"answer", ReadAnswer(buffer, bufferSize)}};
    if (!state.run) {
      record["error"] = "no function is running";
      return Finish(record, kFailure);
    }
    ContinueOutcome outcome =
        state.run->Continue(record["answer"].get<std::string>(), continueCode);
    if (outcome.answered) {
      record["answered_cmd"] = outcome.answered->cmd;
      record["answered_type"] = outcome.answered->type;
    }
    if (outcome.expect) {
      record["expect"] = *outcome.expect;
      if (outcome.mismatch) {
        record["mismatch"] = true;
      }
    }
    if (outcome.command) {
      const Command& next = *outcome.command;
      if (command != nullptr)
        *command = next.cmd;
      if (fieldType != nullptr)
        *fieldType = next.type;
      if (minimum != nullptr)
        *minimum = static_cast<short>(next.min);
      if (maximum != nullptr)
        *maximum = static_cast<short>(next.max);
      record["cmd"] = next.cmd;
      record["type"] = next.type;
      record["min"] = next.min;
      record["max"] = next.max;
      record["buffer"] = WriteText(buffer, bufferSize, next.text);
      delayMs = next.delayMs;
    } else {
      if (outcome.finalText) {
        record["buffer"] = WriteText(buffer, bufferSize, *outcome.finalText);
      }
      state.run.reset();
    }
    return Finish(record, outcome.result);
  });
  if (delayMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  }
  return result;
}

CLISITEF_SIM_EXPORT int VORN_STDCALL FinalizaTransacaoSiTefInterativo(short confirm,
                                                                      const char* doc,
                                                                      const char* date,
                                                                      const char* time) {
  return Guarded(__func__, [&] {
    // The confirmation or undo takes effect when it is recorded, after the
    // scenario's wait: a process killed during the wait never finished it.
    if (const int delayMs = FinalizeDelayMs(); delayMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
    std::lock_guard lock(Global().mutex);
    Json record = {{"fn", "FinalizaTransacaoSiTefInterativo"},
                   {"confirm", confirm},
                   {"doc", In(doc)},
                   {"date", In(date)},
                   {"time", In(time)}};
    return Finish(record, 0);
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL EscreveMensagemPermanentePinPad(const char* message) {
  return Guarded(__func__, [&] {
    std::lock_guard lock(Global().mutex);
    Json record = {{"fn", "EscreveMensagemPermanentePinPad"}, {"message", In(message)}};
    return Finish(record, 0);
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL VerificaPresencaPinPad() {
  return Guarded(__func__, [&] {
    std::lock_guard lock(Global().mutex);
    Json record = {{"fn", "VerificaPresencaPinPad"}};
    const auto scenario = LoadScenario(record);
    return Finish(record, scenario ? scenario->Pinpad() : kFailure);
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL ObtemQuantidadeTransacoesPendentes(const char* date,
                                                                        const char* doc) {
  return Guarded(__func__, [&] {
    std::lock_guard lock(Global().mutex);
    Json record = {
        {"fn", "ObtemQuantidadeTransacoesPendentes"}, {"date", In(date)}, {"doc", In(doc)}};
    const auto scenario = LoadScenario(record);
    return Finish(record, scenario ? scenario->Pending() : kFailure);
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL LeCartaoDiretoEx(char* message, char* track1, char* track2,
                                                      short timeout, short reserved) {
  return Guarded(__func__, [&] {
    std::lock_guard lock(Global().mutex);
    Json record = {{"fn", "LeCartaoDiretoEx"}, {"timeout", timeout}, {"reserved", reserved}};
    const auto scenario = LoadScenario(record);
    if (!scenario) {
      return Finish(record, kFailure);
    }
    const Json& card = scenario->Card();
    record["message"] = WriteText(message, kCardMessageSize, Scenario::TextOr(card, "message", ""));
    record["track1"] = WriteText(track1, kTrackSize, Scenario::TextOr(card, "track1", ""));
    record["track2"] = WriteText(track2, kTrackSize, Scenario::TextOr(card, "track2", ""));
    return Finish(record, Scenario::IntOr(card, "result", 0));
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL LeTrilha3(char* /*unused*/) {
  return Guarded(__func__, [&] {
    State& state = Global();
    std::lock_guard lock(state.mutex);
    Json record = {{"fn", "LeTrilha3"}};
    return Finish(record, StartFunction(state, record, "track3", {}, false));
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL LeCartaoSeguro() {
  return Guarded(__func__, [&] {
    std::lock_guard lock(Global().mutex);
    Json record = {{"fn", "LeCartaoSeguro"}, {"error", "not provided by the stand-in"}};
    return Finish(record, kFailure);
  });
}

CLISITEF_SIM_EXPORT int VORN_STDCALL LeCartaoDiretoSeguro() {
  return Guarded(__func__, [&] {
    std::lock_guard lock(Global().mutex);
    Json record = {{"fn", "LeCartaoDiretoSeguro"}, {"error", "not provided by the stand-in"}};
    return Finish(record, kFailure);
  });
}

}  // extern "C"
