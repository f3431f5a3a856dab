// The literal passes: fscanf and fprintf, nothing else.
#include "literal_passes.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdint>

namespace ctp {

void literal_read_readings(std::FILE* in, ReadingSeries& s, std::vector<int>* items,
                           std::vector<std::int64_t>* ends) {
  for (std::int64_t i = 0; i < s.n; ++i) {
    int got = std::fscanf(in, "%" SCNd64 "-%" SCNd64 "-%" SCNd64 " %lf:%lf:%lf\t%lf", &s.YY[i],
                          &s.MM[i], &s.DD[i], &s.hh[i], &s.mm[i], &s.ss[i], &s.temp[i]);
    if (items) items->push_back(got);
    if (ends) ends->push_back(ftello(in));
  }
}

namespace {

// Floor division by a positive d.
std::int64_t floor_div(std::int64_t a, std::int64_t d) { return a / d - (a % d < 0); }

// Whether ((date + 3600 hh) + 60 mm) + ss is finite, the date's seconds since 2019-01-01
// fitting 64 bits: months before MM, leap days and whole years counted one by one.
bool literal_has_time(std::int64_t YY, std::int64_t MM, std::int64_t DD, double hh, double mm,
                      double ss) {
  static constexpr std::int64_t before_month[] = {0,   31,  59,  90,  120, 151,
                                                  181, 212, 243, 273, 304, 334};
  if (MM < 1 || MM > 12) return false;
  auto leap_days = [](std::int64_t y) {  // leap years from 1 to y
    return floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
  };
  const bool leap = YY % 4 == 0 && (YY % 100 != 0 || YY % 400 == 0);
  std::int64_t years, days, month_s, day_s, date_s;
  if (__builtin_sub_overflow(YY, 2019, &years) || __builtin_mul_overflow(years, 365, &days) ||
      __builtin_add_overflow(days, leap_days(YY - 1) - leap_days(2018), &days) ||
      __builtin_add_overflow(days, before_month[MM - 1] + (leap && MM > 2), &days) ||
      __builtin_mul_overflow(days, 86400, &month_s) || __builtin_sub_overflow(DD, 1, &day_s) ||
      __builtin_mul_overflow(day_s, 86400, &day_s) ||
      __builtin_add_overflow(month_s, day_s, &date_s))
    return false;
  double t = static_cast<double>(month_s) + static_cast<double>(day_s);
  t = ((t + 3600 * hh) + 60 * mm) + ss;
  return std::isfinite(t);
}

}  // namespace

void literal_outcomes(const std::string& text, const ReadingSeries& s,
                      const std::vector<int>& items, const std::vector<std::int64_t>& ends,
                      WindowRecord& record, std::vector<ScanTrace>& trace) {
  // Lines counted up to counted, where the last of them starts at line_start.
  std::int64_t counted = 0, feeds = 0, line_start = 0;
  auto place = [&](std::int64_t at) {
    for (; counted < at; ++counted)
      if (text[counted] == '\n') ++feeds, line_start = counted + 1;
    return Place{at, feeds + 1, at - line_start + 1};
  };
  record = {};
  trace.clear();
  for (std::int64_t i = 0, before = 0; i < s.n; before = ends[i++]) {
    const std::int64_t after = ends[i];
    std::int64_t start = before;
    while (start < after && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    const bool crosses = text.find('\n', start) < static_cast<std::size_t>(after);
    const int got = items[i];
    Outcome outcome = got == EOF                   ? Outcome::past_end
                      : got == 0 && start == after ? Outcome::stuck
                      : got < 7                    ? Outcome::cut_short
                      : crosses                    ? Outcome::across_lines
                      : literal_has_time(s.YY[i], s.MM[i], s.DD[i], s.hh[i], s.mm[i], s.ss[i])
                          ? Outcome::in_full
                          : Outcome::without_time;
    trace.push_back({outcome, place(start)});
    const int k = static_cast<int>(outcome);
    if (record.count[k]++ > 0) continue;
    record.first[k].reading = i;
    record.first[k].start = trace.back().start;
    record.first[k].stop = place(after);
  }
}

std::vector<std::int64_t> record_numbers(const WindowRecord& record) {
  std::vector<std::int64_t> numbers;
  for (int k = 1; k < outcome_kinds; ++k) {
    const LostReading& f = record.first[k];
    numbers.push_back(record.count[k]);
    if (record.count[k] > 0)
      numbers.insert(numbers.end(), {f.reading, f.start.offset, f.start.line, f.start.column,
                                     f.stop.offset, f.stop.line, f.stop.column});
  }
  return numbers;
}

std::vector<std::int64_t> trace_numbers(const ScanTrace* trace, std::int64_t n) {
  std::vector<std::int64_t> numbers;
  for (const ScanTrace* t = trace; t < trace + n; ++t)
    numbers.insert(numbers.end(), {static_cast<std::int64_t>(t->outcome), t->start.offset,
                                   t->start.line, t->start.column});
  return numbers;
}

bool literal_write_lines(std::FILE* out, const ReadingSeries& s) {
  for (std::int64_t i = 0; i < s.n; ++i)
    if (std::fprintf(out, "%lf    %lf\n", s.time_s[i] - s.time_s[0], -s.temp[i] * 1000) < 0)
      return false;
  return true;
}

}  // namespace ctp
