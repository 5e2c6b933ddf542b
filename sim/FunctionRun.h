#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Scenario.h"

namespace clisitef_sim {

// Values the texts of a function may quote as {amount}, {date}, {time}, {doc}, {nsu}.
struct Placeholders {
  std::string amount;
  std::string date;
  std::string time;
  std::string doc;
  std::string nsu;

  std::string Apply(const std::string& text) const;
};

// One command handed to the caller, texts already filled in (UTF-8).
struct Command {
  int cmd = 0;
  int type = -1;
  int min = 0;
  int max = 0;
  std::string text;
  int delayMs = 0;
};

// What one continue call did.
struct ContinueOutcome {
  int result = 0;                     // 10000 with `command`, otherwise the final status
  std::optional<Command> command;     // the next command
  std::optional<Command> answered;    // the command the answer belongs to
  std::optional<std::string> expect;  // what the answered step expected
  bool mismatch = false;
  std::optional<std::string> finalText;  // buffer text that comes with a final status
};

// One started function of a scenario: plays its steps in order, follows
// branches by answer, goes back to the previous prompt on continue code 1 and
// ends with the abort status on -1 or with the final status when steps run out.
class FunctionRun {
 public:
  FunctionRun(Scenario scenario, const Json& function, Placeholders placeholders);

  // `answer` is the caller's buffer text (UTF-8), `continueCode` its code.
  ContinueOutcome Continue(const std::string& answer, int continueCode);

  bool Finished() const { return finished_; }

 private:
  struct Played {
    const Json* step;
    std::deque<const Json*> pendingAfter;  // what was left to play after it
  };

  static bool IsPrompt(const Json& step);
  Command Fill(const Json& step) const;
  void PushFront(const Json& steps);
  void GoBack();
  // Applies the answer to the step just played; returns a final status when
  // the answer ends the function.
  std::optional<int> Answer(const std::string& answer, ContinueOutcome& outcome);
  ContinueOutcome End(ContinueOutcome outcome, int status, bool withFinalText);

  Scenario scenario_;
  const Json& function_;
  Placeholders placeholders_;
  std::deque<const Json*> pending_;
  std::vector<Played> played_;
  bool finished_ = false;
};

}  // namespace clisitef_sim
