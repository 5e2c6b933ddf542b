#include "util/IniConfig.h"

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "NativePath.h"
#include "util/RegionalConfig.h"

namespace {

TEST(IniConfig, ReadsTypedValuesWithDefaults) {
  TempDir dir;
  const std::string path = dir.Path() + "SvcQuorelSiTef.ini";
  platform::Current().WriteFile(path,
                                "; comment\r\n"
                                "[sitef]\r\n"
                                "pdv_number = 7\r\n"
                                "hex=0x1F\r\n"
                                "neg=-3\r\n"
                                "word=abc\r\n"
                                "big=99999999999\r\n"
                                "printer=Impressora T\xE9rmica\r\n"
                                "qrcode_on_pinpad=true\r\n"
                                "on=1\r\n"
                                "[other]\r\n"
                                "pdv_number=9\r\n",
                                false);
  const TIniConfig ini(path);
  struct Row {
    const char* section;
    const char* key;
    int expected;
  };
  const Row integers[] = {
      {"sitef", "pdv_number", 7}, {"SITEF", "PDV_NUMBER", 7},      {"sitef", "hex", 31},
      {"sitef", "neg", -3},       {"sitef", "word", -1},           {"sitef", "big", -1},
      {"sitef", "missing", -1},   {"nosection", "pdv_number", -1}, {"other", "pdv_number", 9},
  };
  for (const Row& row : integers) {
    EXPECT_EQ(ini.ReadInteger(row.section, row.key, -1), row.expected)
        << row.section << "/" << row.key;
  }
  EXPECT_TRUE(ini.ReadBool("Sitef", "on", false));
  EXPECT_FALSE(ini.ReadBool("Sitef", "qrcode_on_pinpad", false));
  EXPECT_TRUE(ini.ReadBool("Sitef", "missing", true));
  EXPECT_EQ(ini.ReadString("sitef", "printer", ""), "Impressora Térmica");
  EXPECT_EQ(ini.ReadString("sitef", "nothing", "def"), "def");
}

TEST(IniConfig, EveryReadSeesTheFileAsItIsNow) {
  TempDir dir;
  const std::string path = dir.Path() + "x.ini";
  const TIniConfig ini(path);
  EXPECT_EQ(ini.ReadInteger("sitef", "pdv_number", 0), 0);  // no file yet
  platform::Current().WriteFile(path, "[sitef]\npdv_number=12\n", false);
  EXPECT_EQ(ini.ReadInteger("sitef", "pdv_number", 0), 12);
  platform::Current().WriteFile(path, "[sitef]\npdv_number=13\n", false);
  EXPECT_EQ(ini.ReadInteger("sitef", "pdv_number", 0), 13);
}

TEST(IniConfig, PathBesideTheExecutable) {
  FakePlatform os;
  os.SetExecutablePath(NativePath("/opt/app/SvcQuorelSiTef"));
  EXPECT_EQ(ConfigFilePath(), NativePath("/opt/app/SvcQuorelSiTef.ini"));
  os.SetExecutablePath(NativePath("/opt/app.d/SvcQuorelSiTef.exe"));
  EXPECT_EQ(ConfigFilePath(), NativePath("/opt/app.d/SvcQuorelSiTef.ini"));
  os.SetExecutablePath(NativePath("/opt/app.d/SvcQuorelSiTef"));
  EXPECT_EQ(ConfigFilePath(), NativePath("/opt/app.d/SvcQuorelSiTef.ini"));
}

TEST(IniConfig, RegionalOverrides) {
  FakePlatform os;
  TempDir dir;
  platform::Current().WriteFile(dir.Path() + "r.ini",
                                "[regional]\ndecimal_separator=.\ndate_separator=-\n", false);
  ApplyRegionalConfig(TIniConfig(dir.Path() + "r.ini"));
  EXPECT_EQ(os.Regional().decimalSeparator, '.');
  EXPECT_EQ(os.Regional().dateSeparator, '-');
  EXPECT_EQ(os.Regional().timeSeparator, ':');
}

}  // namespace
