// Reservation of the series' storage.
#include "reading_series.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "memory_room.h"

namespace {

// Bytes of one reading across the eight columns.
constexpr std::int64_t bytes_per_reading = 3 * sizeof(std::int64_t) + 5 * sizeof(double);

// The passes' buffers, after the columns.
constexpr std::int64_t buffer_bytes =
    read_block_bytes + read_buffer_slack + write_block_bytes + write_buffer_slack;

}  // namespace

static_assert(bytes_per_reading == 64);

void SeriesStorage::operator()(unsigned char* p) const { munmap(p, bytes); }

std::int64_t run_bytes(std::int64_t n) {
  if (n < 0) n = 0;
  if (n > (INT64_MAX - buffer_bytes) / bytes_per_reading) return INT64_MAX;
  return n * bytes_per_reading + buffer_bytes;
}

bool reserve_series(ReadingSeries& s, std::int64_t n) {
  if (n < 0) n = 0;
  // With overcommit the allocator grants nearly any size and the run would be killed
  // later, part-way through; a series larger than the machine can never be filled.
  std::int64_t bytes = run_bytes(n);
  if (bytes > physical_memory_bytes()) return false;
  void* pages = mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return false;
  // The columns are had in huge pages, all at once: one call instead of a page fault for
  // every page. Kernels before 5.14 fault them lazily.
  madvise(pages, static_cast<std::size_t>(bytes), MADV_HUGEPAGE);
  if (n > 0 &&
      madvise(pages, static_cast<std::size_t>(n * bytes_per_reading), MADV_POPULATE_WRITE) != 0 &&
      errno != EINVAL) {
    munmap(pages, static_cast<std::size_t>(bytes));
    return false;
  }
  std::unique_ptr<unsigned char, SeriesStorage> storage(
      static_cast<unsigned char*>(pages), SeriesStorage{static_cast<std::size_t>(bytes)});
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
