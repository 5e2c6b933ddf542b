#pragma once

#include <string>
#include <vector>

namespace platform {

// Splits a command line into arguments the way Windows programs read theirs:
// blanks separate arguments, double quotes group blanks into one, 2n
// backslashes before a quote give n backslashes (and the quote toggles
// grouping), 2n+1 give n backslashes and a literal quote; other backslashes
// are literal. Nothing else is interpreted, so no text is ever run by a shell.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace platform
