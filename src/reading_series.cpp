// Reservation of the series' storage.
#include "reading_series.h"

#include <sys/mman.h>
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

void SeriesStorage::operator()(unsigned char* p) const { munmap(p, bytes); }

bool reserve_series(ReadingSeries& s, std::int64_t n) {
  if (n < 0) n = 0;
  std::int64_t limit = physical_memory();
  // With overcommit the allocator grants nearly any size and the run would be killed
  // later, part-way through; a series larger than the machine can never be filled.
  if (limit > 0 && n > limit / bytes_per_reading) return false;
  // One page at least, so that an empty series still has valid column pointers. The
  // pages come straight from the system, in huge pages where it offers them: a long series
  // then costs a few thousand page faults instead of hundreds of thousands.
  std::size_t bytes = static_cast<std::size_t>(n * bytes_per_reading) + 1;
  void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return false;
  madvise(pages, bytes, MADV_HUGEPAGE);
  std::unique_ptr<unsigned char, SeriesStorage> storage(static_cast<unsigned char*>(pages),
                                                        SeriesStorage{bytes});
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
