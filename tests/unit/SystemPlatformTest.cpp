// The operating system's platform against the contract of Platform.h: the
// same cases hold on Linux and on Windows (under Wine), where each operation
// is a different system call.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "FakePlatform.h"
#include "platform/Platform.h"

namespace {

platform::Platform& System() {
  return platform::Current();
}

TEST(SystemPlatform, AnsiCodePageIsWindows1252BothWays) {
  struct Row {
    const char* name;
    std::string ansi;
    std::string utf8;
  };
  const Row rows[] = {
      {"Portuguese letters", "a\xE7\xE3o \xC9", "a\xC3\xA7\xC3\xA3o \xC3\x89"},
      {"euro sign", "\x80", "\xE2\x82\xAC"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(System().AnsiToUtf8(row.ansi), row.utf8) << row.name;
    EXPECT_EQ(System().Utf8ToAnsi(row.utf8), row.ansi) << row.name;
  }
}

TEST(SystemPlatform, CharactersTheCodePageLacksBecomeOneQuestionMarkEach) {
  struct Row {
    const char* name;
    std::string utf8;
    std::string ansi;
  };
  const Row rows[] = {
      {"a letter the code page lacks, not its look-alike", "\xC4\x81", "?"},
      {"a character beyond U+FFFF", "x\xF0\x9F\x98\x80y", "x?y"},
      {"invalid UTF-8", "x\xFFy", "x?y"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(System().Utf8ToAnsi(row.utf8), row.ansi) << row.name;
  }
}

// The offset at a given moment follows the zone's rules for that moment, not
// today's: CTest runs this program in a zone with summer time.
TEST(SystemPlatform, UtcOffsetFollowsTheRulesAtThatMoment) {
  const char* zone = std::getenv("TZ");
  if (zone == nullptr || std::string(zone) != "America/New_York") {
    GTEST_SKIP() << "runs with TZ=America/New_York (CTest sets it)";
  }
  struct Row {
    const char* name;
    platform::CivilTime local;
    int minutes;
  };
  const Row rows[] = {
      {"winter", {2026, 1, 15, 12, 0, 0, 0}, -300},
      {"summer", {2026, 7, 15, 12, 0, 0, 0}, -240},
      {"the last winter hour", {2026, 3, 8, 1, 30, 0, 0}, -300},
      {"the first summer hour", {2026, 3, 8, 3, 30, 0, 0}, -240},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(System().UtcOffsetMinutes(row.local), row.minutes) << row.name;
  }
}

TEST(SystemPlatform, GuidsAreUpperCaseVersion4AndDistinct) {
  const std::string a = System().NewGuid();
  const std::string b = System().NewGuid();
  ASSERT_EQ(a.size(), 36u) << a;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    EXPECT_TRUE(dash ? a[i] == '-'
                     : std::isxdigit(static_cast<unsigned char>(a[i])) &&
                           !std::islower(static_cast<unsigned char>(a[i])))
        << a << " at " << i;
  }
  EXPECT_EQ(a[14], '4') << a;
  EXPECT_NE(a, b);
}

TEST(SystemPlatform, FilesWrittenAppendedRenamedOverAndDeleted) {
  const TempDir dir;
  platform::Platform& os = System();
  const std::string folder =
      dir.Path() + "a b" + os.PathDelimiter() + "\xC3\xA7" + os.PathDelimiter();
  ASSERT_TRUE(os.ForceDirectories(folder));
  EXPECT_TRUE(os.ForceDirectories(folder)) << "an existing folder";
  EXPECT_TRUE(os.DirectoryExists(folder));
  EXPECT_FALSE(os.FileExists(folder)) << "a folder is no file";
  EXPECT_FALSE(os.ReadFile(folder)) << "a folder has no content";

  const std::string file = folder + "backup.tef";
  const std::string temporary = folder + "backup.tmp";
  os.WriteFile(file, "old", false);
  os.WriteFile(file, "\r\nmore", true);
  EXPECT_EQ(os.ReadFile(file).value_or("?"), "old\r\nmore");
  os.WriteFile(temporary, "new", false);
  EXPECT_TRUE(os.FlushFileToDisk(temporary));
  ASSERT_TRUE(os.RenameFile(temporary, file)) << "the rename replaces the existing file";
  EXPECT_EQ(os.ReadFile(file).value_or("?"), "new");
  EXPECT_FALSE(os.FileExists(temporary));
  EXPECT_TRUE(os.DeleteFile(file));
  EXPECT_FALSE(os.DeleteFile(file)) << "already gone";
  EXPECT_FALSE(os.FlushFileToDisk(file)) << "nothing to flush";
  EXPECT_FALSE(os.RenameFile(file, temporary)) << "nothing to rename";
  EXPECT_FALSE(os.ReadFile(file));
}

TEST(SystemPlatform, WriteFailureRaisesTheSystemsReasonWithThePath) {
  const TempDir dir;
  const std::string file = dir.Path() + "missing" + System().PathDelimiter() + "x.txt";
  try {
    System().WriteFile(file, "x", false);
    FAIL() << "no error";
  } catch (const std::system_error& error) {
    const std::string text = error.what();
    EXPECT_NE(text.find(file), std::string::npos) << text;
    EXPECT_GT(text.size(), file.size() + 4) << "the reason follows the path: " << text;
  }
}

TEST(SystemPlatform, FindFilesMatchesTheMaskAndSortsIgnoringCase) {
  const TempDir dir;
  platform::Platform& os = System();
  for (const char* name :
       {"b.tef", "A.tef", "c.TEF", "a.tefx", "_x.tef", ".hidden.tef", "Z.tef.invalido"}) {
    os.WriteFile(dir.Path() + name, "x", false);
  }
  ASSERT_TRUE(os.ForceDirectories(dir.Path() + "d.tef"));
  using Names = std::vector<std::string>;
  struct Row {
    const char* mask;
    Names expected;
  };
  const Row rows[] = {
      {"*.tef", {"_x.tef", "A.tef", "b.tef", "c.TEF", "d.tef"}},
      {"?.TEF", {"A.tef", "b.tef", "c.TEF", "d.tef"}},
      {"*", {"_x.tef", "A.tef", "a.tefx", "b.tef", "c.TEF", "d.tef", "Z.tef.invalido"}},
      {".*", {".hidden.tef"}},
      {"nothing*", {}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(os.FindFiles(dir.Path() + row.mask), row.expected) << row.mask;
  }
  EXPECT_EQ(os.FindFiles(dir.Path() + "missing" + os.PathDelimiter() + "*"), Names{})
      << "a folder that does not exist";
}

}  // namespace
