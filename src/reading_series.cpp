// Reservation of the series' storage.
#include "reading_series.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "memory_room.h"
#include "platform.h"

namespace {

// Bytes of one reading across the eight columns.
constexpr std::int64_t bytes_per_reading = 3 * sizeof(std::int64_t) + 5 * sizeof(double);

// The passes' buffers, after the columns.
constexpr std::int64_t buffer_bytes =
    read_block_bytes + read_buffer_slack + write_block_bytes + write_buffer_slack;

// What the process may still grow by during a run: the C library's stream over the input
// and its buffer, stdio's own buffers, the stack.
constexpr std::int64_t process_growth_bytes = 8 << 20;

constexpr std::int64_t huge_page = 2 << 20;
// The least step in which the columns' pages are had.
constexpr std::int64_t populate_step_bytes = huge_page;

}  // namespace

static_assert(bytes_per_reading == 64);

void SeriesStorage::operator()(unsigned char* p) const { munmap(p, bytes); }

std::int64_t run_bytes(std::int64_t n) {
  if (n < 0) n = 0;
  if (n > (INT64_MAX - buffer_bytes) / bytes_per_reading) return INT64_MAX;
  return n * bytes_per_reading + buffer_bytes;
}

std::int64_t run_margin_bytes(std::int64_t bytes, std::int64_t room) {
  long cpus = sysconf(_SC_NPROCESSORS_CONF);
  std::int64_t charge_batches = (cpus > 0 ? cpus : 1) * 64 * 4096;
  return bytes / 512 + process_growth_bytes + charge_batches + room / 32;
}

bool reserve_series(ReadingSeries& s, std::int64_t n, std::int64_t also_needed) {
  if (n < 0) n = 0;
  // With overcommit the allocator grants nearly any size and the run would be killed
  // later, part-way through: the room is checked first, and again as the pages are had.
  std::int64_t bytes = run_bytes(n), room = memory_room_bytes();
  std::int64_t needed;
  if (__builtin_add_overflow(bytes, also_needed, &needed) ||
      __builtin_add_overflow(needed, run_margin_bytes(bytes, room), &needed) || needed > room)
    return false;
  void* pages = mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return false;
  std::unique_ptr<unsigned char, SeriesStorage> storage(
      static_cast<unsigned char*>(pages), SeriesStorage{static_cast<std::size_t>(bytes)});
  // The columns are had in huge pages, all at once, a step at a time: a page fault for
  // every page costs far more. Between steps, the room must still hold the rest, or
  // another program has taken it meanwhile and the pages go back.
  madvise(pages, static_cast<std::size_t>(bytes), MADV_HUGEPAGE);
  const std::int64_t step = std::max(populate_step_bytes, room / 128 / huge_page * huge_page);
  const std::int64_t columns = n * bytes_per_reading;
  for (std::int64_t done = 0; done < columns; done += step) {
    std::int64_t length = std::min(step, columns - done);
    if (madvise(storage.get() + done, static_cast<std::size_t>(length), MADV_POPULATE_WRITE) != 0) {
      if (errno == EINVAL) break;  // a kernel before 5.14: the pages come as they are used
      return false;
    }
    if (done + length < columns && memory_room_bytes() < needed - (done + length)) return false;
  }
  unsigned char* p = storage.get();
  auto column = [&p, n]<typename T>(T*& c) {
    c = reinterpret_cast<T*>(p);
    p += n * static_cast<std::int64_t>(sizeof(T));
  };
  column(s.YY);
  column(s.MM);
  column(s.DD);
  column(s.hh);
  column(s.mm);
  column(s.ss);
  column(s.time_s);
  column(s.temp);
  s.read_buffer = reinterpret_cast<char*>(p);
  s.write_buffer = s.read_buffer + read_block_bytes + read_buffer_slack;
  s.n = n;
  s.storage = std::move(storage);
  return true;
}
