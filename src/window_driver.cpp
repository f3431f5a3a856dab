// The window driver: reads, converts and hands over the series a window at a time.
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

bool reserve_window(ReadingSeries& s, std::int64_t count, std::int64_t also_needed) {
  const std::int64_t window = std::min(count, window_readings);
  const std::int64_t window_bytes = series_bytes(window);
  // With overcommit the allocator grants nearly any size, and the run would be killed
  // later, part-way through: the room is checked first, and read once.
  const std::int64_t room = memory_room_bytes();
  if (!fits_room(room, window_bytes, also_needed) || !reserve_series(s, window)) return false;
  limit_data_to_room(room, window_bytes + also_needed);
  return true;
}

RunEnd run_windows(std::FILE* in, std::int64_t count, ReadingSeries& s, const WindowUse& use,
                   OutcomeRecord& record, const RunOptions& options) {
  record = {};
  if (count <= 0) return RunEnd::converted;
  ReadingInput input(in, s, options.read_size);
  if (s.capacity <= 0 || !input.started()) return RunEnd::read_failed;
  CTP_ASSERT(options.trace || !options.to_the_end);
  OutcomeRecord window;
  for (std::int64_t done = 0; done < count; done += s.n) {
    if (options.to_the_end && input.ended()) break;
    s.n = std::min(s.capacity, count - done);
    if (options.lines_in_memory && (s.n = readings_that_fit(s.n)) == 0) return RunEnd::write_failed;
    CTP_ASSERT(s.n > 0 && s.n <= s.capacity);
    const bool read = options.trace
                          ? read_readings(input, s, window, options.trace, options.to_the_end)
                          : read_readings(input, s, window);
    if (!read) {
      errno = input.error();
      return errno == ENOMEM ? RunEnd::read_out_of_memory : RunEnd::read_failed;
    }
    convert_times(s);
    record.add(window, done + 1);
    if (!use(s, window, done)) return RunEnd::write_failed;
  }
  input.finish();
  return RunEnd::converted;
}

RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t count, ReadingSeries& s,
                        OutcomeRecord& record, const RunOptions& options) {
  double t0 = 0;
  auto write = [out, &t0](const ReadingSeries& window, const OutcomeRecord&, std::int64_t done) {
    // Every line's elapsed time counts from the first reading of the first window.
    if (done == 0) t0 = window.time_s[0];
    return write_lines(out, window, t0);
  };
  return run_windows(in, count, s, write, record, options);
}

}  // namespace ctp
