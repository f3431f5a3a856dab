// The general fast path: a reading of plain decimal text in any layout.
#include "plain_text.h"

// An optional sign and 1 to longest_integer_digits decimal digits: a value "%ld" reads the
// same in every version of the C library, and far from overflow.
static bool plain_integer(const char*& text, long& v) {
  const char* p = text;
  bool negative = take_sign(p);
  const char* start = p;
  std::uint64_t x = 0;
  while (is_digit(*p) && p - start <= longest_integer_digits)
    x = x * 10 + static_cast<unsigned>(*p++ - '0');
  text = p;
  if (p == start || p - start > longest_integer_digits) return false;
  v = negative ? -static_cast<long>(x) : static_cast<long>(x);
  return true;
}

// An optional sign, digits and an optional point followed by digits, at most
// longest_decimal_digits digits in all, that are an integer of at most 2^53 scaled by a
// power of ten. Both are exact
// doubles, so one division rounds the quotient correctly, as strtod does. Anything that
// might continue the number (an exponent, a hexadecimal prefix) is left to the caller,
// which accepts only a separator after it.
static bool plain_double(const char*& text, double& v) {
  const char* p = text;
  bool negative = take_sign(p);
  const char* start = p;
  std::uint64_t m = 0;
  while (is_digit(*p) && p - start <= longest_decimal_digits)
    m = m * 10 + static_cast<unsigned>(*p++ - '0');
  std::ptrdiff_t whole = p - start, fraction = 0;
  if (*p == '.' && whole > 0) {
    const char* first = ++p;
    while (is_digit(*p) && p - first + whole <= longest_decimal_digits)
      m = m * 10 + static_cast<unsigned>(*p++ - '0');
    fraction = p - first;
  }
  text = p;
  if (whole == 0 || whole + fraction > longest_decimal_digits || p[-1] == '.' ||
      m > exact_integer_bound)
    return false;
  double x = static_cast<double>(m);
  if (fraction > 0) x /= exact_powers_of_ten[fraction];
  v = negative ? -x : x;
  return true;
}

// A plain decimal, trying the short form first.
static bool any_plain_double(const char*& p, double& v) {
  return short_signed_decimal(p, v) || plain_double(p, v);
}

// Steps over the character c, which must come next.
static bool literal(const char*& p, char c) {
  if (*p != c) return false;
  ++p;
  return true;
}

[[gnu::noinline]] GeneralScan scan_general_reading(const char* p) {
  GeneralScan g{};
  Scanned& r = g.r;
  bool ok = skip_space(p) && plain_integer(p, r.YY) && literal(p, '-') && plain_integer(p, r.MM) &&
            literal(p, '-') && plain_integer(p, r.DD) && is_space(*p) && skip_space(p) &&
            any_plain_double(p, r.hh) && literal(p, ':') && any_plain_double(p, r.mm) &&
            literal(p, ':') && any_plain_double(p, r.ss) && is_space(*p) && skip_space(p) &&
            any_plain_double(p, r.temp) && is_space(*p);
  g.end = {p, ok};
  return g;
}
