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

// Readings of one run, in file order, a window at a time: element i of every column
// belongs to the window's reading i. A double that no scan assigned, or a time that cannot
// be computed, holds no_value().
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
  // The passes' working buffers, reserved with the columns so that one check covers all
  // the memory a run needs: read_block_bytes + read_buffer_slack bytes for the read pass,
  // write_block_bytes + write_buffer_slack for the write pass.
  char* read_buffer = nullptr;
  char* write_buffer = nullptr;
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

// Where the read pass stands in its input. It carries over from one call of the pass to
// the next, so that reading the series in windows reads exactly what one pass would: the
// unscanned text, the C library's stream over it, and whether scanning has ended.
struct ReadingInput {
  int fd = -1;
  std::size_t read_size = read_block_bytes;  // bytes asked of the system at a time
  std::size_t capacity = 0;                  // bytes of data
  char* data = nullptr;                      // the series' read buffer
  std::size_t pos = 0;                       // the next byte a scan reads
  std::size_t end = 0;                       // bytes read so far into data
  std::int64_t base = 0;                     // offset in the file of data[0]
  bool at_end = false;                       // the file has no more bytes
  bool scanning = true;  // false once a scan met the end of the file: no later scan assigns
  bool stuck = false;    // a scan assigned and consumed nothing: every later one does the same
  int error = 0;         // errno of a read or scan that failed
  std::FILE* fallback = nullptr;    // the C library's stream over data, kept between scans
  std::int64_t fallback_read = 0;   // file offset up to which that stream has read
  std::int64_t fallback_ended = 0;  // file offset where its last scan ended
};

// Starts reading in's file descriptor into s's read buffer, asking the system for at most
// read_size bytes at a time: 1 to read_block_bytes. Nothing may have been read through in
// before. False for a read_size out of range.
bool start_reading(ReadingInput& input, std::FILE* in, const ReadingSeries& s,
                   std::size_t read_size = read_block_bytes);

// Read pass: scans the next s.n readings, each as by
// fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Items a scan does not assign get 0 (the
// integers) or no_value() (the doubles). Returns false when a read fails, or a scan fails
// otherwise than at the end of the file (input.error says why: ENOMEM when the C library
// could not hold a number), leaving the rest of the series unread.
bool read_readings(ReadingInput& input, ReadingSeries& s);

// Ends the reading: closes the stream and hands the bytes read ahead back to a seekable
// file, so that its position is where the last scan stopped, as after fscanf and fclose.
void finish_reading(ReadingInput& input);

// The three steps for one whole series: start, read s.n readings, finish.
bool read_readings(std::FILE* in, ReadingSeries& s, std::size_t read_size = read_block_bytes);

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
// The longest line it writes: two fields of 317 bytes, the four blanks and the line feed.
inline constexpr std::int64_t longest_line_bytes = 2 * 317 + 4 + 1;
bool write_lines(std::FILE* out, const ReadingSeries& s);  // t0: s.time_s[0]

// How a conversion ended: every line written, or the read pass failed (for want of
// memory to hold a number, or otherwise), or a write failed.
enum class RunEnd { converted, read_failed, read_out_of_memory, write_failed };

// Converts n readings from in to out a window at a time, in windows of s.capacity
// readings: reads a window into s, converts it, writes it, and again until n lines are
// written. The lines are the same whatever the window's size: every elapsed time counts
// from the first reading, and the read pass carries on where the last window stopped.
// When the lines take memory (a file on tmpfs), a window's lines must fit the memory room
// at the longest line each, checked before each window; a window shrinks to fit, and the
// run ends with write_failed, the lines before it whole, when not even a line fits.
// Reads read_size bytes at a time (1 to read_block_bytes). On return, in is positioned
// after the last scan, as after fscanf.
RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t n, ReadingSeries& s,
                        bool lines_in_memory = false, std::size_t read_size = read_block_bytes);
