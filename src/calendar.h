// Conversion pass: each reading's date and time to seconds.
#pragma once

#include <cstdint>
#include <string>

#include "reading_series.h"

namespace ctp {

// What leaves a reading without a time: its month, its year or day (past 64-bit seconds), or
// the first of hour, minute and second that makes the time not finite.
enum class TimeFault : std::uint8_t { none, month, year, day, hour, minute, second };

// Seconds from 2019-01-01 to the first of month MM of year YY, proleptic Gregorian; false
// for a month outside 1 to 12 or past 64 bits.
bool month_start_s(std::int64_t YY, std::int64_t MM, std::int64_t& seconds);

// Why the conversion pass gives the reading no finite time; TimeFault::none when it has one.
TimeFault time_fault(std::int64_t YY, std::int64_t MM, std::int64_t DD, double hh, double mm,
                     double ss);

// Fills s.time_s; no_value() for a reading without a time (time_fault) or its seconds.
void convert_times(ReadingSeries& s);

// A finite time_s as "YYYY-MM-DD hh:mm:ss", with up to six decimals; empty past a billion years.
std::string date_time_text(double time_s);

}  // namespace ctp
