// The series of readings that one run converts, and the three passes over it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// The read pass reads its input in blocks of read_block_bytes; its buffer adds room for the
// unscanned text it keeps when it reads the next block. The write pass hands its lines to the
// output in blocks of write_block_bytes; its buffer adds room for the line that crosses the
// block's end. Each pass checks that its slack covers what it needs.
inline constexpr std::size_t read_block_bytes = 1 << 20;
inline constexpr std::size_t read_buffer_slack = 1024;
inline constexpr std::size_t write_block_bytes = 1 << 18;
inline constexpr std::size_t write_buffer_slack = 1024;

// Returns the series' pages to the system.
struct SeriesStorage {
  std::size_t bytes = 0;
  void operator()(unsigned char* p) const;
};

// All readings of one run, in file order: element i of every column belongs to reading i.
// A double that no scan assigned, or a time that cannot be computed, holds no_value().
struct ReadingSeries {
  std::int64_t n = 0;          // number of readings; never negative once reserved
  std::int64_t* YY = nullptr;  // year
  std::int64_t* MM = nullptr;  // month
  std::int64_t* DD = nullptr;  // day of month
  double* hh = nullptr;        // hour
  double* mm = nullptr;        // minute
  double* ss = nullptr;        // second
  double* time_s = nullptr;    // seconds since 2019-01-01 00:00:00
  double* temp = nullptr;      // the reading's value
  // The passes' working buffers, reserved with the columns so that one check covers all
  // the memory a run needs: read_block_bytes + read_buffer_slack bytes for the read pass,
  // write_block_bytes + write_buffer_slack for the write pass.
  char* read_buffer = nullptr;
  char* write_buffer = nullptr;
  std::unique_ptr<unsigned char, SeriesStorage> storage;  // all of the above
};

// Marks a double that holds no value: a quiet NaN with a payload that no reading carries,
// since the read pass clears the payload of every NaN it reads.
inline constexpr std::uint64_t no_value_bits = 0x7ff8'0000'0000'0001;
inline double no_value() { return std::bit_cast<double>(no_value_bits); }
inline bool is_no_value(double v) { return std::bit_cast<std::uint64_t>(v) == no_value_bits; }

// Bytes that a run of n readings reserves: the columns and the passes' buffers. INT64_MAX
// when that does not fit in 64 bits.
std::int64_t run_bytes(std::int64_t n);

// Reserves the columns for max(n, 0) readings, uninitialised, and the passes' buffers.
// Returns false, reserving nothing, when they cannot be had: more bytes than the machine's
// physical memory, or refused by the allocator. The columns' pages are had at once, the
// buffers' as the passes use them.
bool reserve_series(ReadingSeries& s, std::int64_t n);

// Read pass: scans s.n readings from in, each as by
// fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Items a scan does not assign get 0 (the
// integers) or no_value() (the doubles). Reads in's file descriptor directly, so nothing
// may have been read through in before; a seekable file is left positioned where the last
// scan stopped. Returns false on an input error (not the end of the file), leaving the
// rest of the series unread.
bool read_readings(std::FILE* in, ReadingSeries& s);

// The same, asking the system for at most read_size bytes at a time: 1 to read_block_bytes.
bool read_readings(std::FILE* in, ReadingSeries& s, std::size_t read_size);

// Conversion pass: fills s.time_s from the date and time columns. A reading has no time
// (no_value()) when its seconds were not assigned, its month is outside 1 to 12, or its
// date's seconds since 2019-01-01 do not fit in 64 bits.
void convert_times(ReadingSeries& s);

// Seconds from 2019-01-01 00:00:00 to the first day of month MM of year YY, in the
// proleptic Gregorian calendar. False when MM is outside 1 to 12 or the result does not
// fit in 64 bits.
bool month_start_s(std::int64_t YY, std::int64_t MM, std::int64_t& seconds);

// Write pass: one line "%lf    %lf\n" per reading: time_s less the first reading's, and
// the value times -1000. A field without a value prints "nan". Returns false when a write
// fails; the caller must still check the close.
bool write_lines(std::FILE* out, const ReadingSeries& s);
