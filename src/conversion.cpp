// The three passes over a file, a window of the series at a time.
#include <algorithm>
#include <cstdint>

#include "reading_series.h"

RunEnd convert_readings(ReadingInput& input, std::FILE* out, std::int64_t n, ReadingSeries& s) {
  const std::int64_t window = s.n;
  RunEnd end = RunEnd::converted;
  double t0 = 0;
  for (std::int64_t done = 0; done < n && window > 0; done += s.n) {
    s.n = std::min(window, n - done);
    if (!read_readings(input, s)) {
      end = RunEnd::read_failed;
      break;
    }
    convert_times(s);
    // Every line's elapsed time counts from the first reading of the first window.
    if (done == 0) t0 = s.time_s[0];
    if (!write_lines(out, s, t0)) {
      end = RunEnd::write_failed;
      break;
    }
  }
  s.n = window;
  finish_reading(input);
  return end;
}
