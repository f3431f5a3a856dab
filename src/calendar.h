// Conversion pass: the calendar that turns each reading's date and time into seconds.
#pragma once

#include <cstdint>
#include <string>

#include "reading_series.h"

namespace ctp {

// What leaves a reading without a time: nothing, its month (outside 1 to 12), its year or
// its day (the date's seconds since 2019-01-01 pass 64 bits), or the first of its hour,
// minute and second that makes the time not finite.
enum class TimeFault : std::uint8_t { none, month, year, day, hour, minute, second };

// Seconds from 2019-01-01 00:00:00 to the first day of month MM of year YY, in the
// proleptic Gregorian calendar. False when MM is outside 1 to 12 or the result does not
// fit in 64 bits.
bool month_start_s(std::int64_t YY, std::int64_t MM, std::int64_t& seconds);

// Why the conversion pass gives the reading no finite time; TimeFault::none when it has one.
TimeFault time_fault(std::int64_t YY, std::int64_t MM, std::int64_t DD, double hh, double mm,
                     double ss);

// Conversion pass: fills s.time_s from the date and time columns. A reading has no time
// (no_value()) when its seconds were not assigned, its month is outside 1 to 12, or its
// date's seconds since 2019-01-01 do not fit in 64 bits.
void convert_times(ReadingSeries& s);

// A finite time_s as the date and time it stands for, "YYYY-MM-DD hh:mm:ss", with the
// fraction of its second rounded to at most six decimals. Empty beyond a billion years.
std::string date_time_text(double time_s);

}  // namespace ctp
