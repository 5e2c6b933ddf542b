#include <gtest/gtest.h>

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

TEST(ParseJsonMessage, KeptDocumentIsWrittenBackWithItsNumberTexts) {
  const auto message = ParseJsonMessage(R"({"b":1.50,"a":[1e2,-0.0,"x"],"b":2,"c":{"d":null}})");
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(WireJson(*message), R"({"b":1.50,"a":[1e2,-0.0,"x"],"c":{"d":null}})");
}

}  // namespace
