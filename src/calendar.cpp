// Conversion pass: date and time of day to seconds since 2019-01-01 00:00:00, every day of
// 86400 seconds (no time zones, daylight saving or leap seconds).
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

// Beyond this, month starts pass 64-bit seconds anyway; it keeps the day count from overflow.
constexpr std::int64_t year_bound = 1'000'000'000'000;

// Days from 1970-01-01 to the first of month MM of year YY, proleptic Gregorian: Howard
// Hinnant's days_from_civil ("chrono-Compatible Low-Level Date Algorithms").
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

// The NaN of a time that is one, by x86-64's rule (platform.h): the first NaN field's, or a
// negative NaN for an infinity added to its opposite.
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

// The start of day DD of month MM of year YY in seconds, or what keeps it out of 64 bits.
TimeFault day_start_s(std::int64_t YY, std::int64_t MM, std::int64_t DD, double& date_s) {
  std::int64_t month_s = 0, day_s = 0, sum = 0;
  if (MM < 1 || MM > 12) return TimeFault::month;
  if (!month_start_s(YY, MM, month_s)) return TimeFault::year;
  if (__builtin_sub_overflow(DD, 1, &day_s) || __builtin_mul_overflow(day_s, 86400, &day_s) ||
      __builtin_add_overflow(month_s, day_s, &sum))
    return TimeFault::day;
  // Each rounded to a double, then summed: the first of the time's additions.
  date_s = static_cast<double>(month_s) + static_cast<double>(day_s);
  return TimeFault::none;
}

// The start of a reading's day, remembering the last day asked for (nearly always the next).
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

double reading_time_s(DayStarts& days, std::int64_t YY, std::int64_t MM, std::int64_t DD, double hh,
                      double mm, double ss) {
  // Unassigned seconds mean an incomplete time; hours and minutes are checked for series
  // that the read pass did not fill.
  if (is_no_value(hh) || is_no_value(mm) || is_no_value(ss)) return no_value();
  double date_s;
  if (!days.get(YY, MM, DD, date_s)) return no_value();
  // One addition at a time, left to right: this order fixes the last bits of every time.
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
  // The first field whose term leaves the sum not finite.
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
  // Howard Hinnant's civil_from_days.
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
