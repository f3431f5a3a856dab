// The series of readings that one run converts, a window at a time, and the three passes
// over it: read, convert, write.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace ctp {

// The passes' buffers, reserved with the series: the read pass reads its input in blocks
// of read_block_bytes and keeps, in read_buffer_slack more, the unscanned text of the last
// block; the write pass hands its lines over in blocks of write_block_bytes, the line
// that crosses a block's end going into write_buffer_slack more. Each pass checks that
// its slack covers what it needs.
inline constexpr std::size_t read_block_bytes = 1 << 20;
inline constexpr std::size_t read_buffer_slack = 1024;
inline constexpr std::size_t write_block_bytes = 1 << 18;
inline constexpr std::size_t write_buffer_slack = 1024;

// Readings of one run, in file order, a window at a time: element i of every column
// belongs to the window's reading i. A double that no scan assigned, or a time that cannot
// be computed, holds no_value().
struct ReadingSeries {
  std::int64_t n = 0;                        // readings in the series now: 0 to capacity
  std::int64_t capacity = 0;                 // readings the columns have room for
  std::int64_t* YY = nullptr;                // year
  std::int64_t* MM = nullptr;                // month
  std::int64_t* DD = nullptr;                // day of month
  double* hh = nullptr;                      // hour
  double* mm = nullptr;                      // minute
  double* ss = nullptr;                      // second
  double* time_s = nullptr;                  // seconds since 2019-01-01 00:00:00
  double* temp = nullptr;                    // the reading's value
  char* read_buffer = nullptr;               // read_block_bytes + read_buffer_slack bytes
  char* write_buffer = nullptr;              // write_block_bytes + write_buffer_slack bytes
  std::unique_ptr<unsigned char[]> storage;  // all of the above
};

// Marks a double that holds no value: a quiet NaN with a payload that no reading carries,
// since the read pass clears the payload of every NaN it reads.
inline constexpr std::uint64_t no_value_bits = 0x7ff8'0000'0000'0001;
inline double no_value() { return std::bit_cast<double>(no_value_bits); }
inline bool is_no_value(double v) { return std::bit_cast<std::uint64_t>(v) == no_value_bits; }

// Reserves the columns for max(n, 0) readings, uninitialised, and the passes' buffers, and
// sets n and capacity to that count. Returns false, reserving nothing, when they, also_needed
// bytes more and room for the process to grow by exceed memory_room_bytes(), or when the
// allocator refuses them.
bool reserve_series(ReadingSeries& s, std::int64_t n, std::int64_t also_needed = 0);

// The read pass's place in its input (reading_input.h).
class ReadingInput;

// Read pass: scans the next s.n readings from input, each as by
// fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Items a scan does not assign get 0 (the
// integers) or no_value() (the doubles); a NaN read keeps its sign and drops its payload.
// Returns false when a read fails, or a scan fails otherwise than at the end of the file
// (input.error() says why: ENOMEM when the C library could not hold a number), leaving the
// rest of the series unread.
bool read_readings(ReadingInput& input, ReadingSeries& s);

// Conversion pass: fills s.time_s from the date and time columns. A reading has no time
// (no_value()) when its seconds were not assigned, its month is outside 1 to 12, or its
// date's seconds since 2019-01-01 do not fit in 64 bits.
void convert_times(ReadingSeries& s);

// Seconds from 2019-01-01 00:00:00 to the first day of month MM of year YY, in the
// proleptic Gregorian calendar. False when MM is outside 1 to 12 or the result does not
// fit in 64 bits.
bool month_start_s(std::int64_t YY, std::int64_t MM, std::int64_t& seconds);

// Write pass: one line "%lf    %lf\n" per reading: time_s less t0, the first reading's
// time, and the value times -1000. A field without a value prints "nan", and so does every
// elapsed time when t0 has none. Returns false when a write fails; the caller must still
// check the close.
bool write_lines(std::FILE* out, const ReadingSeries& s, double t0);

// The longest line write_lines writes: two fields of 317 bytes, the four blanks and the
// line feed.
inline constexpr std::int64_t longest_line_bytes = 2 * 317 + 4 + 1;

}  // namespace ctp
