// The window driver: reads, converts and writes the series a window at a time.
#include "window_driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "memory_room.h"
#include "output_file.h"
#include "platform.h"

namespace ctp {

namespace {

// Readings of the next window whose lines fit the shared memory room, where a tmpfs
// file's pages are charged, at the longest line each, with the data-size limit lowered
// to what they leave; 0 when not even one fits.
std::int64_t readings_that_fit(std::int64_t wanted) {
  const std::int64_t room = shared_memory_room_bytes();
  const std::int64_t fit = std::min(wanted, (room - process_growth_bytes) / longest_line_bytes);
  if (fit <= 0) return 0;
  limit_data_to_room(room, fit * longest_line_bytes);
  return fit;
}

}  // namespace

RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t count, ReadingSeries& s,
                        bool lines_in_memory, std::size_t read_size) {
  if (count <= 0) return RunEnd::converted;
  ReadingInput input(in, s, read_size);
  if (s.capacity <= 0 || !input.started()) return RunEnd::read_failed;
  double t0 = 0;
  for (std::int64_t done = 0; done < count; done += s.n) {
    s.n = std::min(s.capacity, count - done);
    if (lines_in_memory && (s.n = readings_that_fit(s.n)) == 0) return RunEnd::write_failed;
    CTP_ASSERT(s.n > 0 && s.n <= s.capacity);
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
