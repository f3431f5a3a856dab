// The reference passes: fscanf and fprintf, nothing else.
#include "literal_passes.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

double plain_nan(double v) {
  return std::isnan(v) ? std::copysign(std::numeric_limits<double>::quiet_NaN(), v) : v;
}

bool print_field(std::FILE* out, double v) {
  if (is_no_value(v)) return std::fputs("nan", out) >= 0;
  return std::fprintf(out, "%lf", v) >= 0;
}

}  // namespace

bool literal_read_readings(std::FILE* in, ReadingSeries& s) {
  for (std::int64_t i = 0; i < s.n; ++i) {
    long YY = 0, MM = 0, DD = 0;
    double hh = 0, mm = 0, ss = 0, temp = 0;
    int items = 0;
    // Once a scan has met the end of the file, every later scan assigns nothing.
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

bool literal_write_lines(std::FILE* out, const ReadingSeries& s) {
  if (s.n <= 0) return true;
  const double t0 = s.time_s[0];
  for (std::int64_t i = 0; i < s.n; ++i) {
    double t = is_no_value(t0) || is_no_value(s.time_s[i]) ? no_value() : s.time_s[i] - t0;
    double p = is_no_value(s.temp[i])  ? no_value()
               : std::isnan(s.temp[i]) ? -s.temp[i]
                                       : -s.temp[i] * 1000;
    if (!is_no_value(t) && !is_no_value(p)) {
      if (std::fprintf(out, "%lf    %lf\n", t, p) < 0) return false;
    } else if (!print_field(out, t) || std::fputs("    ", out) < 0 || !print_field(out, p) ||
               std::fputc('\n', out) == EOF) {
      return false;
    }
  }
  return true;
}
