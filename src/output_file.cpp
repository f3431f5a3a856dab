// Write pass: one line per reading, elapsed seconds and the value times -1000.
#include <cmath>
#include <cstdio>

#include "reading_series.h"

namespace {

// Prints v as "%lf", or "nan" when it holds no value. Returns false on a write error.
bool print_field(std::FILE* out, double v) {
  if (is_no_value(v)) return std::fputs("nan", out) >= 0;
  return std::fprintf(out, "%lf", v) >= 0;
}

// The value negated, then times 1000. A NaN is only negated: compilers fold the negation
// into the constant, and a product keeps the sign of the NaN, so the result's sign would
// depend on the compiler.
double value_times_minus_1000(double temp) {
  if (is_no_value(temp)) return no_value();
  return std::isnan(temp) ? -temp : -temp * 1000;
}

}  // namespace

bool write_lines(std::FILE* out, const ReadingSeries& s) {
  if (s.n <= 0) return true;
  const double t0 = s.time_s[0];
  for (std::int64_t i = 0; i < s.n; ++i) {
    // Without a first time no line has an elapsed time.
    double t = is_no_value(t0) || is_no_value(s.time_s[i]) ? no_value() : s.time_s[i] - t0;
    double p = value_times_minus_1000(s.temp[i]);
    if (!print_field(out, t) || std::fputs("    ", out) < 0 || !print_field(out, p) ||
        std::fputc('\n', out) == EOF)
      return false;
  }
  return true;
}
