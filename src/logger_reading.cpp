// The general fast path: a reading of plain decimal text in any layout.
#include "logger_reading.h"

namespace ctp {

namespace {

// A plain decimal, the short form first.
bool any_plain_double(const char*& p, double& v) {
  return short_signed_decimal(p, v) || plain_double(p, v);
}

// Steps over the character c, which must come next.
bool literal(const char*& p, char c) {
  if (*p != c) return false;
  ++p;
  return true;
}

}  // namespace

[[gnu::noinline]] GeneralScan scan_general_reading(const char* p) {
  GeneralScan g{};
  Scanned& r = g.r;
  bool ok = skip_space(p) && plain_integer(p, r.YY, longest_year_digits) && literal(p, '-') &&
            plain_integer(p, r.MM) && static_cast<std::uint64_t>(r.MM) - 1 < 12 &&
            literal(p, '-') && plain_integer(p, r.DD, longest_day_digits) && is_space(*p) &&
            skip_space_in_line(p) && any_plain_double(p, r.hh) && literal(p, ':') &&
            any_plain_double(p, r.mm) && literal(p, ':') && any_plain_double(p, r.ss) &&
            is_space(*p) && skip_space_in_line(p) && any_plain_double(p, r.temp) && is_space(*p);
  g.at = p;
  g.ok = ok;
  return g;
}

}  // namespace ctp
