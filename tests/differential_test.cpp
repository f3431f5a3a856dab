// The fast passes against the C library itself: the read pass against one fscanf per
// reading, the number formatting against printf("%lf"), on generated texts and values
// chosen to sit on every edge the two could disagree on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "lf_formatter.h"
#include "literal_passes.h"
#include "logger_reading.h"
#include "reading_series.h"
#include "test_files.h"
#include "whole_series.h"

using namespace ctp;

namespace {

// The everyday run checks a sample of the generated inputs; CTP_EXHAUSTIVE=1 in the
// environment, as CI sets it, checks them all.
int sample(int all) { return std::getenv("CTP_EXHAUSTIVE") ? all : all / 4; }

// ---- Formatting ----

std::string printf_lf(double v) {
  char text[lf_text_room];
  int n = std::snprintf(text, sizeof text, "%lf", v);
  return std::string(text, static_cast<std::size_t>(n));
}

// put_lf's text, checking that it stored nothing further than lf_store_past bytes past it.
std::string put_lf_text(double v) {
  char text[lf_text_room + 8];
  std::memset(text, '#', sizeof text);
  char* end = put_lf(v, text);
  for (const char* p = end + lf_store_past; p < end + 8 && p < text + sizeof text; ++p)
    if (*p != '#') ADD_FAILURE() << "put_lf stored " << p - end + 1 << " bytes past its text";
  return std::string(text, end);
}

// Every double of the list, negated too, must print as printf prints it.
void expect_printf_text(const std::vector<double>& values) {
  int failures = 0;
  for (double v : values) {
    for (double x : {v, -v}) {
      std::string expected = printf_lf(x);
      if (put_lf_text(x) != expected && ++failures <= 10)
        ADD_FAILURE() << "bits " << std::hex << std::bit_cast<std::uint64_t>(x) << ": put_lf gives "
                      << put_lf_text(x) << ", printf " << expected;
    }
  }
}

TEST(PutLfMatchesPrintf, SpecialValues) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  expect_printf_text(
      {0.0, inf, std::numeric_limits<double>::quiet_NaN(), DBL_MAX, DBL_MIN, DBL_TRUE_MIN,
       DBL_EPSILON, 1e-7, 4.9999999e-7, 5e-7, 5.0000001e-7, 1e300, 1e22, 1e23, 0.1, 0.5, 1, 2, 10,
       123456789, 999999.9999995, 0.9999995, 0.0078125, 0.0078135, 9007199254740991.0,
       9007199254740992.0, 9007199254740993.0,
       67108863.9999995,  // below 2^26, the last with eight integer digits
       67108864.0,        // 2^26
       // The one product's edges: the largest below 2^26 and the smallest
       // above, a tie at the top, a subnormal.
       std::nextafter(67108864.0, 0.0), std::nextafter(67108864.0, 1e300), 67108863.9921875,
       2.5e-310, 99999999.9999995, 100000000.0, 4503599627370495.5, 1e15 + 0.3});
}

// x / 128 for odd x is exactly halfway between two millionths: ties go to the even one.
TEST(PutLfMatchesPrintf, ExactTiesAndTheirNeighbours) {
  std::vector<double> values;
  std::mt19937_64 random(1);
  for (std::int64_t x = 1; x < 20000; x += 2) values.push_back(static_cast<double>(x) / 128);
  for (int i = 0; i < 20000; ++i) {
    double tie = static_cast<double>(random() >> (11 + random() % 53) | 1) / 128;
    values.push_back(tie);
    values.push_back(std::nextafter(tie, 0.0));
    values.push_back(std::nextafter(tie, 1e300));
  }
  expect_printf_text(values);
}

// Every bit pattern is a double: all exponents, subnormals, NaN payloads.
TEST(PutLfMatchesPrintf, RandomBitPatterns) {
  std::vector<double> values;
  std::mt19937_64 random(2);
  for (int i = 0; i < sample(200000); ++i) values.push_back(std::bit_cast<double>(random()));
  expect_printf_text(values);
}

// What the write pass meets: elapsed seconds and four-decimal readings times -1000, and
// values within a rounding step of a decimal boundary.
TEST(PutLfMatchesPrintf, LoggerValuesAndDecimalBoundaries) {
  std::vector<double> values;
  std::mt19937_64 random(3);
  for (int i = 0; i < 200000; ++i) {
    double reading = static_cast<double>(random() % 2000000) / 10000;
    values.push_back(reading * 1000);
    values.push_back(static_cast<double>(random() % 40000000) + static_cast<double>(i % 4) / 4);
    double boundary = (static_cast<double>(random() % 100000000) + 0.5) / 1e6;
    values.push_back(boundary);
    values.push_back(std::nextafter(boundary, 0.0));
    values.push_back(std::nextafter(boundary, 1e300));
    values.push_back(
        std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 80)));
  }
  expect_printf_text(values);
}

// ---- Reading ----

// The fields of every reading that the literal scan assigned, and where the stream was
// left, as bytes. The literal program leaves the other fields undefined, and the sign is
// all a NaN's text shows: those fields count as unassigned, NaNs by their sign alone.
// Beside them, the record of the run and, where traced, each reading's outcome and start.
struct ReadOutcome {
  std::vector<std::uint64_t> fields;
  std::int64_t position;
  std::vector<int> items;  // what each literal scan returned: the mask of both outcomes
  std::vector<std::int64_t> record;
  std::vector<ScanTrace> trace;
  bool operator==(const ReadOutcome& o) const {
    return fields == o.fields && position == o.position && record == o.record &&
           (trace.empty() || o.trace.empty() || trace == o.trace);
  }
};

ReadOutcome outcome(const ReadingSeries& s, const std::vector<int>& items, std::int64_t position,
                    const OutcomeRecord& record, const std::vector<ScanTrace>& trace) {
  constexpr std::uint64_t unassigned = 0xdeadbeef;
  ReadOutcome o{{}, position, items, record_numbers(record), trace};
  for (std::int64_t i = 0; i < s.n; ++i) {
    int k = 0;
    for (std::int64_t v : {s.YY[i], s.MM[i], s.DD[i]})
      o.fields.push_back(k++ < items[i] ? static_cast<std::uint64_t>(v) : unassigned);
    for (double v : {s.hh[i], s.mm[i], s.ss[i], s.temp[i]})
      o.fields.push_back(k++ >= items[i] ? unassigned
                         : std::isnan(v) ? std::uint64_t{std::signbit(v)}  // as same_value()
                                         : std::bit_cast<std::uint64_t>(v));
  }
  return o;
}

ReadOutcome read_with_fscanf(const std::string& text, std::int64_t n) {
  std::FILE* in = file_with(text);
  Window w;
  EXPECT_TRUE(allocate_window(w, n));
  ReadingSeries& s = w.series;
  std::vector<int> items;
  std::vector<std::int64_t> ends;
  literal_read_readings(in, s, &items, &ends);
  OutcomeRecord record;
  std::vector<ScanTrace> trace;
  literal_outcomes(text, s, items, ends, record, trace);
  ReadOutcome o = outcome(s, items, ftello(in), record, trace);
  std::fclose(in);
  return o;
}

// Reads the readings of literal, its text, window readings at a time (0: all at once),
// each window through a series of its own, as a run in windows does; traced as the checker
// reads, or as the converter does.
ReadOutcome read_fast(const std::string& text, const ReadOutcome& literal, std::size_t read_size,
                      std::int64_t window = 0, bool traced = true) {
  const std::int64_t n = static_cast<std::int64_t>(literal.items.size());
  std::FILE* in = file_with(text);
  Window whole, part;
  EXPECT_TRUE(allocate_window(whole, n));
  EXPECT_TRUE(allocate_window(part, window ? window : n));
  ReadingSeries &s = whole.series, &w = part.series;
  OutcomeRecord record, run;
  std::vector<ScanTrace> trace(static_cast<std::size_t>(n));
  {
    ReadingInput input(in, part.read_buffer, read_size ? read_size : read_block_bytes);
    for (std::int64_t i = 0; i < n; i += w.n) {
      w.n = std::min(w.capacity, n - i);
      EXPECT_TRUE(traced ? read_readings(input, w, record, trace.data() + i, false)
                         : read_readings(input, w, record));
      run.add(record, i + 1);
      for (auto [from, to] : {std::pair{w.YY, s.YY}, {w.MM, s.MM}, {w.DD, s.DD}})
        std::copy_n(from, w.n, to + i);
      for (auto [from, to] : {std::pair{w.hh, s.hh}, {w.mm, s.mm}, {w.ss, s.ss}, {w.temp, s.temp}})
        std::copy_n(from, w.n, to + i);
    }
  }
  if (!traced) trace.clear();
  // The pass reads the descriptor, so the stream's own idea of its position is stale.
  ReadOutcome o = outcome(s, literal.items, lseek(fileno(in), 0, SEEK_CUR), run, trace);
  std::fclose(in);
  return o;
}

// Texts made of readings whose parts are drawn now from what loggers write, now from
// what a scan can trip over. A character that no scan can match stops every later scan,
// so long texts draw only from the parts that a scan reads through.
class TextMaker {
 public:
  TextMaker(std::uint64_t seed, bool read_through) : random_(seed), read_through_(read_through) {}

  std::string text(int readings) {
    std::string t;
    for (int i = 0; i < readings; ++i) {
      t += integer(plain_integers_) + literal("-") + integer("03") + literal("-") + integer("15") +
           space(" ") + number(plain_doubles_) + literal(":") + number("05") + literal(":") +
           number(plain_doubles_) + space("\t") + number(plain_doubles_) + space("\n");
    }
    return t;
  }

 private:
  template <typename Plain>
  std::string integer(const Plain& plain) {
    return pick(integers_through_, integers_stopping_, plain);
  }
  template <typename Plain>
  std::string number(const Plain& plain) {
    return pick(doubles_through_, doubles_stopping_, plain);
  }
  std::string space(const std::string& plain) {
    return pick(spaces_through_, spaces_stopping_, plain);
  }
  // The hyphens and colons of the format: replaced only by what stops a scan.
  std::string literal(const std::string& plain) {
    return read_through_ ? plain : pick(spaces_stopping_, spaces_stopping_, plain);
  }

  // One part in eight is tricky: one that a scan reads through, or, unless the text must
  // be read through, one that stops a scan or that C libraries read differently.
  using Parts = std::vector<std::string>;
  std::string pick(const Parts& through, const Parts& stopping, const std::string& plain) {
    if (random_() % 8 != 0) return plain;
    if (read_through_ || random_() % 2 == 0) return through[random_() % through.size()];
    return stopping[random_() % stopping.size()];
  }
  std::string pick(const Parts& through, const Parts& stopping, const Parts& plain) {
    return pick(through, stopping, plain[random_() % plain.size()]);
  }

  std::mt19937_64 random_;
  bool read_through_;
  const Parts plain_integers_ = {"2020", "2019", "1", "0", "-3", "+7"};
  const Parts plain_doubles_ = {
      "13", "0.9264", "-0.25",        "1013.25",         "59.999", "+1.5",
      "0",  "-0",     "9.268728e-01", "1.013512345E+05", "-25E0",  "123456.7890123"};
  const Parts integers_through_ = {"0008",
                                   "-0",
                                   "123456789012345678",
                                   "1234567890123456789",
                                   "9223372036854775807",
                                   "9223372036854775808",
                                   "-9223372036854775809",
                                   "99999999999999999999999",
                                   " 7",
                                   "\n8"};
  const Parts integers_stopping_ = {
      "", "x", "-", "+", "--1", "0x1F", "1e3", "12.5", std::string("2020\0", 5), "\u0663"};
  const Parts doubles_through_ = {"1E5",
                                  "1.5e-3",
                                  "0x1p3",
                                  "0X.8P1",
                                  "-0x1.fffffffffffffp1023",
                                  "inf",
                                  "INF",
                                  "Infinity",
                                  "-iNfInItY",
                                  "nan",
                                  "NaN",
                                  "-nan",
                                  "1e400",
                                  "-1e400",
                                  "1e-400",
                                  "4.9e-324",
                                  "2.4703282292062328e-324",
                                  "9007199254740993",
                                  "9007199254740992",
                                  "18014398509481985",
                                  "0.1234567890123456789",
                                  "00000000000000000001.5",
                                  "123456789012345678901234567890",
                                  "0.000000000000000000000000000001",
                                  "12345678.9",
                                  "1234567.89",
                                  "123456789",
                                  "99999999999999999999.5",
                                  std::string(400, '7'),
                                  std::string(40, '0') + "1",
                                  ".5",
                                  "5."};
  const Parts doubles_stopping_ = {"",        "1e",    "1e+",      "1e-",  "2e+1x", "0x",   "0xg",
                                   "infinit", "in",    "nan(123)", "nan(", "n",     "1..2", "1.2.3",
                                   "-",       "+",     "+-1",      "1-",   "1:",    "-x",   "0x1p",
                                   "0x.p1",   "1e5e5", "nanx",     "infx", "0x1.8", "1.e5", "00x1",
                                   "\x80",    "--0",   "e5",       "x1",   "0.5:"};
  const Parts spaces_through_ = {" ",
                                 "\t",
                                 "  \t ",
                                 "\n",
                                 "\r\n",
                                 "\n\n\n",
                                 "\v\f",
                                 std::string(70, ' '),
                                 std::string(130, '\n')};
  const Parts spaces_stopping_ = {"",     "-", ":", "x",    "/", ".", std::string(1, '\0'),
                                  "\xff", "e", "#", "\t-\n"};
};

// Small read sizes put the end of the bytes read so far at every position of a reading;
// small windows put a window's end there too.
TEST(ReadPassMatchesFscanf, GeneratedTexts) {
  TextMaker maker(4, false);
  int failures = 0;
  for (int t = 0; t < sample(4000) && failures < 10; ++t) {
    int readings = 1 + t % 5;
    std::string text = maker.text(readings);
    std::int64_t n = readings + 2;  // past the end of the text too
    ReadOutcome expected = read_with_fscanf(text, n);
    for (auto [read_size, window] : {std::pair{0, 0}, {1, 1}, {2, 2}, {7, 3}, {64, 7}, {1, 0}}) {
      if (read_fast(text, expected, read_size, window, read_size % 2) != expected &&
          ++failures <= 10)
        ADD_FAILURE() << "read size " << read_size << ", window " << window
                      << ", text: " << testing::PrintToString(text);
    }
  }
}

// Decimals of every length and exponent, in both spellings of the marker, each read as
// fscanf (and so strtod) rounds it.
TEST(ReadPassMatchesFscanf, RandomDecimalValues) {
  std::mt19937_64 random(7);
  std::string text;
  for (int i = 0; i < 100000; ++i) {
    std::string whole = std::to_string(random() >> (random() % 64)),
                digits = random() % 2 ? whole : whole + "." + std::to_string(random() % 100000);
    std::string exponent = random() % 4 ? std::to_string(static_cast<int>(random() % 660) - 340)
                                        : std::to_string(random() % 100);
    text += "2020-01-01 00:00:00\t" + std::string(random() % 2 ? "-" : "") + digits +
            (random() % 2 ? "e" : "E") + exponent + "\n";
  }
  ReadOutcome expected = read_with_fscanf(text, 100000);
  EXPECT_TRUE(read_fast(text, expected, 0) == expected);
}

// Plain and tricky readings mixed over several of the pass's own blocks, so that falling
// back to the C library happens across a block's end.
TEST(ReadPassMatchesFscanf, LongMixedText) {
  TextMaker maker(5, true);
  std::string text;
  std::int64_t n = 0;
  for (; text.size() < 3'000'000; n += 100) text += maker.text(100);
  ReadOutcome expected = read_with_fscanf(text, n);
  EXPECT_TRUE(read_fast(text, expected, 0) == expected);
  EXPECT_TRUE(read_fast(text, expected, 0, 777, false) == expected);
  EXPECT_GT(expected.position, 2'900'000) << testing::PrintToString(
      text.substr(expected.position > 100 ? expected.position - 100 : 0, 200));
}

// Each limit of the fast path met exactly, and crossed: either way the reading reads as
// fscanf reads it, by the fast path or by the C library, at every read size.
TEST(ReadPassMatchesFscanf, AtAndPastEachLimitOfTheFastPath) {
  const std::string reading = "2020-01-01 00:00:00\t1.5\n";
  auto with_value = [](const std::string& value) { return "2020-01-01 00:00:00\t" + value + "\n"; };
  auto with_year = [](const std::string& year) { return year + "-01-01 00:00:00\t1\n"; };
  auto spaced = [](std::size_t blanks) {
    std::string run(blanks, ' ');
    return run + "2020-01-01" + run + "00:00:00" + run + "1.5\n";
  };
  // Every item at its limit: 64 blanks, a year of 8 digits, a month of 18 and a day of 12,
  // each signed, and signed decimals of 19 digits and a point.
  const std::string run(64, ' '), year = "+00002020", month = "+000000000000000002",
                                  day = "+000000000029", decimal = "-000000000000000001.5";
  // Its first run of white space is the line feed that ends the reading before it, and 63 blanks.
  const std::string longest_plain = run.substr(1) + year + "-" + month + "-" + day + run + decimal +
                                    ":" + decimal + ":" + decimal + run + decimal + "\n";
  const std::string texts[] = {
      // The longest run of white space, before the reading and in each gap, and far past.
      spaced(64),
      spaced(65),
      spaced(128),  // were the runs' limit doubled, past the text the buffer keeps
      std::string(399, ' ') + reading,
      std::string(399, '\n') + reading,
      // Integer digits: 18, and 19, which may pass 2^63 where "%ld" saturates.
      with_year("999999999999999999"),
      with_year("9999999999999999999"),
      // Decimal digits: 19, and 20, which would wrap past 2^64 (2^64 + 1 reads as 1).
      with_value("0000000000000000001.5"),
      with_value("00000000000000000001.5"),
      with_value("18446744073709551617"),
      with_value("1844674407370955161.7"),
      // The exact integers: 2^53 / 100, then (2^53 + 1) / 100, which is no double: one
      // division of the rounded integer rounds twice and lands one unit off.
      with_value("90071992547409.92"),
      with_value("90071992547409.93"),
      with_value("40185291990415.237"),
      // Exponents: four digits, and five, which the fast path leaves to the C library; a
      // marker without digits, which fscanf and strtod read differently.
      with_value("1.5e-0324"),
      with_value("1.5e+9999"),
      with_value("1.5E00001"),
      with_value("1e"),
      with_value("1E+"),
      with_value("1.e5"),
      with_value("0.1234567890123456789e3"),
      // The longest reading the fast path takes whole, after a full history of readings.
      reading + reading + reading + longest_plain,
      // And the same with one more digit in its value, which the fast path reads before it
      // gives up: the most text it ever looks at.
      reading + reading + reading + longest_plain.substr(0, longest_plain.size() - 22) + "-0" +
          decimal.substr(1) + "\n",
      // The C library reads "nan(" and then the end of the file, and gives back the "(":
      // a byte from before the last refill, which the buffer must still hold.
      "2020-01-01 00:00:00\tnan(",
      "2020-01-01 00:00:00\t1e",
      // A value in the layout of the one before, and each way out of it: digits, sign,
      // point, exponent, the byte after it; then the seconds, or the blank after them,
      // unlike the last timestamp's, whose first 16 bytes these share.
      with_value("9.99") + with_value("10.01") + with_value("1.5") + with_value("1.55") +
          with_value("-1.55") + with_value("-1.56") + with_value("+1.55") + with_value("1.55") +
          with_value("155") + with_value("15.5") + with_value("1.55e1") + with_value("-0") +
          with_value("1.55\r") + with_value("1.55 ") + with_value("1.55\f") +
          with_value("-1013.25") + with_value("-1013.26") + with_value("1.55x"),
      reading + "2020-01-01 00:00:0x\t1\n" + reading + "2020-01-01 00:00:001.5\n",
      reading + "2020-00-01 00:00:00\t1\n" + reading + "2020-13-01 00:00:00\t1\n",
  };
  for (const std::string& text : texts) {
    // Past the last reading too.
    ReadOutcome expected = read_with_fscanf(text, std::count(text.begin(), text.end(), '\n') + 2);
    for (std::size_t read_size : {0, 1, 2, 7})
      EXPECT_TRUE(read_fast(text, expected, read_size, 0, read_size % 2) == expected)
          << "read size " << read_size << ", text: " << testing::PrintToString(text);
  }
}

// ---- Word scanners ----

// What a scanner took from a text: where it stopped, then its values, compared to the bit.
using Taken = std::array<double, 7>;

// A number reader's value where what follows it ends a number; strtod's reading.
template <bool (*read)(const char*&, double&)>
bool number(const char* text, Taken& t) {
  const char* p = text;
  t = {};
  bool ok = read(p, t[1]) && (is_space(*p) || *p == ':' || *p == '\0');
  t[0] = double(p - text);
  return ok;
}
template <const char* layout_text>
bool in_layout(const char*& p, double& v) {
  static const ShortLayout layout = short_layout(layout_text, std::strlen(layout_text) - 1);
  return decimal_in_layout(p, layout, v);
}
constexpr char layout_a[] = "-15.5 ", layout_b[] = "90.5\n", stamp[] = "2020-01-01 00:00:00\t1.5\n";
bool by_strtod(const char* text, Taken& t) {
  char* end;
  const double v = std::strtod(text, &end);
  t = {double(end - text), v};
  return true;
}

// The timestamp after none, or after stamp, whose first 16 bytes the texts may share.
template <bool after_stamp>
bool timestamp(const char* text, Taken& t) {
  static const RecentReading primed = [] {
    RecentReading r;
    Scanned s;
    const char* p = stamp;
    return logger_timestamp(p, s, r) ? r : RecentReading{};
  }();
  RecentReading recent = after_stamp ? primed : RecentReading{};
  Scanned r;
  const char* p = text;
  bool ok = logger_timestamp(p, r, recent);
  t = {double(p - text), double(r.YY), double(r.MM), double(r.DD), r.hh, r.mm, r.ss};
  return ok;
}
bool by_sscanf(const char* text, Taken& t) {
  std::int64_t YY, MM, DD;
  int n = 0;
  double v[3];
  bool ok = std::sscanf(text, "%" SCNd64 "-%" SCNd64 "-%" SCNd64 " %lf:%lf:%lf%n", &YY, &MM, &DD,
                        &v[0], &v[1], &v[2], &n) == 6 &&
            MM >= 1 && MM <= 12;  // the fast path takes only a month of the year
  t = {double(n), double(YY), double(MM), double(DD), v[0], v[1], v[2]};
  return ok;
}

// Every string of the given lengths over the alphabet, written at `at` into `around`; where
// the word scanner takes one, the C library reads the same from it.
struct WordRow {
  const char* name;
  std::string alphabet;
  int shortest, longest;
  const char* around;
  int at;
  bool (*fast)(const char*, Taken&);
  bool (*c_library)(const char*, Taken&);
};
const std::string sixteen("0159.-+:e \t\n/\x80\xff\0", 16), eight = "09.-e \n/";
const WordRow word_rows[] = {
    {"ShortDecimal", sixteen, 0, 6, "", 0, number<short_signed_decimal>, by_strtod},
    {"ShortDecimalWords", eight, 8, 8, "", 0, number<short_signed_decimal>, by_strtod},
    {"PlainDouble", sixteen, 0, 6, "", 0, number<plain_double>, by_strtod},
    {"PlainDoubleWords", eight, 8, 8, "", 0, number<plain_double>, by_strtod},
    {"SignedLayout", sixteen, 0, 6, "", 0, number<in_layout<layout_a>>, by_strtod},
    {"LayoutWords", eight, 8, 8, "", 0, number<in_layout<layout_b>>, by_strtod},
    {"TimestampDate", sixteen, 0, 6, stamp, 2, timestamp<false>, by_sscanf},
    {"TimestampDayHour", sixteen, 6, 6, stamp, 8, timestamp<false>, by_sscanf},
    {"TimestampSeconds", sixteen, 0, 6, stamp, 14, timestamp<true>, by_sscanf},
    {"TimestampWord1", eight, 8, 8, stamp, 4, timestamp<false>, by_sscanf},
    {"TimestampWord3", eight, 8, 8, stamp, 17, timestamp<false>, by_sscanf},
    {"TimestampSameMinute", eight, 8, 8, stamp, 17, timestamp<true>, by_sscanf},
};

void PrintTo(const WordRow& row, std::ostream* os) { *os << row.name; }
class WordScanner : public testing::TestWithParam<WordRow> {};

TEST_P(WordScanner, TakesOnlyWhatTheCLibraryReadsAlike) {
  const WordRow& row = GetParam();
  const std::uint64_t symbols = row.alphabet.size(), step = sample(4) == 4 ? 1 : 61;
  int failures = 0;
  std::int64_t taken_count = 0;
  for (int length = row.shortest; length <= row.longest; ++length) {
    std::uint64_t strings = 1;
    for (int i = 0; i < length; ++i) strings *= symbols;
    for (std::uint64_t k = 0; k < strings && failures < 10; k += step) {
      char text[64];
      std::memset(text, '7', sizeof text);  // past the NUL: digits, which no scan may read
      std::memcpy(text, row.around, std::strlen(row.around) + 1);
      const std::size_t end = std::max<std::size_t>(std::strlen(row.around), row.at + length);
      text[end] = '\0';
      for (std::uint64_t i = 0, rest = k; i < static_cast<std::uint64_t>(length);
           ++i, rest /= symbols)
        text[row.at + i] = row.alphabet[rest % symbols];
      Taken fast, c_library;
      if (!row.fast(text, fast)) continue;
      ++taken_count;
      if ((!row.c_library(text, c_library) || std::memcmp(&fast, &c_library, sizeof fast) != 0) &&
          ++failures <= 10)
        ADD_FAILURE() << "stops at " << fast[0] << " vs " << c_library[0] << " in "
                      << testing::PrintToString(std::string(text, end));
    }
  }
  EXPECT_TRUE(taken_count > 0 || step > 1);
}

INSTANTIATE_TEST_SUITE_P(Alphabets, WordScanner, testing::ValuesIn(word_rows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Writing ----

TEST(WritePassMatchesFprintf, RandomSeries) {
  std::mt19937_64 random(6);
  Window w;
  ASSERT_TRUE(allocate_window(w, 100000));
  ReadingSeries& s = w.series;
  for (std::int64_t i = 0; i < s.n; ++i) {
    auto any = [&]() -> double {
      switch (random() % 6) {
        case 0:
          return std::bit_cast<double>(random());
        case 1:
          return no_value();
        case 2:
          return static_cast<double>(random() % 20000) / 1e4;
        default:
          return static_cast<double>(random() % 40000000) + static_cast<double>(random() % 4) / 4;
      }
    };
    s.time_s[i] = any();
    s.temp[i] = any();
  }
  s.time_s[0] = 1000;
  auto bytes_of = [](auto write, const auto& series) {
    std::FILE* out = std::tmpfile();
    EXPECT_TRUE(write(out, series));
    std::rewind(out);
    std::string bytes = rest_of(out);
    std::fclose(out);
    return without_nan_signs(bytes);
  };
  EXPECT_EQ(bytes_of(write_whole_series, w), bytes_of(literal_write_lines, s));
}

}  // namespace
