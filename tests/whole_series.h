// The read and write passes over one whole series, as the tests and benchmarks call them.
#pragma once

#include <cstddef>
#include <cstdio>

#include "reading_input.h"
#include "reading_record.h"
#include "reading_series.h"

namespace ctp {

// The read pass over s.n readings of in, started and finished here.
inline bool read_whole_series(std::FILE* in, ReadingSeries& s,
                              std::size_t read_size = read_block_bytes) {
  ReadingInput input(in, s, read_size);
  OutcomeRecord record;
  return input.started() && read_readings(input, s, record);
}

// The write pass with the first reading's time as every line's origin.
inline bool write_whole_series(std::FILE* out, const ReadingSeries& s) {
  return s.n <= 0 || write_lines(out, s, s.time_s[0]);
}

}  // namespace ctp
