// The read pass and its place in the input, carried from one window to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "reading_record.h"
#include "reading_series.h"

namespace ctp {

// Blocks of read_block_bytes, and slack for the unscanned text of the last block.
inline constexpr std::size_t read_block_bytes = 1 << 20;
inline constexpr std::size_t read_buffer_slack = 1024;
inline constexpr std::size_t read_buffer_bytes = read_block_bytes + read_buffer_slack;

// A reading's outcome and its first character other than white space (or its scan's stop).
struct ScanTrace {
  Outcome outcome;
  Place start;
  bool operator==(const ScanTrace&) const = default;
};

class ReadingInput {
 public:
  // Reads in's descriptor into buffer (read_buffer_bytes), read_size bytes at a time (1 to
  // read_block_bytes). started() is false for a bad read_size or a stream without one.
  ReadingInput(std::FILE* in, char* buffer, std::size_t read_size = read_block_bytes);
  ~ReadingInput();
  ReadingInput(const ReadingInput&) = delete;
  ReadingInput& operator=(const ReadingInput&) = delete;

  bool started() const { return cursor_ != nullptr; }

  // errno of what made read_readings fail; 0 before.
  int error() const;

  // Whether no later scan can assign an item: one met the end of the file, or stuck.
  bool ended() const;

  // Closes the fallback stream and seeks a file back to where the last scan stopped.
  void finish();

  struct Cursor;  // the read pass's own: defined and used only there

 private:
  friend bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record,
                            ScanTrace* trace, bool to_the_end);
  std::unique_ptr<Cursor> cursor_;
};

// Read pass: scans the next s.n readings, each as fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf")
// would. Unassigned items get 0 or no_value(); a NaN keeps its sign, not its payload. record
// gets the outcomes and the first lost reading of each; trace, each reading's. to_the_end
// stops before the first reading past the end or after a stuck one, with s.n set there. False when
// a read or scan fails (input.error(): ENOMEM for a number too long).
bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record,
                   ScanTrace* trace = nullptr, bool to_the_end = false);

}  // namespace ctp
