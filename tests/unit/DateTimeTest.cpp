#include "util/DateTime.h"

#include <gtest/gtest.h>

#include "FakePlatform.h"

namespace {

TEST(DateTime, EncodesAndDecodes) {
  TDateTime moment = 0;
  ASSERT_TRUE(TryEncodeDateTime({2026, 3, 5, 14, 7, 9, 45}, moment));
  const platform::CivilTime c = DecodeDateTime(moment);
  EXPECT_EQ(c.year, 2026);
  EXPECT_EQ(c.month, 3);
  EXPECT_EQ(c.day, 5);
  EXPECT_EQ(c.hour, 14);
  EXPECT_EQ(c.minute, 7);
  EXPECT_EQ(c.second, 9);
  EXPECT_EQ(c.millisecond, 45);

  TDateTime epoch = -1;
  ASSERT_TRUE(TryEncodeDate(1899, 12, 30, epoch));
  EXPECT_EQ(epoch, 0.0);
  EXPECT_FALSE(TryEncodeDate(2026, 2, 29, moment));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, moment));
  EXPECT_FALSE(TryEncodeDate(2026, 13, 1, moment));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, moment));
}

TEST(DateTime, FormatsWithRegionalSeparators) {
  FakePlatform os;
  const platform::CivilTime c{2026, 3, 5, 4, 7, 9, 45};
  struct Row {
    const char* pattern;
    const char* expected;
  };
  const Row rows[] = {
      {"dd/mm/yyyy hh:nn:ss", "05/03/2026 04:07:09"},
      {"hh:mm", "04:07"},
      {"dd/mm hh:nn:ss:zzz", "05/03 04:07:09:045"},
      {"yyyymmdd", "20260305"},
      {"DDMMYYYY", "05032026"},
      {"hhnnss", "040709"},
      {"mmmm-yyyy", "março-2026"},
      {"mm-yyyy", "03-2026"},
      {"yyyy-mm-dd\"T\"hh:nn:ss\"Z\"", "2026-03-05T04:07:09Z"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FormatDateTime(row.pattern, c), row.expected) << row.pattern;
  }
  platform::RegionalSettings dots = os.Regional();
  dots.dateSeparator = '.';
  dots.timeSeparator = '-';
  os.OverrideRegional(dots);
  EXPECT_EQ(FormatDateTime("dd/mm hh:nn", c), "05.03 04-07");
}

}  // namespace
