// Conversion pass: calendar date and time of day to seconds since 2019-01-01 00:00:00.
// Every day counts 86400 seconds: no time zone, no daylight saving, no leap seconds.
#include "calendar.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>

#include "platform.h"
#include "reading_series.h"

namespace ctp {

namespace {

// Years further from zero than this have month starts beyond 64-bit seconds anyway; the
// bound keeps the day count itself far from overflow.
constexpr std::int64_t year_bound = 1'000'000'000'000;

// Days from 1970-01-01 to the first of month MM (1 to 12) of year YY, proleptic Gregorian.
// Counts whole 400-year eras of 146097 days, then the days within the era, taking March as
// the first month so that a leap day falls at the era-year's end. This is the public
// days_from_civil algorithm of Howard Hinnant's "chrono-Compatible Low-Level Date
// Algorithms", for the first day of a month.
constexpr std::int64_t days_from_civil(std::int64_t YY, std::int64_t MM) {
  CTP_ASSERT(MM >= 1 && MM <= 12);
  std::int64_t y = MM <= 2 ? YY - 1 : YY;
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  std::int64_t year_of_era = y - era * 400;
  std::int64_t day_of_year = (153 * (MM > 2 ? MM - 3 : MM + 9) + 2) / 5;
  std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

constexpr std::int64_t days_to_2019 = days_from_civil(2019, 1);

// The NaN of a time (((date_s + 3600 hh) + 60 mm) + ss) that is one, by the rule every
// machine follows here (platform.h): a NaN field passes through, the first in the sum; an
// infinity added to its opposite gives a negative NaN, which later fields leave as it is.
[[gnu::cold, gnu::noinline]] double nan_time_s(double date_s, double hh, double mm, double ss) {
  double sum = date_s;
  for (auto [field, scale] : {std::pair{hh, 3600.0}, {mm, 60.0}, {ss, 1.0}}) {
    if (std::isnan(field)) return field;
    double term = scale * field;
    if (std::isinf(sum) && std::isinf(term) && sum != term) return invalid_operation_nan();
    sum += term;
  }
  return sum;
}

// The start of day DD of month MM of year YY as the double month start plus whole days,
// in seconds, or what keeps it out of 64-bit seconds.
TimeFault day_start_s(std::int64_t YY, std::int64_t MM, std::int64_t DD, double& date_s) {
  std::int64_t month_s = 0, day_s = 0, sum = 0;
  if (MM < 1 || MM > 12) return TimeFault::month;
  if (!month_start_s(YY, MM, month_s)) return TimeFault::year;
  if (__builtin_sub_overflow(DD, 1, &day_s) || __builtin_mul_overflow(day_s, 86400, &day_s) ||
      __builtin_add_overflow(month_s, day_s, &sum))
    return TimeFault::day;
  // Each is rounded to a double, then their sum: the first of the time's additions.
  date_s = static_cast<double>(month_s) + static_cast<double>(day_s);
  return TimeFault::none;
}

// The start of a reading's day, remembering the last day asked for: consecutive readings
// nearly always share their day. False for a date without a start in 64-bit seconds.
class DayStarts {
 public:
  bool get(std::int64_t YY, std::int64_t MM, std::int64_t DD, double& date_s) {
    if (YY != last_YY_ || MM != last_MM_ || DD != last_DD_) {
      last_YY_ = YY;
      last_MM_ = MM;
      last_DD_ = DD;
      last_ok_ = day_start_s(YY, MM, DD, last_s_) == TimeFault::none;
    }
    date_s = last_s_;
    return last_ok_;
  }

 private:
  std::int64_t last_YY_ = 0, last_MM_ = 0, last_DD_ = 0;
  double last_s_ = 0;
  bool last_ok_ = false;  // month 0 has no start
};

// The reading's time, or no_value() when it has none.
double reading_time_s(DayStarts& days, std::int64_t YY, std::int64_t MM, std::int64_t DD, double hh,
                      double mm, double ss) {
  // Scans assign in order, so unassigned seconds mean an incomplete date or time; hours
  // and minutes are checked too for series not filled by the read pass.
  if (is_no_value(hh) || is_no_value(mm) || is_no_value(ss)) return no_value();
  double date_s;
  if (!days.get(YY, MM, DD, date_s)) return no_value();
  // The additions run one at a time, left to right, each rounded to a double: this order
  // fixes the last bits of every time and so the printed differences.
  double time_s = ((date_s + 3600.0 * hh) + 60.0 * mm) + ss;
  return std::isnan(time_s) ? nan_time_s(date_s, hh, mm, ss) : time_s;
}

}  // namespace

bool month_start_s(std::int64_t YY, std::int64_t MM, std::int64_t& seconds) {
  if (MM < 1 || MM > 12 || YY < -year_bound || YY > year_bound) return false;
  std::int64_t days = days_from_civil(YY, MM) - days_to_2019;
  return !__builtin_mul_overflow(days, 86400, &seconds);
}

TimeFault time_fault(std::int64_t YY, std::int64_t MM, std::int64_t DD, double hh, double mm,
                     double ss) {
  double sum = 0;
  TimeFault fault = day_start_s(YY, MM, DD, sum);
  if (fault != TimeFault::none) return fault;
  // The time's additions in their order: the first field whose term leaves it not finite.
  for (auto [field, scale, name] : {std::tuple{hh, 3600.0, TimeFault::hour},
                                    {mm, 60.0, TimeFault::minute},
                                    {ss, 1.0, TimeFault::second}}) {
    sum += scale * field;
    if (!std::isfinite(sum)) return name;
  }
  return TimeFault::none;
}

std::string date_time_text(double time_s) {
  constexpr double billion_years_s = 1e9 * 366 * 86400;
  if (!(std::fabs(time_s) < billion_years_s)) return "";
  double whole = std::floor(time_s);
  // The fraction is exact: whole and time_s lie within a unit of each other.
  auto micro = static_cast<std::int64_t>(std::llround((time_s - whole) * 1e6));
  auto seconds = static_cast<std::int64_t>(whole);
  if (micro == 1'000'000) {
    ++seconds;
    micro = 0;
  }
  std::int64_t days = seconds / 86400, second_of_day = seconds % 86400;
  if (second_of_day < 0) {
    second_of_day += 86400;
    --days;
  }
  // Howard Hinnant's civil_from_days, the inverse of days_from_civil above.
  const std::int64_t z = days + days_to_2019 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const std::int64_t DD = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const std::int64_t MM = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const std::int64_t YY = year_of_era + era * 400 + (MM <= 2);
  char text[64];
  int length = std::snprintf(
      text, sizeof text,
      "%04" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64 ":%02" PRId64 ":%02" PRId64, YY, MM,
      DD, second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60);
  if (micro > 0) {
    length += std::snprintf(text + length, sizeof text - length, ".%06" PRId64, micro);
    while (text[length - 1] == '0') --length;
  }
  return std::string(text, static_cast<std::size_t>(length));
}

void convert_times(ReadingSeries& s) {
  CTP_ASSERT(s.n <= s.capacity);
  DayStarts days;
  for (std::int64_t i = 0; i < s.n; ++i)
    s.time_s[i] = reading_time_s(days, s.YY[i], s.MM[i], s.DD[i], s.hh[i], s.mm[i], s.ss[i]);
}

}  // namespace ctp
