// The three passes over a file, a window at a time, for the converter and the checker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

#include "output_file.h"
#include "reading_input.h"
#include "reading_record.h"
#include "reading_series.h"

namespace ctp {

// Readings in a window, 4 MiB of columns: the least at full speed (bench/README.md).
inline constexpr std::int64_t window_readings = 1 << 16;

// A window of the series and the read and write passes' buffers: the run's one allocation.
struct Window {
  ReadingSeries series;
  char* read_buffer = nullptr;   // read_buffer_bytes
  char* write_buffer = nullptr;  // write_buffer_bytes
  std::unique_ptr<unsigned char[]> storage;
};

// Bytes of a window of max(n, 0) readings; INT64_MAX when they do not fit in 64 bits.
std::int64_t window_bytes(std::int64_t n);

// Allocates w for max(n, 0) readings, checking no room. False, allocating nothing, when the
// allocator refuses or the bytes exceed the address space.
bool allocate_window(Window& w, std::int64_t n);

// Allocates w for a run of count readings where the memory room holds a window and
// also_needed bytes more, and lowers the data-size limit to that. False where none fits.
bool reserve_window(Window& w, std::int64_t count, std::int64_t also_needed = 0);

// How a run ended; read_out_of_memory: the C library had no memory to hold a number.
enum class RunEnd { converted, read_failed, read_out_of_memory, write_failed };

// Takes each window once converted, with its record and the readings before it; false ends
// the run with write_failed.
using WindowUse =
    std::function<bool(const ReadingSeries& s, const OutcomeRecord& record, std::int64_t done)>;

struct RunOptions {
  std::size_t read_size = read_block_bytes;  // bytes asked of the system at a time

  // The lines take memory (tmpfs): each window shrinks so that its longest lines fit the
  // room read again, and the run ends with write_failed when not even one fits.
  bool lines_in_memory = false;
  // Each reading's outcome and start, and to_the_end as read_readings takes them.
  ScanTrace* trace = nullptr;
  bool to_the_end = false;
};

// A run's windows, read and converted one at a time for a caller that pulls them.
class WindowReader {
 public:
  // Reads count readings of in into w, as run_windows does.
  WindowReader(std::FILE* in, std::int64_t count, Window& w, const RunOptions& options = {});

  // Reads and converts the next window into w.series, its outcomes into window. False at the
  // run's end, or on a failure: end() says which, and errno why.
  bool next(OutcomeRecord& window);
  std::int64_t done() const { return done_; }  // readings before the last window read
  RunEnd end() const { return end_; }

 private:
  std::int64_t count_, done_ = 0;
  ReadingSeries& s_;
  ReadingInput input_;
  RunOptions options_;
  RunEnd end_ = RunEnd::converted;
};

// Reads count readings of in a window at a time: reads, converts, hands it to use. record
// gets the run's outcomes, the first lost of each numbered from 1. Every window reads what
// one pass over the whole file would; in is left after the last scan, as after fscanf.
// When the read pass failed, errno says why.
RunEnd run_windows(std::FILE* in, std::int64_t count, Window& w, const WindowUse& use,
                   OutcomeRecord& record, const RunOptions& options = {});

// The converter's run: each window's lines to out, elapsed from the first reading.
RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t count, Window& w,
                        OutcomeRecord& record, const RunOptions& options = {});

}  // namespace ctp
