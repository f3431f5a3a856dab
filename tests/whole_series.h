// The read and write passes over one whole series, as the tests and benchmarks call them.
#pragma once

#include <cstddef>
#include <cstdio>

#include "reading_input.h"
#include "reading_record.h"
#include "window_driver.h"

namespace ctp {

// The read pass over w.series.n readings of in, started and finished here.
inline bool read_whole_series(std::FILE* in, Window& w, std::size_t read_size = read_block_bytes) {
  ReadingInput input(in, w.read_buffer, read_size);
  OutcomeRecord record;
  return input.started() && read_readings(input, w.series, record);
}

// The write pass with the first reading's time as every line's origin.
inline bool write_whole_series(std::FILE* out, const Window& w) {
  return w.series.n <= 0 || write_lines(out, w.series, w.series.time_s[0], w.write_buffer);
}

}  // namespace ctp
