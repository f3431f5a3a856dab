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

// The read pass reads its input in blocks of read_block_bytes into the series' read buffer
// and keeps, in read_buffer_slack more, the unscanned text of the last block.
inline constexpr std::size_t read_block_bytes = 1 << 20;
inline constexpr std::size_t read_buffer_slack = 1024;

// One reading's outcome and where it starts: its first character other than white space,
// or where its scan stopped if it has none.
struct ScanTrace {
  Outcome outcome;
  Place start;
  bool operator==(const ScanTrace&) const = default;
};

class ReadingInput {
 public:
  // Starts reading in's file descriptor into s's read buffer, asking the system for
  // read_size bytes at a time (1 to read_block_bytes). Nothing may have been read through
  // in before. started() is false for a read_size out of range, or a stream without a
  // descriptor.
  ReadingInput(std::FILE* in, const ReadingSeries& s, std::size_t read_size = read_block_bytes);
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
  friend bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record);
  friend bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record,
                            ScanTrace* trace, bool to_the_end);
  std::unique_ptr<Cursor> cursor_;
};

// The read pass as read_readings, that also fills trace[i] for each reading i of the window.
// With to_the_end it reads no further than the input's readings: the window ends before the
// first reading past the end of the file, or after the first stuck one, and s.n says where.
bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record, ScanTrace* trace,
                   bool to_the_end);

}  // namespace ctp
