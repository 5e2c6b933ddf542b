// The Windows platform in a Brazilian Portuguese user locale (CTest runs this
// program with one): the regional settings come from the locale, and the
// system's messages, Portuguese there, reach the gateway as UTF-8.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "FakePlatform.h"
#include "platform/win32/Win32Platform.h"

namespace {

bool PortugueseLocale() {
  const char* locale = std::getenv("LC_ALL");
  return locale != nullptr && std::string(locale).rfind("pt_BR", 0) == 0;
}

TEST(Win32Platform, RegionalSettingsComeFromTheUsersLocale) {
  if (!PortugueseLocale()) {
    GTEST_SKIP() << "runs with LC_ALL=pt_BR.UTF-8 (CTest sets it)";
  }
  const platform::RegionalSettings settings = platform::Win32Platform().Regional();
  EXPECT_EQ(settings.decimalSeparator, ',');
  EXPECT_EQ(settings.thousandsSeparator, '.');
  EXPECT_EQ(settings.dateSeparator, '/');
  EXPECT_EQ(settings.timeSeparator, ':');
  EXPECT_EQ(settings.shortDateOrder, "DMY");
  EXPECT_EQ(settings.longMonthNames[0], "janeiro");
  EXPECT_EQ(settings.longMonthNames[2], "mar\xC3\xA7o");
  EXPECT_EQ(settings.longMonthNames[11], "dezembro");
}

TEST(Win32Platform, SystemMessagesAreUtf8) {
  if (!PortugueseLocale()) {
    GTEST_SKIP() << "runs with LC_ALL=pt_BR.UTF-8 (CTest sets it)";
  }
  const TempDir dir;
  try {
    platform::Win32Platform().WriteFile(dir.Path() + "missing\\x.txt", "x", false);
    FAIL() << "no error";
  } catch (const std::system_error& error) {
    // "Caminho não encontrado", with the "ã" as UTF-8.
    EXPECT_NE(std::string(error.what()).find("n\xC3\xA3o"), std::string::npos) << error.what();
  }
}

}  // namespace
