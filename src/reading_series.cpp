// Reservation of the series' storage.
#include "reading_series.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "output_file.h"
#include "reading_input.h"

namespace ctp {

namespace {

// Bytes of one reading across the eight columns.
constexpr std::int64_t bytes_per_reading = 3 * sizeof(std::int64_t) + 5 * sizeof(double);
static_assert(bytes_per_reading == 64);

// The passes' buffers, after the columns.
constexpr std::int64_t buffer_bytes =
    read_block_bytes + read_buffer_slack + write_block_bytes + write_buffer_slack;

}  // namespace

std::int64_t series_bytes(std::int64_t n) {
  if (n < 0) n = 0;
  if (n > (INT64_MAX - buffer_bytes) / bytes_per_reading) return INT64_MAX;
  return n * bytes_per_reading + buffer_bytes;
}

bool reserve_series(ReadingSeries& s, std::int64_t n) {
  if (n < 0) n = 0;
  const std::int64_t bytes = series_bytes(n);
  // INT64_MAX: past 64 bits; beyond SIZE_MAX: past a 32-bit address space.
  if (bytes == INT64_MAX || static_cast<std::uint64_t>(bytes) > SIZE_MAX) return false;
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
