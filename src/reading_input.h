// The read pass's place in its input, carried from one window to the next so that reading
// a window at a time reads exactly what one pass over the whole file would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "reading_record.h"
#include "reading_series.h"

namespace ctp {

// The read pass reads its input in blocks of read_block_bytes into its buffer and keeps, in
// read_buffer_slack more, the unscanned text of the last block.
inline constexpr std::size_t read_block_bytes = 1 << 20;
inline constexpr std::size_t read_buffer_slack = 1024;
inline constexpr std::size_t read_buffer_bytes = read_block_bytes + read_buffer_slack;

// One reading's outcome and where it starts: its first character other than white space,
// or where its scan stopped if it has none.
struct ScanTrace {
  Outcome outcome;
  Place start;
  bool operator==(const ScanTrace&) const = default;
};

class ReadingInput {
 public:
  // Starts reading in's file descriptor into buffer, of read_buffer_bytes, asking the
  // system for read_size bytes at a time (1 to read_block_bytes). Nothing may have been
  // read through in before. started() is false for a read_size out of range, or a stream
  // without a descriptor.
  ReadingInput(std::FILE* in, char* buffer, std::size_t read_size = read_block_bytes);
  // Finishes the reading, if finish() has not.
  ~ReadingInput();
  ReadingInput(const ReadingInput&) = delete;
  ReadingInput& operator=(const ReadingInput&) = delete;

  bool started() const { return cursor_ != nullptr; }

  // errno of the read or scan that made read_readings fail; 0 before.
  int error() const;

  // Whether no later scan can assign an item: a scan met the end of the file, or stuck.
  bool ended() const;

  // Ends the reading: closes the C library's stream over the buffer and hands the bytes
  // read ahead back to a seekable file, so that its position is where the last scan
  // stopped, as after fscanf and fclose.
  void finish();

  struct Cursor;  // the read pass's own: defined and used only there

 private:
  friend bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record,
                            ScanTrace* trace, bool to_the_end);
  std::unique_ptr<Cursor> cursor_;
};

// Read pass: scans the next s.n readings from input, each as by
// fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Items a scan does not assign get 0 (the
// integers) or no_value() (the doubles); a NaN read keeps its sign and drops its payload.
// record gets how many readings came out each way, and the first lost one of each.
// With trace, also fills trace[i] for each reading i. With to_the_end (and a trace), reads
// no further than the input's readings: the window ends before the first reading past the
// end of the file, or after the first stuck one, and s.n says where.
// Returns false when a read fails, or a scan fails otherwise than at the end of the file
// (input.error() says why: ENOMEM when the C library could not hold a number), leaving the
// rest of the series unread.
bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record,
                   ScanTrace* trace = nullptr, bool to_the_end = false);

}  // namespace ctp
