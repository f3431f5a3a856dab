// The window driver: reads, converts and writes the series a window at a time.
#include "window_driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "memory_room.h"
#include "reading_input.h"

namespace ctp {

RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t n, ReadingSeries& s,
                        bool lines_in_memory, std::size_t read_size) {
  if (n <= 0) return RunEnd::converted;
  ReadingInput input(in, s, read_size);
  if (s.capacity <= 0 || !input.started()) return RunEnd::read_failed;
  double t0 = 0;
  for (std::int64_t done = 0; done < n; done += s.n) {
    s.n = std::min(s.capacity, n - done);
    if (lines_in_memory) {
      std::int64_t fit = (memory_room_bytes() - process_growth_bytes) / longest_line_bytes;
      if (fit <= 0) return RunEnd::write_failed;
      s.n = std::min(s.n, fit);
    }
    if (!read_readings(input, s))
      return input.error() == ENOMEM ? RunEnd::read_out_of_memory : RunEnd::read_failed;
    convert_times(s);
    // Every line's elapsed time counts from the first reading of the first window.
    if (done == 0) t0 = s.time_s[0];
    if (!write_lines(out, s, t0)) return RunEnd::write_failed;
  }
  input.finish();
  return RunEnd::converted;
}

}  // namespace ctp
