// The window driver: reads, converts and hands over the series a window at a time.
#include "window_driver.h"

#include <algorithm>
#include <cerrno>
#include <cfenv>
#include <cstdint>
#include <new>

#include "calendar.h"
#include "memory_room.h"
#include "platform.h"

namespace ctp {

namespace {

constexpr std::int64_t buffer_bytes = read_buffer_bytes + write_buffer_bytes;

// Readings of the next window whose longest lines fit the room a tmpfs file is charged to,
// with the data-size limit lowered to what they leave; 0 when not even one fits.
std::int64_t readings_that_fit(std::int64_t wanted) {
  const std::int64_t room = shared_memory_room_bytes();
  const std::int64_t fit = std::min(wanted, (room - process_growth_bytes) / longest_line_bytes);
  if (fit <= 0) return 0;
  limit_data_to_room(room, fit * longest_line_bytes);
  return fit;
}

// Rounding to nearest for the run, as the fast paths need, and the caller's mode back after.
class RoundToNearest {
 public:
  RoundToNearest() : mode_(std::fegetround()) {
    if (mode_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
  }
  ~RoundToNearest() {
    if (mode_ != FE_TONEAREST) std::fesetround(mode_);
  }
  RoundToNearest(const RoundToNearest&) = delete;
  RoundToNearest& operator=(const RoundToNearest&) = delete;

 private:
  int mode_;
};

}  // namespace

std::int64_t window_bytes(std::int64_t n) {
  if (n < 0) n = 0;
  if (n > (INT64_MAX - buffer_bytes) / bytes_per_reading) return INT64_MAX;
  return n * bytes_per_reading + buffer_bytes;
}

bool allocate_window(Window& w, std::int64_t n) {
  if (n < 0) n = 0;
  const std::int64_t bytes = window_bytes(n);
  // INT64_MAX: past 64 bits; beyond SIZE_MAX: past a 32-bit address space.
  if (bytes == INT64_MAX || static_cast<std::uint64_t>(bytes) > SIZE_MAX) return false;
  std::unique_ptr<unsigned char[]> storage(
      new (std::nothrow) unsigned char[static_cast<std::size_t>(bytes)]);
  if (!storage) return false;
  w.read_buffer = reinterpret_cast<char*>(place_columns(w.series, storage.get(), n));
  w.write_buffer = w.read_buffer + read_buffer_bytes;
  CTP_ASSERT(w.write_buffer + write_buffer_bytes == reinterpret_cast<char*>(storage.get()) + bytes);
  w.storage = std::move(storage);
  return true;
}

bool reserve_window(Window& w, std::int64_t count, std::int64_t also_needed) {
  const std::int64_t readings = std::min(count, window_readings);
  const std::int64_t bytes = window_bytes(readings);
  // With overcommit the allocator grants nearly any size, and the run would be killed
  // later, part-way through: the room is checked first, and read once.
  const std::int64_t room = memory_room_bytes();
  if (!fits_room(room, bytes, also_needed) || !allocate_window(w, readings)) return false;
  limit_data_to_room(room, bytes + also_needed);
  return true;
}

WindowReader::WindowReader(std::FILE* in, std::int64_t count, Window& w, const RunOptions& options)
    : count_(std::max<std::int64_t>(count, 0)),
      s_(w.series),
      input_(in, w.read_buffer, options.read_size),
      options_(options) {
  if (count_ > 0 && (s_.capacity <= 0 || !input_.started())) end_ = RunEnd::read_failed;
  s_.n = 0;
}

bool WindowReader::next(OutcomeRecord& window) {
  done_ += s_.n;
  s_.n = 0;
  if (end_ != RunEnd::converted) return false;
  if (done_ >= count_ || (options_.to_the_end && input_.ended())) {
    input_.finish();
    return false;
  }
  const RoundToNearest nearest;
  s_.n = std::min(s_.capacity, count_ - done_);
  if (options_.lines_in_memory && (s_.n = readings_that_fit(s_.n)) == 0) {
    end_ = RunEnd::write_failed;
    return false;
  }
  CTP_ASSERT(s_.n > 0 && s_.n <= s_.capacity);
  if (!read_readings(input_, s_, window, options_.trace, options_.to_the_end)) {
    errno = input_.error();
    end_ = errno == ENOMEM ? RunEnd::read_out_of_memory : RunEnd::read_failed;
    s_.n = 0;
    return false;
  }
  convert_times(s_);
  return true;
}

RunEnd run_windows(std::FILE* in, std::int64_t count, Window& w, const WindowUse& use,
                   OutcomeRecord& record, const RunOptions& options) {
  record = {};
  WindowReader reader(in, count, w, options);
  const RoundToNearest nearest;  // for use() too
  OutcomeRecord window;
  while (reader.next(window)) {
    record.add(window, reader.done() + 1);
    if (!use(w.series, window, reader.done())) return RunEnd::write_failed;
  }
  return reader.end();
}

RunEnd convert_readings(std::FILE* in, std::FILE* out, std::int64_t count, Window& w,
                        OutcomeRecord& record, const RunOptions& options) {
  double t0 = 0;
  auto write = [out, &t0, buffer = w.write_buffer](const ReadingSeries& window,
                                                   const OutcomeRecord&, std::int64_t done) {
    // Every line's elapsed time counts from the first reading of the first window.
    if (done == 0) t0 = window.time_s[0];
    return write_lines(out, window, t0, buffer);
  };
  return run_windows(in, count, w, write, record, options);
}

}  // namespace ctp
