#include <gtest/gtest.h>

#include <optional>

#include "api/JsonMessage.h"
#include "api/WireJson.h"
#include "util/Exception.h"

namespace {

struct ValueCase {
  const char* message;
  const char* member;
  const char* text;
};

TEST(GetValue, ReadsEveryMemberAsText) {
  const ValueCase cases[] = {
      {R"({"a":"texto"})", "a", "texto"},
      {R"({"a":"\u00e9\n\/"})", "a", "é\n/"},
      {R"({"a":12})", "a", "12"},
      {R"({"a":-7})", "a", "-7"},
      {R"({"a":10.50})", "a", "10.50"},
      {R"({"a":1e3})", "a", "1e3"},
      {R"({"a":18446744073709551616})", "a", "18446744073709551616"},
      {R"({"a":true})", "a", "true"},
      {R"({"a":false})", "a", "false"},
      {R"({"a":null})", "a", "null"},
      {R"({"a":{"b":1}})", "a", ""},
      {R"({"a":[1,2]})", "a", ""},
      {R"({"a":"first","a":"second"})", "a", "first"},
      {R"({"a":{"x":1},"a":"second"})", "a", ""},
      {R"({"o":{"k":1,"k":2},"o":3,"z":"z"})", "z", "z"},
      {R"({"A":"upper","a":"lower"})", "a", "lower"},
  };
  for (const ValueCase& row : cases) {
    const auto message = ParseJsonMessage(row.message);
    ASSERT_TRUE(message.has_value()) << row.message;
    std::string text;
    try {
      text = GetValue(*message, row.member);
    } catch (const Exception& error) {
      text = std::string("raised: ") + error.what();
    }
    EXPECT_EQ(text, row.text) << row.message;
  }
}

TEST(GetValue, MissingMemberNamesIt) {
  const ValueCase cases[] = {
      {R"({"route":"/x"})", "type", "Campo type nao encontrado."},
      {R"({"Type":"x"})", "type", "Campo type nao encontrado."},
      {R"([1])", "type", "Campo type nao encontrado."},
  };
  for (const ValueCase& row : cases) {
    try {
      GetValue(*ParseJsonMessage(row.message), row.member);
      ADD_FAILURE() << row.message << ": no error";
    } catch (const Exception& error) {
      EXPECT_STREQ(error.what(), row.text) << row.message;
    }
  }
}

TEST(ParseJsonMessage, RefusesWhatIsNotJson) {
  const std::string cases[] = {"",
                               "hello",
                               "{",
                               R"({"a":1} x)",
                               R"({"a":})",
                               "{'a':1}",
                               std::string(600, '[') + std::string(600, ']')};
  for (const std::string& text : cases) {
    EXPECT_FALSE(ParseJsonMessage(text).has_value()) << text.substr(0, 40);
  }
}

// The reader against the JSON grammar: each row is a text and the document
// written back (WireJson), or nothing when the text must be refused.
TEST(ParseJsonMessage, ReadsTheJsonGrammarStrictly) {
  const std::string nested512 = std::string(512, '[') + std::string(512, ']');
  const std::string runA = std::string(21, 'a');
  const struct {
    std::string text;
    std::optional<std::string> written;
  } cases[] = {
      // Values at the top level, blanks around them, the byte order mark.
      {"  {\"a\" : [ 1 , 2 ] }\r\n\t", R"({"a":[1,2]})"},
      {"\xEF\xBB\xBF{}", "{}"},
      {"\xEF\xBB{}", std::nullopt},
      {" \xEF\xBB\xBF{}", std::nullopt},
      {"[]", "[]"},
      {"\"x\"", R"("x")"},
      {"true", "true"},
      {"null", "null"},
      {"nul", std::nullopt},
      {"True", std::nullopt},
      {"{} {}", std::nullopt},
      {"{,}", std::nullopt},
      {R"({"a":1,})", std::nullopt},
      {"[1,]", std::nullopt},
      {"[,1]", std::nullopt},
      {R"({"a" 1})", std::nullopt},
      {R"({a:1})", std::nullopt},
      {"{\"a\":1\v}", std::nullopt},
      {std::string("{\"a\":1}\0", 8), std::nullopt},
      // Numbers keep their text, also beyond the range of a double; what the
      // grammar does not allow is refused.
      {"[0,-0,10.50,1E3,1e+3,2.5e-3,-1.0E-0]", "[0,-0,10.50,1E3,1e+3,2.5e-3,-1.0E-0]"},
      {"[1e-400,1.7976931348623157e308,0.000001e310]",
       "[1e-400,1.7976931348623157e308,0.000001e310]"},
      {"[99999999999999999999999999]", "[99999999999999999999999999]"},
      {"[1e309]", "[1e309]"},
      {"[-2e308]", "[-2e308]"},
      {"[0.1e310]", "[0.1e310]"},
      {"[" + std::string(400, '9') + "]", "[" + std::string(400, '9') + "]"},
      {"[01]", std::nullopt},
      {"[+1]", std::nullopt},
      {"[.5]", std::nullopt},
      {"[1.]", std::nullopt},
      {"[1e]", std::nullopt},
      {"[1e+]", std::nullopt},
      {"[-]", std::nullopt},
      {"[0x10]", std::nullopt},
      {"[NaN]", std::nullopt},
      // Strings: escapes, surrogate pairs, raw UTF-8 checked.
      {R"(["\"\\\/\b\f\n\r\t"])", R"(["\"\\\/\b\f\n\r\t"])"},
      {R"(["\u0041\u00e9\u20AC\ud83d\ude00\u0000"])", R"(["A\u00E9\u20AC\uD83D\uDE00\u0000"])"},
      {"[\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x7F\"]", "[\"\\u00E9\\u20AC\\uD83D\\uDE00\x7F\"]"},
      // A surrogate without its other half is U+FFFD; what follows it is
      // read on its own.
      {R"(["\ud83d"])", R"(["\uFFFD"])"},
      {R"(["\ud83dx"])", R"(["\uFFFDx"])"},
      {R"(["\ud83d\u0041"])", R"(["\uFFFDA"])"},
      {R"(["\ude00"])", R"(["\uFFFD"])"},
      {R"(["\ude00\ud83d"])", R"(["\uFFFD\uFFFD"])"},
      {R"(["\ud83d\ud83d\ude00"])", R"(["\uFFFD\uD83D\uDE00"])"},
      {R"({"\udbff":"\ud800\n"})", R"({"\uFFFD":"\uFFFD\n"})"},
      {R"(["\ud83d\u12"])", std::nullopt},
      {R"(["\ud83d\)", std::nullopt},
      {R"(["\u12"])", std::nullopt},
      {R"(["\x41"])", std::nullopt},
      {R"(["\'"])", std::nullopt},
      {"[\"a\tb\"]", std::nullopt},
      {"[\"a\nb\"]", std::nullopt},
      {"[\"\x1F\"]", std::nullopt},
      {"[\"\xC3\"]", std::nullopt},
      {"[\"\xC0\xAF\"]", std::nullopt},
      {"[\"\xE0\x80\xAF\"]", std::nullopt},
      {"[\"\xED\xA0\x80\"]", std::nullopt},
      {"[\"\xF4\x90\x80\x80\"]", std::nullopt},
      {"[\"\xF5\x80\x80\x80\"]", std::nullopt},
      {"[\"\xFF\"]", std::nullopt},
      {"[\"abc", std::nullopt},
      {"[\"abcdefghijklmnopqrstuvwxyz\\", std::nullopt},
      // Long runs with a stop inside an eight-byte word.
      {"[\"" + runA + "\\n" + runA + "\"]", ("[\"" + runA + "\\n" + runA + "\"]")},
      {"[\"" + runA + "\xC3\xA9" + runA + "\"]", ("[\"" + runA + "\\u00E9" + runA + "\"]")},
      {"[\"" + runA + "\x01" + runA + "\"]", std::nullopt},
      {"[\"" + runA + "\x7F ~" + runA + "\"]", ("[\"" + runA + "\x7F ~" + runA + "\"]")},
      // Nesting: 512 levels are read, 513 are not.
      {nested512, nested512},
      {"[" + nested512 + "]", std::nullopt},
  };
  for (const auto& row : cases) {
    const auto document = ParseJsonMessage(row.text);
    const std::string name = row.text.substr(0, 60);
    if (!row.written) {
      EXPECT_FALSE(document.has_value()) << name;
    } else if (!document.has_value()) {
      ADD_FAILURE() << name << ": refused";
    } else {
      EXPECT_EQ(WireJson(*document), *row.written) << name;
    }
  }
}

TEST(ParseJsonMessage, KeptDocumentIsWrittenBackWithItsNumberTexts) {
  const auto message = ParseJsonMessage(R"({"b":1.50,"a":[1e2,-0.0,"x"],"b":2,"c":{"d":null}})");
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(WireJson(*message), R"({"b":1.50,"a":[1e2,-0.0,"x"],"c":{"d":null}})");
}

}  // namespace
