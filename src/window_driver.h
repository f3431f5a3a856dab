// The three passes over a file, a window of the series at a time, for the converter and
// the checker alike.
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

// Readings in a window, 4 MiB of columns: the least window at full speed on every row of
// the benchmark's window table (bench/README.md).
inline constexpr std::int64_t window_readings = 1 << 16;

// A window of the series with the read and write passes' buffers: the run's one
// allocation, which it owns.
struct Window {
  ReadingSeries series;
  char* read_buffer = nullptr;   // read_buffer_bytes
  char* write_buffer = nullptr;  // write_buffer_bytes
  std::unique_ptr<unsigned char[]> storage;
};

// Bytes of a window of max(n, 0) readings; INT64_MAX when they do not fit in 64 bits.
std::int64_t window_bytes(std::int64_t n);

// Allocates w for max(n, 0) readings, uninitialised. Checks no room: the caller has. False,
// allocating nothing, when the allocator refuses or the bytes exceed the address space.
bool allocate_window(Window& w, std::int64_t n);

// Allocates w for the windows of a run of count readings, where the memory the process may
// have holds them with also_needed bytes more, and sets the data-size limit to what that
// leaves. False, allocating nothing, where not even one window fits.
bool reserve_window(Window& w, std::int64_t count, std::int64_t also_needed = 0);

// How a run ended: every window handed over, or the read pass failed (for want of memory
// to hold a number, or otherwise), or a window could not be handed over (a write failed).
enum class RunEnd { converted, read_failed, read_out_of_memory, write_failed };

// Takes each window once it is read and converted, with its record and the number of
// readings before it; false ends the run with write_failed.
using WindowUse =
    std::function<bool(const ReadingSeries& s, const OutcomeRecord& record, std::int64_t done)>;

struct RunOptions {
  std::size_t read_size = read_block_bytes;  // bytes asked of the system at a time
  // The lines take memory (a file on tmpfs): before each window the memory room is read
  // again, the window shrinks so that its lines fit at the longest line each, and the
  // data-size limit to what they leave; the run ends with write_failed, the lines before
  // it whole, when not even a line fits.
  bool lines_in_memory = false;
  // Each reading's outcome and start, by its index in the window; with to_the_end, the run
  // reads no further than the input's readings (read_readings).
  ScanTrace* trace = nullptr;
  bool to_the_end = false;
};

// Reads count readings of in, in windows of up to w.series.capacity readings: reads a window
// into w, converts it, hands it to use, and again until count readings are read. record gets
// the outcomes of the run's readings, the first lost one of each numbered from 1. The read pass
// carries on where the last window stopped, so every window reads what one pass over the
// whole file would. On return, in is positioned after the last scan, as after fscanf; when
// the read pass failed, errno says why.
RunEnd run_windows(std::FILE* in, std::int64_t count, Window& w, const WindowUse& use,
                   OutcomeRecord& record, const RunOptions& options = {});

// The converter's run: writes each window's lines to out, every elapsed time counting from
// the first reading. The lines are the same whatever the window's size.
RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t count, Window& w,
                        OutcomeRecord& record, const RunOptions& options = {});

}  // namespace ctp
