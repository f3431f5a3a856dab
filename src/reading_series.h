// The series of readings that one run converts, a window at a time, and the three passes
// over it: read, convert, write.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace ctp {

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
  char* read_buffer = nullptr;               // the read pass's (reading_input.h)
  char* write_buffer = nullptr;              // the write pass's (output_file.h)
  std::unique_ptr<unsigned char[]> storage;  // all of the above
};

// Marks a double that holds no value: a quiet NaN with a payload that no reading carries,
// since the read pass clears the payload of every NaN it reads.
inline constexpr std::uint64_t no_value_bits = 0x7ff8'0000'0000'0001;
inline double no_value() { return std::bit_cast<double>(no_value_bits); }
inline bool is_no_value(double v) { return std::bit_cast<std::uint64_t>(v) == no_value_bits; }

// Bytes that reserve_series takes for max(n, 0) readings and the passes' buffers;
// INT64_MAX when they do not fit in 64 bits.
std::int64_t series_bytes(std::int64_t n);

// Reserves the columns for max(n, 0) readings, uninitialised, and the passes' buffers, and
// sets n and capacity to that count. Checks no room: the caller has. Returns false,
// reserving nothing, when the allocator refuses them or they exceed the address space.
bool reserve_series(ReadingSeries& s, std::int64_t n);

// The read pass's place in its input (reading_input.h).
class ReadingInput;

// The outcome of each reading of a window (reading_record.h).
struct OutcomeRecord;

// Read pass: scans the next s.n readings from input, each as by
// fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Items a scan does not assign get 0 (the
// integers) or no_value() (the doubles); a NaN read keeps its sign and drops its payload.
// Records in record how many readings came out each way, and the first lost one of each.
// Returns false when a read fails, or a scan fails otherwise than at the end of the file
// (input.error() says why: ENOMEM when the C library could not hold a number), leaving the
// rest of the series unread.
bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record);

// Conversion pass: fills s.time_s from the date and time columns. A reading has no time
// (no_value()) when its seconds were not assigned, its month is outside 1 to 12, or its
// date's seconds since 2019-01-01 do not fit in 64 bits.
void convert_times(ReadingSeries& s);

// Write pass: one line "%lf    %lf\n" per reading: time_s less t0, the first reading's
// time, and the value times -1000. A field without a value prints "nan", and so does every
// elapsed time when t0 has none. Returns false when a write fails, having cut a regular
// file back to its last whole line; the caller must still check the close.
bool write_lines(std::FILE* out, const ReadingSeries& s, double t0);

}  // namespace ctp
