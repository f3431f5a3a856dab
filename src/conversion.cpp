// The three passes over a file, a window of the series at a time.
#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "memory_room.h"
#include "reading_series.h"

namespace {

// Room the lines leave to the process and the rest of the machine when they take memory.
constexpr std::int64_t memory_reserve_bytes = 8 << 20;

}  // namespace

RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t n, ReadingSeries& s,
                        bool lines_in_memory, std::size_t read_size) {
  ReadingInput input;
  if (n <= 0) return RunEnd::converted;
  if (s.capacity <= 0 || !start_reading(input, in, s, read_size)) return RunEnd::read_failed;
  RunEnd end = RunEnd::converted;
  double t0 = 0;
  for (std::int64_t done = 0; done < n; done += s.n) {
    s.n = std::min(s.capacity, n - done);
    if (lines_in_memory) {
      std::int64_t fit = (memory_room_bytes() - memory_reserve_bytes) / longest_line_bytes;
      if (fit <= 0) {
        end = RunEnd::write_failed;
        break;
      }
      s.n = std::min(s.n, fit);
    }
    if (!read_readings(input, s)) {
      end = input.error == ENOMEM ? RunEnd::read_out_of_memory : RunEnd::read_failed;
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
  finish_reading(input);
  return end;
}
