#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "reading_series.h"
#include "test_files.h"
#include "whole_series.h"

using namespace ctp;

namespace {

// The shortest text that reads back as v, or "_" when v holds no value.
std::string field(double v) {
  if (is_no_value(v)) return "_";
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// Reading i as "YY MM DD hh mm ss temp"; "_" marks a double that holds no value.
std::string describe(const ReadingSeries& s, std::int64_t i) {
  return std::to_string(s.YY[i]) + " " + std::to_string(s.MM[i]) + " " + std::to_string(s.DD[i]) +
         " " + field(s.hh[i]) + " " + field(s.mm[i]) + " " + field(s.ss[i]) + " " +
         field(s.temp[i]);
}

struct ReadResult {
  std::vector<std::string> readings;
  std::string unread;  // what the pass left in the stream
};

// Reads n readings from text, asking the system for read_size bytes at a time (0: the
// pass's own size).
ReadResult read_text(const std::string& text, std::int64_t n, std::size_t read_size = 0) {
  std::FILE* in = file_with(text);
  Window w;
  EXPECT_TRUE(allocate_window(w, n));
  EXPECT_TRUE(read_size == 0 ? read_whole_series(in, w) : read_whole_series(in, w, read_size));
  const ReadingSeries& s = w.series;
  ReadResult result;
  for (std::int64_t i = 0; i < s.n; ++i) result.readings.push_back(describe(s, i));
  result.unread = rest_of(in);
  std::fclose(in);
  return result;
}

struct Case {
  const char* name;
  std::string text;
  std::vector<std::string> readings;  // one per reading; their count is n
  std::string unread;
};

const std::string one = "2020-02-29 13:05:30.5\t101.3";

const Case cases[] = {
    {"PlainReading", one + "\n", {"2020 2 29 13 5 30.5 101.3"}, "\n"},
    {"CrLfLineEnds",
     "2020-01-01 00:00:00\t1.5\r\n2020-01-01 00:00:01\t1.6\r\n",
     {"2020 1 1 0 0 0 1.5", "2020 1 1 0 0 1 1.6"},
     "\r\n"},
    {"BlankLinesSkipped",
     "\n\n" + one + "\n\n \t\n" + one,
     {"2020 2 29 13 5 30.5 101.3", "2020 2 29 13 5 30.5 101.3"},
     ""},
    {"BlanksInsteadOfTab", "2020-01-01 00:00:00   -0.25", {"2020 1 1 0 0 0 -0.25"}, ""},
    {"NoBlankAtAll", "2020-01-01T", {"2020 1 1 _ _ _ _"}, "T"},
    // The day takes every digit up to the colon, and the hour item then meets the colon.
    {"NoBlankBetweenDayAndHour", "2020-01-0100:00:001.5", {"2020 1 100 _ _ _ _"}, ":00:001.5"},
    {"FractionalTimeFields", "2020-01-01 10.5:30.25:30.25\t1", {"2020 1 1 10.5 30.25 30.25 1"}, ""},
    // 64-bit integers on every machine, 32-bit ones included.
    {"EighteenDigitYear",
     "999999999999999999-01-01 00:00:00\t1",
     {"999999999999999999 1 1 0 0 0 1"},
     ""},
    {"LeadingZerosAreDecimal", "2020-08-09 08:09:09\t09", {"2020 8 9 8 9 9 9"}, ""},
    {"SignsAndOutOfRangeFields", "+2020-+13--0 -1:75:99\t+7", {"2020 13 0 -1 75 99 7"}, ""},
    {"OnlyTheFirstNReadings",
     one + "\n" + one + "\n",
     {"2020 2 29 13 5 30.5 101.3"},
     "\n" + one + "\n"},
    {"TwoReadingsOnOneLine",
     one + " " + one,
     {"2020 2 29 13 5 30.5 101.3", "2020 2 29 13 5 30.5 101.3"},
     ""},
    {"ReadingSplitAcrossLines", "2020-01-01\n10:00:00\n\n5", {"2020 1 1 10 0 0 5"}, ""},
    {"EndOfFileBeforeN", one, {"2020 2 29 13 5 30.5 101.3", "0 0 0 _ _ _ _", "0 0 0 _ _ _ _"}, ""},
    {"EmptyFile", "", {"0 0 0 _ _ _ _"}, ""},
    // The value item skips the line end and takes the next year; the next scan then
    // starts at the hyphen after it and stops where the date turns into a time.
    {"LineWithoutValue",
     "2020-01-01 10:00:00\n2020-01-02 11:00:00\t2.5\n",
     {"2020 1 1 10 0 0 2020", "-1 2 0 _ _ _ _", "11 0 0 _ _ _ _", "0 0 0 _ _ _ _"},
     ":00:00\t2.5\n"},
    // White space stopping a scan is skipped by the next one.
    {"LineEndingAfterMinutes",
     "2020-01-01 10:05\n2020-01-01 10:06:00\t1",
     {"2020 1 1 10 5 _ _", "2020 1 1 10 6 0 1"},
     ""},
    // Any other character stops every later scan at the same place.
    {"HeaderLine",
     "time\tpressure\n" + one,
     {"0 0 0 _ _ _ _", "0 0 0 _ _ _ _"},
     "time\tpressure\n" + one},
    {"UnitAfterValue",
     one + " hPa\n" + one,
     {"2020 2 29 13 5 30.5 101.3", "0 0 0 _ _ _ _"},
     "hPa\n" + one},  // the failing scan consumed the blank as it skipped white space
    {"NulByteStopsScans",
     std::string("2020-01-01 00:00:00\t1\0 2", 24) + "\n",
     {"2020 1 1 0 0 0 1", "0 0 0 _ _ _ _"},
     std::string("\0 2\n", 4)},
    {"InfinityAndNan", "2020-01-01 inf:-INFINITY:NaN\t-nan", {"2020 1 1 inf -inf nan -nan"}, ""},
    {"ExponentsAndHex", "2020-01-01 1e1:0x1p4:1E-1\t-0x.8p1", {"2020 1 1 10 16 0.1 -1"}, ""},
    {"OverflowAndUnderflow",
     "2020-01-01 1e400:-1e400:1e-400\t4.9e-324",
     {"2020 1 1 inf -inf 0 5e-324"},
     ""},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ReadPass : public testing::TestWithParam<Case> {};

// Small reads put the end of the text read so far at every position of a reading.
TEST_P(ReadPass, StoresWhatTheScansAssign) {
  const Case& c = GetParam();
  for (std::size_t read_size : {0, 1, 2, 3, 5, 16}) {
    ReadResult r = read_text(c.text, static_cast<std::int64_t>(c.readings.size()), read_size);
    EXPECT_EQ(r.readings, c.readings) << "read size " << read_size;
    EXPECT_EQ(r.unread, c.unread) << "read size " << read_size;
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadPass, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadPassErrors, AnInputErrorIsReported) {
  std::FILE* in = std::fopen("/proc/self/mem", "r");  // reading at offset 0 fails with EIO
  ASSERT_NE(in, nullptr);
  Window s;
  ASSERT_TRUE(allocate_window(s, 3));
  EXPECT_FALSE(read_whole_series(in, s));
  std::fclose(in);
}

TEST(AllocateWindow, NegativeCountReservesNothing) {
  Window s;
  ASSERT_TRUE(allocate_window(s, -5));
  EXPECT_EQ(s.series.n, 0);
}

TEST(AllocateWindow, BytesPast64BitsAreRefused) {
  for (std::int64_t n : {INT64_MAX, INT64_MAX / 64 + 1, INT64_MAX / 64 - 1000}) {
    Window s;
    EXPECT_FALSE(allocate_window(s, n)) << n;
    EXPECT_EQ(s.storage, nullptr);
  }
}

}  // namespace
