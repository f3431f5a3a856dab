// Read pass: scans the readings from the input stream into the series.
#include <cmath>
#include <cstdio>
#include <limits>

#include "reading_series.h"

namespace {

// The payload of a NaN read from the input is dropped, keeping its sign, so that no
// reading can pose as no_value(). Output shows only the sign of a NaN, never its payload.
double plain_nan(double v) {
  return std::isnan(v) ? std::copysign(std::numeric_limits<double>::quiet_NaN(), v) : v;
}

}  // namespace

bool read_readings(std::FILE* in, ReadingSeries& s) {
  static_assert(sizeof(long) == sizeof(std::int64_t), "%ld must scan a 64-bit integer");
  for (std::int64_t i = 0; i < s.n; ++i) {
    long YY = 0, MM = 0, DD = 0;
    double hh = 0, mm = 0, ss = 0, temp = 0;
    int items = 0;  // how many of the seven items this scan assigned, in order
    // Past the end of the file every scan assigns nothing, so the remaining scans are
    // skipped rather than made.
    if (!std::feof(in)) {
      items = std::fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", &YY, &MM, &DD, &hh, &mm, &ss, &temp);
      if (items < 7 && std::ferror(in)) return false;
    }
    s.YY[i] = items >= 1 ? YY : 0;
    s.MM[i] = items >= 2 ? MM : 0;
    s.DD[i] = items >= 3 ? DD : 0;
    s.hh[i] = items >= 4 ? plain_nan(hh) : no_value();
    s.mm[i] = items >= 5 ? plain_nan(mm) : no_value();
    s.ss[i] = items >= 6 ? plain_nan(ss) : no_value();
    s.temp[i] = items >= 7 ? plain_nan(temp) : no_value();
  }
  return true;
}
