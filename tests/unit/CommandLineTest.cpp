#include "platform/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, SplitsTheWayWindowsProgramsRead) {
  using Args = std::vector<std::string>;
  struct Row {
    const char* line;
    Args expected;
  };
  const Row rows[] = {
      {R"(-print-to "Impressora 1" -silent "/tmp/a b/Temp.pdf")",
       {"-print-to", "Impressora 1", "-silent", "/tmp/a b/Temp.pdf"}},
      {"  a   b  ", {"a", "b"}},
      {"", {}},
      {R"("")", {""}},
      {R"(a\b)", {R"(a\b)"}},
      {R"(a\\"b c")", {R"(a\b c)"}},
      {R"(a\"b)", {R"(a"b)"}},
      {R"($(touch x) `id`)", {"$(touch", "x)", "`id`"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(platform::SplitCommandLine(row.line), row.expected) << row.line;
  }
}

}  // namespace
