// Reservation of the series' storage.
#include "reading_series.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "memory_room.h"

namespace ctp {

namespace {

// Bytes of one reading across the eight columns.
constexpr std::int64_t bytes_per_reading = 3 * sizeof(std::int64_t) + 5 * sizeof(double);
static_assert(bytes_per_reading == 64);

// The passes' buffers, after the columns.
constexpr std::int64_t buffer_bytes =
    read_block_bytes + read_buffer_slack + write_block_bytes + write_buffer_slack;

}  // namespace

bool reserve_series(ReadingSeries& s, std::int64_t n, std::int64_t also_needed) {
  if (n < 0) n = 0;
  // With overcommit the allocator grants nearly any size, and the run would be killed
  // later, part-way through: the room is checked first.
  if (n > (INT64_MAX - buffer_bytes) / bytes_per_reading) return false;
  const std::int64_t bytes = n * bytes_per_reading + buffer_bytes;
  std::int64_t needed;
  if (__builtin_add_overflow(bytes, also_needed, &needed) ||
      __builtin_add_overflow(needed, process_growth_bytes, &needed) || needed > memory_room_bytes())
    return false;
  if (static_cast<std::uint64_t>(bytes) > SIZE_MAX) return false;  // a 32-bit address space
  std::unique_ptr<unsigned char[]> storage(
      new (std::nothrow) unsigned char[static_cast<std::size_t>(bytes)]);
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
  s.read_buffer = reinterpret_cast<char*>(p);
  s.write_buffer = s.read_buffer + read_block_bytes + read_buffer_slack;
  s.n = s.capacity = n;
  s.storage = std::move(storage);
  return true;
}

}  // namespace ctp
