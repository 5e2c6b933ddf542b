#include "tef/VornCliSiTefBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FakePlatform.h"
#include "util/Currency.h"

namespace {

TDateTime Moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  TDateTime moment = 0;
  EXPECT_TRUE(TryEncodeDateTime({year, month, day, hour, minute, second, 0}, moment));
  return moment;
}

TVornCliSiTefInformacao Stored(const char* text) {
  TVornCliSiTefInformacao value;
  value.SetAsString(text);
  return value;
}

TEST(VornCliSiTefInformacao, WritesAmountsAsWholeCents) {
  struct Row {
    double amount;
    const char* stored;
  };
  const Row rows[] = {
      {0.5, "050"},    {1234.5, "123450"}, {0.05, "005"},
      {1, "100"},      {12.34, "1234"},    {0, ""},
      {1.005, "101"},  {0.125, "013"},     {-0.125, "-013"},
      {-0.05, "-005"}, {-12.34, "-1234"},  {std::numeric_limits<double>::quiet_NaN(), ""},
  };
  for (const Row& row : rows) {
    TVornCliSiTefInformacao value;
    value.SetAsString("stale");
    value.SetAsFloat(row.amount);
    EXPECT_EQ(value.AsString(), row.stored) << row.amount;
  }
}

TEST(VornCliSiTefInformacao, ReadsAmountsDroppingSeparators) {
  struct Row {
    const char* stored;
    std::int64_t cents;
  };
  const Row rows[] = {
      {"050", 50},
      {"123450", 123450},
      {"12,34", 1234},
      {"12,3", 123},  // the separator is removed, not interpreted
      {"1.234,56", 123456},
      {" 1234 ", 1234},
      {"2147483647", 2147483647},
      {"2147483648", 0},   // beyond 32 bits
      {"12345678901", 0},  // eleven digits
      {"-005", -5},
      {"", 0},
      {" ", 0},
      {"12a", 0},
      {"1 234", 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Currency::FromDouble(Stored(row.stored).AsFloat()), Currency::FromCents(row.cents))
        << row.stored;
  }
}

TEST(VornCliSiTefInformacao, AmountsRoundTrip) {
  const double amounts[] = {0.5, 0.05, 1234.5, 21474836.47, -3.5, 0.01};
  for (const double amount : amounts) {
    TVornCliSiTefInformacao value;
    value.SetAsFloat(amount);
    EXPECT_EQ(Currency::FromDouble(value.AsFloat()), Currency::FromDouble(amount)) << amount;
  }
}

TEST(VornCliSiTefInformacao, Integers) {
  struct Row {
    const char* stored;
    std::int32_t value;
  };
  const Row rows[] = {
      {"", 0},           {" 42 ", 42},
      {"-7", -7},        {"+7", 7},
      {"007", 7},        {"4x", 0},
      {"4 2", 0},        {"2147483647", 2147483647},
      {"2147483648", 0}, {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"-", 0},          {"1.5", 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Stored(row.stored).AsInteger(), row.value) << row.stored;
  }

  TVornCliSiTefInformacao value;
  value.SetAsInteger(-5);
  EXPECT_EQ(value.AsString(), "-5");
  value.SetAsInteger(0);
  EXPECT_EQ(value.AsString(), "") << "a zero is stored as no value";
}

TEST(VornCliSiTefInformacao, ReadsDateLayoutsFromDigitsOnly) {
  FakePlatform os;
  os.SetNow({2025, 1, 1, 0, 0, 1, 0});
  enum Getter { kDate, kTime, kTimeStamp, kTimeStampSQL };
  struct Row {
    const char* name;
    Getter getter;
    const char* stored;
    TDateTime expected;
  };
  const Row rows[] = {
      {"date", kDate, "31122024", Moment(2024, 12, 31)},
      {"date with slashes", kDate, "31/12/2024", Moment(2024, 12, 31)},
      {"date with blanks around", kDate, " 31122024 ", Moment(2024, 12, 31)},
      {"31 February", kDate, "31022024", 0},
      {"29 February of a leap year", kDate, "29022024", Moment(2024, 2, 29)},
      {"month 13", kDate, "01132024", 0},
      {"year 0", kDate, "01010000", 0},
      {"date too short", kDate, "3112202", 0},
      {"date empty", kDate, "", 0},
      {"time", kTime, "235959", Moment(1899, 12, 30, 23, 59, 59)},
      {"time with colons", kTime, "23:59:59", Moment(1899, 12, 30, 23, 59, 59)},
      {"hour 25", kTime, "250000", 0},
      {"minute 60", kTime, "126000", 0},
      {"time too short", kTime, "2359", 0},
      {"timestamp takes the current year", kTimeStamp, "3112235959",
       Moment(2025, 12, 31, 23, 59, 59)},
      {"timestamp 29 February in a common year", kTimeStamp, "2902120000", 0},
      {"timestamp too short", kTimeStamp, "311223595", 0},
      {"SQL timestamp", kTimeStampSQL, "20240131235959", Moment(2024, 1, 31, 23, 59, 59)},
      {"SQL timestamp with separators", kTimeStampSQL, "2024-01-31 23:59:59",
       Moment(2024, 1, 31, 23, 59, 59)},
      {"SQL timestamp 30 February", kTimeStampSQL, "20240230120000", 0},
      {"SQL timestamp too short", kTimeStampSQL, "2024013123595", 0},
      {"letters only", kTimeStampSQL, "abcdefghijklmn", 0},
  };
  for (const Row& row : rows) {
    const TVornCliSiTefInformacao value = Stored(row.stored);
    TDateTime actual = -1;
    switch (row.getter) {
      case kDate:
        actual = value.AsDate();
        break;
      case kTime:
        actual = value.AsTime();
        break;
      case kTimeStamp:
        actual = value.AsTimeStamp();
        break;
      case kTimeStampSQL:
        actual = value.AsTimeStampSQL();
        break;
    }
    EXPECT_NEAR(actual, row.expected, 1e-9) << row.name;
  }
}

TEST(VornCliSiTefInformacao, WritesDateLayouts) {
  FakePlatform os;
  const TDateTime moment = Moment(2024, 1, 31, 23, 5, 9);
  struct Row {
    const char* name;
    void (TVornCliSiTefInformacao::*setter)(TDateTime);
    TDateTime value;
    const char* stored;
  };
  const Row rows[] = {
      {"date", &TVornCliSiTefInformacao::SetAsDate, moment, "31012024"},
      {"time", &TVornCliSiTefInformacao::SetAsTime, moment, "230509"},
      {"timestamp", &TVornCliSiTefInformacao::SetAsTimeStamp, moment, "3101230509"},
      {"SQL timestamp", &TVornCliSiTefInformacao::SetAsTimeStampSQL, moment, "20240131230509"},
      {"date of zero", &TVornCliSiTefInformacao::SetAsDate, 0, ""},
      {"time of zero", &TVornCliSiTefInformacao::SetAsTime, 0, ""},
      {"timestamp of zero", &TVornCliSiTefInformacao::SetAsTimeStamp, 0, ""},
      {"SQL timestamp of zero", &TVornCliSiTefInformacao::SetAsTimeStampSQL, 0, ""},
      {"date beyond year 9999", &TVornCliSiTefInformacao::SetAsDate, 1e9, ""},
      {"not a number", &TVornCliSiTefInformacao::SetAsTimeStampSQL,
       std::numeric_limits<double>::quiet_NaN(), ""},
  };
  for (const Row& row : rows) {
    TVornCliSiTefInformacao value;
    value.SetAsString("stale");
    (value.*row.setter)(row.value);
    EXPECT_EQ(value.AsString(), row.stored) << row.name;
  }
}

TEST(VornCliSiTefInformacao, EmptyReadsZeroEverywhere) {
  FakePlatform os;
  const TVornCliSiTefInformacao value;
  EXPECT_EQ(value.AsString(), "");
  EXPECT_EQ(value.AsInteger(), 0);
  EXPECT_EQ(value.AsFloat(), 0.0);
  EXPECT_EQ(value.AsDate(), 0.0);
  EXPECT_EQ(value.AsTime(), 0.0);
  EXPECT_EQ(value.AsTimeStamp(), 0.0);
  EXPECT_EQ(value.AsTimeStampSQL(), 0.0);
}

}  // namespace
