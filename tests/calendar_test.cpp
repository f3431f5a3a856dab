#include "calendar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "reading_series.h"
#include "series_builder.h"

using namespace ctp;

namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();

double time_of(const Reading& r) {
  Window w = make_series({r});
  convert_times(w.series);
  return w.series.time_s[0];
}

TEST(MonthStart, MonthsOf2019And2020HaveTheirFixedValues) {
  struct Row {
    std::int64_t YY, MM, seconds;
  };
  const Row months[] = {
      {2019, 10, 23587200}, {2019, 11, 26265600}, {2019, 12, 28857600}, {2020, 1, 31536000},
      {2020, 2, 34214400},  {2020, 3, 36720000},  {2020, 4, 39398400},  {2020, 5, 41990400},
      {2020, 6, 44668800},  {2020, 7, 47260800},  {2020, 8, 49939200},  {2020, 9, 52617600},
      {2020, 10, 55209600}, {2020, 11, 57888000}, {2020, 12, 60480000},
  };
  for (const Row& r : months) {
    std::int64_t seconds = -1;
    EXPECT_TRUE(month_start_s(r.YY, r.MM, seconds)) << r.YY << "-" << r.MM;
    EXPECT_EQ(seconds, r.seconds) << r.YY << "-" << r.MM;
  }
}

TEST(MonthStart, OtherYearsFollowTheGregorianCalendar) {
  struct Row {
    std::int64_t YY, MM, days;
  };
  const Row rows[] = {
      {2019, 1, 0},     {2019, 3, 59},                     // 2019 is a common year
      {2021, 1, 731},   {2021, 3, 790},  {2024, 3, 1886},  // 2024 is a leap year
      {2100, 3, 29644},                                    // 2100 is not
      {2000, 3, -6880}, {2018, 12, -31}, {1970, 1, -17897},
      {1, 1, -737059},  {0, 3, -737365}, {-1, 1, -737790},  // year 0 is a leap year
  };
  for (const Row& r : rows) {
    std::int64_t seconds = -1;
    EXPECT_TRUE(month_start_s(r.YY, r.MM, seconds)) << r.YY << "-" << r.MM;
    EXPECT_EQ(seconds, r.days * 86400) << r.YY << "-" << r.MM;
  }
}

TEST(MonthStart, RefusesMonthsOutsideTheYearAndSecondsBeyond64Bits) {
  struct Row {
    std::int64_t YY, MM;
  };
  const Row rows[] = {{2020, 0},         {2020, 13},           {2020, -1},
                      {2020, int64_max}, {2020, int64_min},    {int64_max, 1},
                      {int64_min, 12},   {300'000'000'000, 1}, {-300'000'000'000, 1}};
  for (const Row& r : rows) {
    std::int64_t seconds = 0;
    EXPECT_FALSE(month_start_s(r.YY, r.MM, seconds)) << r.YY << "-" << r.MM;
  }
  // The last whole years that still fit.
  std::int64_t seconds = 0;
  EXPECT_TRUE(month_start_s(292'277'000'000, 1, seconds));
  EXPECT_TRUE(month_start_s(-292'277'000'000, 1, seconds));
}

TEST(ConvertTimes, AddsDayAndTimeOfDayToTheMonthStart) {
  struct Row {
    Reading r;
    double time_s;
  };
  const Row rows[] = {
      {{2019, 10, 1, 0, 0, 0, 0}, 23587200},
      {{2019, 12, 31, 23, 59, 59, 0}, 31535999},
      {{2020, 1, 1, 0, 0, 0, 0}, 31536000},
      {{2020, 2, 29, 12, 0, 0, 0}, 36676800},  // the leap day counts
      {{2020, 3, 0, 0, 0, 0, 0}, 36633600},    // day 0 is the previous month's last
      {{2020, 2, 30, 0, 0, 0, 0}, 36720000},   // a day past the end runs on
      {{2020, 1, 1, 10, 30, 15.5, 0}, 31536000 + 37815.5},
      {{2020, 1, 1, 24, 0, 0, 0}, 31536000 + 86400},  // hour 24 is the next day
      {{2020, 1, 1, -1, 75, -0.25, 0}, 31536000 - 3600 + 4500 - 0.25},
      {{2021, 1, 1, 0, 0, 0, 0}, 731 * 86400.0},  // after 2020 too
      {{2019, 1, -5, 0, 0, 0, 0}, -6 * 86400.0},
      {{2020, 1, 1, inf, 0, 0, 0}, inf},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(time_of(row.r), row.time_s) << row.r.YY << "-" << row.r.MM << "-" << row.r.DD;
  }
}

TEST(ConvertTimes, NoTimeWithoutAUsableDate) {
  const Reading rows[] = {
      {2020, 13, 1, 0, 0, 0, 0},
      {2020, 0, 1, 0, 0, 0, 0},
      {2020, 1, int64_min, 0, 0, 0, 0},            // (DD - 1) overflows
      {2020, 1, int64_max, 0, 0, 0, 0},            // (DD - 1) * 86400 overflows
      {2020, 1, 106'751'991'167'300, 0, 0, 0, 0},  // fits alone, not with the month start
      {int64_max, 1, 1, 0, 0, 0, 0},
      {2020, 1, 1, no_value(), no_value(), no_value(), no_value()},
      {2020, 1, 1, 10, 5, no_value(), no_value()},  // the scan stopped before the seconds
  };
  for (const Reading& r : rows) EXPECT_TRUE(is_no_value(time_of(r))) << r.YY << "-" << r.MM;
}

TEST(ConvertTimes, ANaNFieldIsATimeNotAMissingOne) {
  double t = time_of({2020, 1, 1, -nan_value, 0, 0, 0});
  EXPECT_TRUE(std::isnan(t));
  EXPECT_FALSE(is_no_value(t));
}

// The four additions run left to right, each rounded on its own. Every other order or
// grouping of them prints at least one of these times differently.
TEST(ConvertTimes, AdditionsRunLeftToRight) {
  struct Row {
    Reading r;
    const char* printed;
  };
  const Row rows[] = {
      {{2020, 3, 98368, 17164.767650492868, 264006.24059284595, -698034656.7520452, 0},
       "7915227681.225302"},
      {{2020, 3, -3304, -72.26083310464017, -48.39945754043684, -0.6304473516079083, 0},
       "-249095043.597077"},
      {{2020, 3, -65969, 25.08966288103042, -88.91978251265755, 341086595.81735706, 0},
       "-5321916416.583221"},
  };
  for (const Row& row : rows) {
    char printed[64];
    std::snprintf(printed, sizeof printed, "%lf", time_of(row.r));
    EXPECT_STREQ(printed, row.printed) << row.r.DD;
  }
}

// The month start is remembered for its year and month: consecutive readings in the same
// month of two years, then in another month of the same year.
TEST(ConvertTimes, DayStartIsRememberedForItsYearMonthAndDay) {
  Window w = make_series({{2019, 12, 1, 0, 0, 0, 0},
                          {2020, 12, 1, 0, 0, 0, 0},
                          {2020, 11, 1, 0, 0, 0, 0},
                          {2020, 11, 2, 0, 0, 0, 0}});
  const ReadingSeries& s = w.series;
  convert_times(w.series);
  EXPECT_EQ(s.time_s[0], 28857600);
  EXPECT_EQ(s.time_s[1], 60480000);
  EXPECT_EQ(s.time_s[2], 57888000);
  EXPECT_EQ(s.time_s[3], 57974400);
}

// 3600 * hh is rounded on its own before it is added. Were it fused with the addition
// (fma), the near-cancellation below would show its rounding error as 496 seconds.
TEST(ConvertTimes, MultiplyAndAddAreNotFused) {
  const double hh = 2251799813685249.0;  // 2^51 + 1: 3600 * hh is not a double
  const std::int64_t DD = -93824992236884;
  const double D = static_cast<double>((DD - 1) * 86400);
  ASSERT_EQ(std::fma(3600.0, hh, 0.0 + D), 32272.0);  // what contraction would give
  EXPECT_EQ(time_of({2019, 1, DD, hh, 0, 0, 0}), 32768.0);
}

}  // namespace
