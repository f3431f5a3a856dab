// The series of readings that one run converts, a window at a time: its columns.
#pragma once

#include <bit>
#include <cstdint>

namespace ctp {

// Readings of one window, in file order: element i of every column belongs to reading i.
// A double that no scan assigned, or a time that cannot be computed, holds no_value(). The
// columns are not owned here: a window's one allocation holds them (window_driver.h).
struct ReadingSeries {
  std::int64_t n = 0;          // readings in the series now: 0 to capacity
  std::int64_t capacity = 0;   // readings the columns have room for
  std::int64_t* YY = nullptr;  // year
  std::int64_t* MM = nullptr;  // month
  std::int64_t* DD = nullptr;  // day of month
  double* hh = nullptr;        // hour
  double* mm = nullptr;        // minute
  double* ss = nullptr;        // second
  double* time_s = nullptr;    // seconds since 2019-01-01 00:00:00
  double* temp = nullptr;      // the reading's value
};

// Bytes of one reading across the eight columns.
inline constexpr std::int64_t bytes_per_reading = 3 * sizeof(std::int64_t) + 5 * sizeof(double);
static_assert(bytes_per_reading == 64);

// Points the columns at n * bytes_per_reading bytes from at, and sets n and capacity to n.
// Returns the end of those bytes.
unsigned char* place_columns(ReadingSeries& s, unsigned char* at, std::int64_t n);

// Marks a double that holds no value: a quiet NaN with a payload that no reading carries,
// since the read pass clears the payload of every NaN it reads.
inline constexpr std::uint64_t no_value_bits = 0x7ff8'0000'0000'0001;
inline double no_value() { return std::bit_cast<double>(no_value_bits); }
inline bool is_no_value(double v) { return std::bit_cast<std::uint64_t>(v) == no_value_bits; }

}  // namespace ctp
