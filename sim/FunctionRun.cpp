#include "FunctionRun.h"

namespace clisitef_sim {
namespace {

constexpr int kCommandReturned = 10000;

const Json& EmptySteps() {
  static const Json empty = Json::array();
  return empty;
}

}  // namespace

std::string Placeholders::Apply(const std::string& text) const {
  const std::pair<const char*, const std::string*> names[] = {{"{amount}", &amount},
                                                              {"{date}", &date},
                                                              {"{time}", &time},
                                                              {"{doc}", &doc},
                                                              {"{nsu}", &nsu}};
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    bool replaced = false;
    if (text[pos] == '{') {
      for (const auto& [name, value] : names) {
        if (text.compare(pos, std::char_traits<char>::length(name), name) == 0) {
          out += *value;
          pos += std::char_traits<char>::length(name);
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) {
      out += text[pos++];
    }
  }
  return out;
}

FunctionRun::FunctionRun(Scenario scenario, const Json& function, Placeholders placeholders)
    : scenario_(std::move(scenario)), function_(function), placeholders_(std::move(placeholders)) {
  PushFront(function_.contains("steps") ? function_["steps"] : EmptySteps());
}

bool FunctionRun::IsPrompt(const Json& step) {
  switch (step["cmd"].get<int>()) {
    case 20:  // question
    case 21:  // menu
    case 30:  // field
    case 31:  // cheque field
    case 34:  // amount
    case 35:  // bar code
      return true;
    default:
      return false;
  }
}

Command FunctionRun::Fill(const Json& step) const {
  Command command;
  command.cmd = step["cmd"].get<int>();
  command.type = Scenario::IntOr(step, "type", -1);
  command.min = Scenario::IntOr(step, "min", 0);
  command.max = Scenario::IntOr(step, "max", 0);
  command.text = placeholders_.Apply(Scenario::TextOr(step, "text", ""));
  command.delayMs = Scenario::IntOr(step, "delay_ms", 0);
  return command;
}

void FunctionRun::PushFront(const Json& steps) {
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    pending_.push_front(&*it);
  }
}

void FunctionRun::GoBack() {
  // The step just played is abandoned; the prompt before it is asked again,
  // with everything that followed it. Without one, the function starts over.
  std::size_t index = played_.empty() ? 0 : played_.size() - 1;
  while (index > 0 && !IsPrompt(*played_[index - 1].step)) {
    --index;
  }
  if (index == 0) {
    pending_.clear();
    played_.clear();
    PushFront(function_.contains("steps") ? function_["steps"] : EmptySteps());
    return;
  }
  const Played& prompt = played_[index - 1];
  pending_ = prompt.pendingAfter;
  pending_.push_front(prompt.step);
  played_.resize(index - 1);
}

std::optional<int> FunctionRun::Answer(const std::string& answer, ContinueOutcome& outcome) {
  if (played_.empty()) {
    return std::nullopt;
  }
  const Json& step = *played_.back().step;
  if (step.contains("expect")) {
    outcome.expect = placeholders_.Apply(step["expect"].get<std::string>());
    outcome.mismatch = *outcome.expect != answer;
  }
  if (!step.contains("branches")) {
    return std::nullopt;
  }
  const Json& branches = step["branches"];
  const Json* target = branches.contains(answer) ? &branches[answer]
                       : branches.contains("*")  ? &branches["*"]
                                                 : nullptr;
  if (target == nullptr) {
    // No branch takes this answer: the same step is asked again.
    pending_.push_front(&step);
    played_.pop_back();
  } else if (target->is_number_integer()) {
    return target->get<int>();
  } else if (target->is_string()) {
    const Json* function = scenario_.Function(target->get<std::string>());
    PushFront(function->contains("steps") ? (*function)["steps"] : EmptySteps());
  } else {
    PushFront(*target);
  }
  return std::nullopt;
}

ContinueOutcome FunctionRun::End(ContinueOutcome outcome, int status, bool withFinalText) {
  finished_ = true;
  outcome.result = status;
  if (withFinalText && function_.contains("final_text")) {
    outcome.finalText = placeholders_.Apply(function_["final_text"].get<std::string>());
  }
  return outcome;
}

ContinueOutcome FunctionRun::Continue(const std::string& answer, int continueCode) {
  ContinueOutcome outcome;
  if (!played_.empty()) {
    outcome.answered = Fill(*played_.back().step);
  }
  if (continueCode == -1) {
    return End(std::move(outcome), Scenario::IntOr(function_, "abort_status", -2), false);
  }
  if (continueCode == 1) {
    GoBack();
  } else if (const auto status = Answer(answer, outcome)) {
    return End(std::move(outcome), *status, false);
  }
  if (pending_.empty()) {
    return End(std::move(outcome), Scenario::IntOr(function_, "final", 0), true);
  }
  const Json* next = pending_.front();
  pending_.pop_front();
  played_.push_back({next, pending_});
  outcome.result = kCommandReturned;
  outcome.command = Fill(*next);
  return outcome;
}

}  // namespace clisitef_sim
