#include "util/VornString.h"

#include <gtest/gtest.h>

namespace {

TEST(VornString, Membership) {
  const std::vector<std::string> list{"Débito", "credito"};
  EXPECT_TRUE(VornStrIn("Débito", list));
  EXPECT_FALSE(VornStrIn("débito", list));
  EXPECT_TRUE(VornTextIn("DÉBITO", list));
  EXPECT_TRUE(VornTextIn("Credito", list));
  EXPECT_FALSE(VornTextIn("pix", list));
}

TEST(VornString, PaddingCountsCharacters) {
  struct Row {
    const char* name;
    std::string actual;
    std::string expected;
  };
  const Row rows[] = {
      {"VornPadL fills on the left", VornPadL("1009", 6, '0'), "001009"},
      {"VornPadL cuts to the first characters", VornPadL("123456", 4, '0'), "1234"},
      {"VornPadL counts characters, not bytes", VornPadL("ção", 4, ' '), " ção"},
      {"VornPadL cuts a multi-byte text whole", VornPadL("çãoX", 3, ' '), "ção"},
      {"VornStrZero pads", VornStrZero(7, 2), "07"},
      {"VornStrZero keeps the first digits", VornStrZero(123, 2), "12"},
      {"VornStrZero of width 0", VornStrZero(5, 0), ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.actual, row.expected) << row.name;
  }
}

TEST(VornString, TrimAndCase) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(UpperCase("março"), "MARÇO");
  EXPECT_EQ(LowerCase("ÁGUA"), "água");
  EXPECT_TRUE(SameText("Sitef", "SITEF"));
}

}  // namespace
