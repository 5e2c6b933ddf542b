#include "util/ServiceLog.h"

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "NativePath.h"

namespace {

class ServiceLogTest : public testing::Test {
 protected:
  void SetUp() override { os.SetExecutablePath(dir.Path() + "SvcQuorelSiTef"); }

  std::string Read(const std::string& relative) {
    return platform::Current().ReadFile(dir.Path() + relative).value_or("<missing>");
  }

  TempDir dir;
  FakePlatform os;
};

TEST_F(ServiceLogTest, WritesStampedLinesAndBlankLines) {
  os.SetNow({2026, 12, 10, 14, 7, 9, 0});
  EXPECT_TRUE(GravaLog("O serviço foi inciado."));
  EXPECT_TRUE(GravaLog("   "));
  EXPECT_TRUE(GravaLog("a\r\nb"));
  EXPECT_EQ(Read("Log/Dezembro-2026/QuorelSiTefService 10-12-2026.log"),
            "[10/12/2026 14:07:09] O servi\xE7o foi inciado.\r\n"
            "\r\n"
            "[10/12/2026 14:07:09] a\r\nb\r\n");
}

TEST_F(ServiceLogTest, NewDayAndNewMonthGoToNewFiles) {
  os.SetNow({2026, 12, 31, 23, 59, 59, 0});
  GravaLog("last");
  os.SetNow({2027, 1, 1, 0, 0, 0, 0});
  GravaLog("first");
  os.SetNow({2027, 3, 1, 0, 0, 1, 0});
  GravaLog("march");
  EXPECT_EQ(Read("Log/Dezembro-2026/QuorelSiTefService 31-12-2026.log"),
            "[31/12/2026 23:59:59] last\r\n");
  EXPECT_EQ(Read("Log/Janeiro-2027/QuorelSiTefService 01-01-2027.log"),
            "[01/01/2027 00:00:00] first\r\n");
  EXPECT_EQ(Read("Log/Março-2027/QuorelSiTefService 01-03-2027.log"),
            "[01/03/2027 00:00:01] march\r\n");
}

TEST_F(ServiceLogTest, AFolderThatCannotBeCreatedDropsTheLine) {
  platform::Current().WriteFile(dir.Path() + "Log", "a file in the way", false);
  EXPECT_FALSE(GravaLog("lost"));
}

TEST_F(ServiceLogTest, TefTracePathCreatesItsFolders) {
  os.SetNow({2026, 3, 5, 8, 0, 0, 0});
  EXPECT_EQ(TefTracePath(), dir.Path() + NativePath("Log/03-2026/TEF-05-03-2026.log"));
  EXPECT_TRUE(platform::Current().DirectoryExists(dir.Path() + "Log/03-2026"));
}

}  // namespace
