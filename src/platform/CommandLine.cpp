#include "platform/CommandLine.h"

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    const char c = commandLine[i];
    if (c == '\\') {
      std::size_t backslashes = 0;
      while (i < commandLine.size() && commandLine[i] == '\\') {
        ++backslashes;
        ++i;
      }
      inArgument = true;
      if (i < commandLine.size() && commandLine[i] == '"') {
        current.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          current += '"';
        } else {
          quoted = !quoted;
        }
      } else {
        current.append(backslashes, '\\');
        --i;
      }
    } else if (c == '"') {
      inArgument = true;
      quoted = !quoted;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) {
        arguments.push_back(std::move(current));
        current.clear();
        inArgument = false;
      }
    } else {
      inArgument = true;
      current += c;
    }
  }
  if (inArgument) {
    arguments.push_back(std::move(current));
  }
  return arguments;
}

}  // namespace platform
