// The three passes over a file, a window of the series at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "reading_input.h"
#include "reading_series.h"

namespace ctp {

// How a conversion ended: every line written, or the read pass failed (for want of
// memory to hold a number, or otherwise), or a write failed.
enum class RunEnd { converted, read_failed, read_out_of_memory, write_failed };

// Converts count readings from in to out in windows of up to s.capacity readings: reads a
// window into s, converts it, writes it, and again until count lines are written. The
// lines are the same whatever the window's size: every elapsed time counts from the first
// reading, and the read pass carries on where the last window stopped.
// When the lines take memory (a file on tmpfs), the memory room is read before each
// window: the window shrinks so that its lines fit at the longest line each, and the
// data-size limit to what they leave; the run ends with write_failed, the lines before
// it whole, when not even a line fits.
// Reads read_size bytes at a time (1 to read_block_bytes). On return, in is positioned
// after the last scan, as after fscanf.
RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t count, ReadingSeries& s,
                        bool lines_in_memory = false, std::size_t read_size = read_block_bytes);

}  // namespace ctp
