// The series' columns, laid out one after another.
#include "reading_series.h"

#include <cstdint>

#include "platform.h"

namespace ctp {

unsigned char* place_columns(ReadingSeries& s, unsigned char* at, std::int64_t n) {
  CTP_ASSERT(n >= 0);
  auto column = [&at, n]<typename T>(T*& c) {
    c = reinterpret_cast<T*>(at);
    at += n * static_cast<std::int64_t>(sizeof(T));
  };
  column(s.YY);
  column(s.MM);
  column(s.DD);
  column(s.hh);
  column(s.mm);
  column(s.ss);
  column(s.time_s);
  column(s.temp);
  s.n = s.capacity = n;
  return at;
}

}  // namespace ctp
