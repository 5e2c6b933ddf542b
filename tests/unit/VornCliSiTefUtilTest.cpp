#include "util/VornCliSiTefUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "FakePlatform.h"
#include "NativePath.h"
#include "util/Exception.h"

namespace {

TEST(VornCliSiTefUtil, PaddingAndCutting) {
  struct Row {
    const char* name;
    AnsiString actual;
    AnsiString expected;
  };
  const Row rows[] = {
      {"padL fills on the right", padL("ABC", 5, ' '), "ABC  "},
      {"padL cuts the tail", padL("ABCDEF", 3, ' '), "ABC"},
      {"padR fills on the left", padR("ABC", 5, '0'), "00ABC"},
      {"padR cuts the tail, not the head", padR("ABCDEF", 3, '0'), "ABC"},
      {"padR of exact width", padR("ABC", 3, '0'), "ABC"},
      {"Poem_Zeros trims first", Poem_Zeros(" 42 ", 6), "000042"},
      {"Poem_Zeros trims control characters", Poem_Zeros("\t42\r\n", 4), "0042"},
      {"IntToStrZero", IntToStrZero(7, 3), "007"},
      {"IntToStrZero longer than width", IntToStrZero(12345, 3), "123"},
      {"IntToStrZero negative", IntToStrZero(-5, 4), "00-5"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.actual, row.expected) << row.name;
  }
}

TEST(VornCliSiTefUtil, OnlyNumberKeepsDigitsInOrder) {
  EXPECT_EQ(OnlyNumber("12.345-67"), "1234567");
  EXPECT_EQ(OnlyNumber(""), "");
  EXPECT_EQ(OnlyNumber("abc"), "");
  EXPECT_TRUE(CharIsNum('0'));
  EXPECT_FALSE(CharIsNum('a'));
}

TEST(VornCliSiTefUtil, StringToFloatAcceptsEitherMarkButNotBoth) {
  struct Row {
    const char* text;
    double expected;  // NaN marks a text that must fail
  };
  const double fails = std::numeric_limits<double>::quiet_NaN();
  const Row rows[] = {
      {"1,5", 1.5},    {"1.5", 1.5},        {" 12.34 ", 12.34},  {"-3", -3.0},
      {"1e3", 1000.0}, {"1.234,56", fails}, {"1,234.56", fails}, {"", fails},
      {"abc", fails},  {"1,", 1.0},         {",5", 0.5},         {"1 000", fails},
  };
  for (const Row& row : rows) {
    if (std::isnan(row.expected)) {
      EXPECT_THROW(StringToFloat(row.text), EConvertError) << row.text;
      EXPECT_EQ(StringToFloatDef(row.text, -1.0), -1.0) << row.text;
    } else {
      EXPECT_DOUBLE_EQ(StringToFloat(row.text), row.expected) << row.text;
    }
  }
}

TEST(VornCliSiTefUtil, BinaryEscapesRoundTripAndTheirQuirks) {
  const AnsiString raw("A\r\nB\x80\x7F", 6);
  EXPECT_EQ(BinaryStringToString(raw), "A\\x0D\\x0AB\\x80\x7F");
  EXPECT_EQ(StringToBinaryString(BinaryStringToString(raw)), raw);

  struct Row {
    const char* name;
    AnsiString escaped;
    AnsiString decoded;
  };
  const Row rows[] = {
      {"lower-case digits decode", "\\x0d", "\r"},
      {"a non-hexadecimal escape becomes a blank everywhere", "a\\xZZb\\xZZc", "a b c"},
      {"a backslash-x-hex already in the text is decoded", "C:\\x41", "C:A"},
      {"an escape cut at the end becomes a blank", "ab\\x4", "ab "},
      {"a bare escape at the end becomes a blank", "ab\\x", "ab "},
      {"no escape", "plain", "plain"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(StringToBinaryString(row.escaped), row.decoded) << row.name;
  }
}

TEST(VornCliSiTefUtil, AnsiConversionIsLosslessForTheCodePage) {
  const AnsiString ansi("Cart\xE3o \x80", 8);
  EXPECT_EQ(VornCliSiTefStr(ansi), "Cartão €");
  EXPECT_EQ(VornAnsiStr("Cartão €"), ansi);
  EXPECT_EQ(VornAnsiStr("日"), "?");
}

TEST(VornCliSiTefUtil, PathWithDelim) {
  EXPECT_EQ(PathWithDelim(NativePath(" /tmp/a ")), NativePath("/tmp/a/"));
  EXPECT_EQ(PathWithDelim(NativePath("/tmp/a/")), NativePath("/tmp/a/"));
  EXPECT_EQ(PathWithDelim("   "), "");
}

TEST(VornCliSiTefUtil, FindFilesAndWriteToTxt) {
  TempDir dir;
  std::vector<std::string> list{"stale"};
  FindFiles(dir.Path() + "*.tef", list, true);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(FilesExists(dir.Path() + "*.tef"));

  WriteToTXT(AnsiFromBytes(dir.Path() + "b_002.tef"), "first", false, true);
  WriteToTXT(AnsiFromBytes(dir.Path() + "b_002.tef"), "second", true, false);
  WriteToTXT(AnsiFromBytes(dir.Path() + "B_001.TEF"), "x", true, false);
  WriteToTXT(AnsiFromBytes(dir.Path() + "other.log"), "x", false, false);

  FindFiles(dir.Path() + "b_*.tef", list, false);
  EXPECT_EQ(list, (std::vector<std::string>{"B_001.TEF", "b_002.tef"}));
  FindFiles(dir.Path() + "b_*.tef", list, true);
  EXPECT_EQ(list.front(), dir.Path() + "B_001.TEF");
  EXPECT_TRUE(FilesExists(dir.Path() + "*.log"));

  std::ifstream in(dir.Path() + "b_002.tef", std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "first\r\nsecond");

  WriteToTXT(AnsiFromBytes(dir.Path() + "b_002.tef"), "new", false, false);
  EXPECT_EQ(*platform::Current().ReadFile(dir.Path() + "b_002.tef"), "new");

  EXPECT_TRUE(FlushFileToDisk(dir.Path() + "b_002.tef"));
  EXPECT_FALSE(FlushFileToDisk(dir.Path() + "missing.tef"));
}

TEST(VornCliSiTefUtil, WriteToTxtRaisesWithTheSystemMessage) {
  if (GATEWAY_TEST_ON_WINDOWS) {
    GTEST_SKIP() << "the expected text is the C library's English message; Windows gives the "
                    "message in the system's language";
  }
  TempDir dir;
  try {
    WriteToTXT(AnsiFromBytes(dir.Path() + "no/such/folder.txt"), "x", false, false);
    FAIL() << "no exception";
  } catch (const std::system_error& error) {
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos);
  }
}

TEST(VornCliSiTefUtil, RunCommandWaitsInTheProgramsFolder) {
  if (GATEWAY_TEST_ON_WINDOWS) {
    GTEST_SKIP() << "the program run is a /bin/sh script";
  }
  TempDir dir;
  const std::string script = dir.Path() + "write.sh";
  platform::Current().WriteFile(script, "#!/bin/sh\npwd > out.txt\necho \"$1\" >> out.txt\n",
                                false);
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  RunCommand("  " + script + "  ", "  hello  ", true, 0);
  std::string folder = dir.Path();
  folder.pop_back();
  EXPECT_EQ(platform::Current().ReadFile(dir.Path() + "out.txt").value_or(""),
            folder + "\nhello\n");
}

TEST(VornCliSiTefUtil, FunctionDetectCountsReferences) {
  void* address = nullptr;
  void* module = nullptr;
  EXPECT_FALSE(FunctionDetect("no-such-library.so", "f", address));
  EXPECT_EQ(address, nullptr);
  ASSERT_TRUE(FunctionDetect(SYSTEM_TEST_LIBRARY, SYSTEM_TEST_FUNCTION, address, module));
  EXPECT_NE(module, nullptr);
  EXPECT_FALSE(FunctionDetect(SYSTEM_TEST_LIBRARY, "noSuchFunction", address));
  EXPECT_TRUE(UnLoadLibrary(SYSTEM_TEST_LIBRARY));
  EXPECT_TRUE(UnLoadLibrary(SYSTEM_TEST_LIBRARY));
  EXPECT_TRUE(UnLoadLibrary("no-such-library.so"));
  EXPECT_EQ(SystemFunctions().Inp32, nullptr);
  // user32's BlockInput exists on Windows only.
  EXPECT_EQ(SystemFunctions().BlockInput != nullptr, bool{GATEWAY_TEST_ON_WINDOWS});
}

}  // namespace
