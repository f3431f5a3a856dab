// Reservation of the series' storage.
#include "reading_series.h"

#include <unistd.h>

#include <cstdint>
#include <new>

namespace {

// Bytes of one reading across the eight columns.
constexpr std::int64_t bytes_per_reading = 3 * sizeof(std::int64_t) + 5 * sizeof(double);

// Physical memory of this machine in bytes, or 0 if the system does not say.
std::int64_t physical_memory() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  if (pages > INT64_MAX / page_size) return INT64_MAX;
  return static_cast<std::int64_t>(pages) * page_size;
}

}  // namespace

static_assert(bytes_per_reading == 64);

bool reserve_series(ReadingSeries& s, std::int64_t n) {
  if (n < 0) n = 0;
  std::int64_t limit = physical_memory();
  // With overcommit the allocator grants nearly any size and the run would be killed
  // later, part-way through; a series larger than the machine can never be filled.
  if (limit > 0 && n > limit / bytes_per_reading) return false;
  // One byte at least, so that an empty series still has valid column pointers.
  std::size_t bytes = static_cast<std::size_t>(n * bytes_per_reading) + 1;
  std::unique_ptr<unsigned char[]> storage(new (std::nothrow) unsigned char[bytes]);
  if (!storage) return false;
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
  s.n = n;
  s.storage = std::move(storage);
  return true;
}
