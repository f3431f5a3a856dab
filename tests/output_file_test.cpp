#include <gtest/gtest.h>

#include <cfenv>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "reading_series.h"
#include "series_builder.h"
#include "test_files.h"
#include "whole_series.h"
#include "window_driver.h"

using namespace ctp;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();

// The output file's bytes for a series whose times are already converted.
std::string lines_for(const std::vector<double>& time_s, const std::vector<double>& temp) {
  std::vector<Reading> readings;
  for (double v : temp) readings.push_back({2020, 1, 1, 0, 0, 0, v});
  Window w = make_series(readings);
  for (std::size_t i = 0; i < time_s.size(); ++i) w.series.time_s[i] = time_s[i];
  std::FILE* out = std::tmpfile();
  EXPECT_TRUE(write_whole_series(out, w));
  std::rewind(out);
  std::string bytes = rest_of(out);
  std::fclose(out);
  return bytes;
}

struct Case {
  const char* name;
  std::vector<double> time_s, temp;
  std::string lines;
};

const Case cases[] = {
    {"FirstLineStartsAtZero", {31536000}, {1}, "0.000000    -1000.000000\n"},
    {"ElapsedAndScaled",
     {100, 190},
     {0, 1.5},
     "0.000000    -0.000000\n90.000000    -1500.000000\n"},
    {"ZeroAndNegativeZero", {0, 0}, {0, -0.0}, "0.000000    -0.000000\n0.000000    0.000000\n"},
    {"NegativeValue", {0}, {-0.25}, "0.000000    250.000000\n"},
    {"EarlierReadingsGoNegative",
     {10, 4},
     {0, 0},
     "0.000000    -0.000000\n-6.000000    -0.000000\n"},
    {"RoundsToSixDecimals",
     {0, 0.1234567},
     {0, 0},
     "0.000000    -0.000000\n0.123457    -0.000000\n"},
    // A NaN value is negated like any other, whatever the compiler makes of its product.
    {"InfinitiesAndNans",
     {0, inf, -nan_value, nan_value},
     {inf, -inf, nan_value, -nan_value},
     "0.000000    -inf\ninf    inf\n-nan    -nan\nnan    nan\n"},
    {"HugeValuePrintsEveryDigit", {0}, {1e20}, "0.000000    -99999999999999991611392.000000\n"},
    {"ExactTieRoundsToEven",
     {0, 0.0078125, 0.0078135},
     {0, 0, 0},
     "0.000000    -0.000000\n0.007812    -0.000000\n0.007813    -0.000000\n"},
    {"MissingValue", {0, 5}, {1, no_value()}, "0.000000    -1000.000000\n5.000000    nan\n"},
    {"MissingTime",
     {0, no_value(), 7},
     {0, 0, 0},
     "0.000000    -0.000000\nnan    -0.000000\n7.000000    -0.000000\n"},
    // Without a first time every line lacks its time, even one holding a NaN of its own.
    {"MissingFirstTime",
     {no_value(), 5, -nan_value},
     {0, 0, 0},
     "nan    -0.000000\nnan    -0.000000\nnan    -0.000000\n"},
    {"NoReadings", {}, {}, ""},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class WritePass : public testing::TestWithParam<Case> {};

TEST_P(WritePass, PrintsOneLinePerReading) {
  const Case& c = GetParam();
  EXPECT_EQ(lines_for(c.time_s, c.temp), c.lines);
}

INSTANTIATE_TEST_SUITE_P(Series, WritePass, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// What the program writes where the literal program's lines are undefined: for a field
// never read, a month outside 1 to 12, an origin without a time, a date whose seconds do
// not fit in 64 bits, for the signs of NaNs, and under a caller's rounding mode. The run
// goes in windows of two readings.
struct ChoiceCase {
  const char* name;
  std::string text;
  std::int64_t n;
  std::string lines;
  int rounding = FE_TONEAREST;
};

const ChoiceCase choices[] = {
    {"FieldNeverRead", "2020-01-01 00:00:00\t1\n2020-01-01 00:00:05", 3,
     "0.000000    -1000.000000\n5.000000    nan\nnan    nan\n"},
    {"MonthOutsideTheYear", "2020-01-01 00:00:00\t1\n2020-13-01 00:00:00\t2\n", 2,
     "0.000000    -1000.000000\nnan    -2000.000000\n"},
    {"OriginWithoutATime",
     "2020-00-01 00:00:00\t1\n2020-01-01 00:00:00\t2\n2020-01-01 00:-nan:00\t3\n", 3,
     "nan    -1000.000000\nnan    -2000.000000\nnan    -3000.000000\n"},
    {"DateSecondsBeyond64Bits", "2020-01-01 00:00:00\t1\n2020-01-106751991167300 00:00:00\t2\n", 2,
     "0.000000    -1000.000000\nnan    -2000.000000\n"},
    // A value's NaN is negated like any other value. On every machine, a time's NaN is its
    // first NaN field's, an infinity less itself is a negative NaN, and an origin's NaN is
    // every elapsed time's.
    {"NanSigns",
     "2020-01-01 00:00:00\tnan\n2020-01-01 00:00:00\t-nan\n2020-01-01 00:nan:-nan\t1\n"
     "2020-01-01 00:-nan:nan\t1\n2020-01-01 inf:-inf:nan\t1\n",
     5,
     "0.000000    -nan\n0.000000    nan\nnan    -1000.000000\n-nan    -1000.000000\n"
     "-nan    -1000.000000\n"},
    {"NanOrigin", "2020-01-01 00:00:-nan\t1\n2020-01-01 00:nan:00\t2\n2020-01-01 00:00:00\t3\n", 3,
     "-nan    -1000.000000\nnan    -2000.000000\n-nan    -3000.000000\n"},
    {"RoundingUpward", "2020-01-01 00:00:00\t0.0000005\n2020-01-01 00:00:00.0000005\t1e-9\n", 2,
     "0.000000    -0.000500\n0.000000    -0.000001\n", FE_UPWARD},
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class ProgramChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ProgramChoice, WritesTheseBytes) {
  const ChoiceCase& c = GetParam();
  std::FILE* in = file_with(c.text);
  std::FILE* out = std::tmpfile();
  Window s;
  ASSERT_TRUE(allocate_window(s, 2));
  OutcomeRecord record;
  std::fesetround(c.rounding);
  EXPECT_EQ(convert_readings(in, out, c.n, s, record), RunEnd::converted);
  EXPECT_EQ(std::fegetround(), c.rounding);
  std::fesetround(FE_TONEAREST);
  std::rewind(out);
  EXPECT_EQ(rest_of(out), c.lines);
  std::fclose(in);
  std::fclose(out);
}

INSTANTIATE_TEST_SUITE_P(Texts, ProgramChoice, testing::ValuesIn(choices),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WritePassErrors, AFullDiskIsReported) {
  Window s = make_series(std::vector<Reading>(2000, {2020, 1, 1, 0, 0, 0, 1}));
  for (std::int64_t i = 0; i < s.series.n; ++i) s.series.time_s[i] = 0;
  std::FILE* out = std::fopen("/dev/full", "w");
  ASSERT_NE(out, nullptr);
  // 2000 lines overflow the stream's buffer, so a write reaches the device.
  EXPECT_FALSE(write_whole_series(out, s));
  std::fclose(out);
}

}  // namespace
