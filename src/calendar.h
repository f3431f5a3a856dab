// The calendar behind the conversion pass.
#pragma once

#include <cstdint>

namespace ctp {

// Seconds from 2019-01-01 00:00:00 to the first day of month MM of year YY, in the
// proleptic Gregorian calendar. False when MM is outside 1 to 12 or the result does not
// fit in 64 bits.
bool month_start_s(std::int64_t YY, std::int64_t MM, std::int64_t& seconds);

}  // namespace ctp
