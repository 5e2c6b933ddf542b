#include <gtest/gtest.h>

#include "api/WireJson.h"

namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  const char* wire;
};

TEST(WireString, EscapesToPureAscii) {
  const EscapeCase cases[] = {
      {"plain", "abc 123", R"("abc 123")"},
      {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
      {"slash", "http://x/y", R"("http:\/\/x\/y")"},
      {"named controls", "\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {"other controls", std::string("\x00\x01\x1f", 3), R"("\u0000\u0001\u001F")"},
      {"DEL stays raw", "\x7f", "\"\x7f\""},
      {"Latin-1", "ção", R"("\u00E7\u00E3o")"},
      {"BMP above Latin-1", "€", R"("\u20AC")"},
      {"last BMP character", "\xEF\xBF\xBF", R"("\uFFFF")"},
      {"beyond the BMP", "\xF0\x9F\x98\x80", R"("\uD83D\uDE00")"},
      {"highest code point", "\xF4\x8F\xBF\xBF", R"("\uDBFF\uDFFF")"},
      {"invalid UTF-8",
       "a\xFF"
       "b",
       R"("a\uFFFDb")"},
      {"empty", "", R"("")"},
  };
  for (const EscapeCase& row : cases) {
    EXPECT_EQ(WireString(row.text), row.wire) << row.name;
  }
}

TEST(WireObject, WritesMembersInOrderWithEscapedNames) {
  TWireArray lines;
  lines.Add("linha 1").Add("R$ 10,00");
  const std::string text = TWireObject()
                               .Add("type", "result")
                               .Add("a/b", "é")
                               .Add("count", 3)
                               .Add("ok", false)
                               .AddNull("none")
                               .Add("operation", "x")
                               .Add("operation", "y")
                               .Add("inner", TWireObject().Add("k", "v"))
                               .Add("lines", lines)
                               .Text();
  EXPECT_EQ(text,
            R"({"type":"result","a\/b":"\u00E9","count":3,"ok":false,"none":null,)"
            R"("operation":"x","operation":"y","inner":{"k":"v"},"lines":["linha 1","R$ 10,00"]})");
}

TEST(CurrencyWireText, ShortestDecimalForm) {
  const struct {
    std::int64_t raw;
    const char* text;
  } cases[] = {{123400, "12.34"}, {105000, "10.5"}, {1000000, "100"},  {0, "0"},
               {1, "0.0001"},     {-100, "-0.01"},  {-1000000, "-100"}};
  for (const auto& row : cases) {
    EXPECT_EQ(CurrencyWireText(Currency::FromRaw(row.raw)), row.text) << row.raw;
  }
}

}  // namespace
