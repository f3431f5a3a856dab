// The general fast path: a reading of plain decimal text in any layout.
#include "decimal_scanners.h"

#include <fast_float/fast_float.h>

#include <cmath>

namespace ctp {

// An optional sign and 1 to digits decimal digits: a value "%ld" reads the same in every
// version of the C library, and far from overflow.
static bool plain_integer(const char*& text, std::int64_t& v, int digits = longest_integer_digits) {
  const char* p = text;
  bool negative = take_sign(p);
  const char* start = p;
  std::uint64_t x = 0;
  while (is_digit(*p) && p - start <= digits) x = x * 10 + static_cast<unsigned>(*p++ - '0');
  text = p;
  if (p == start || p - start > digits) return false;
  v = negative ? -static_cast<std::int64_t>(x) : static_cast<std::int64_t>(x);
  return true;
}

// Without an exponent, a mantissa of at most 2^53 is an exact double, and so is the power
// of ten that scales it: one division rounds the quotient correctly, as strtod does. Any
// other form goes to fast_float, which rounds every decimal correctly too.
bool plain_double(const char*& text, double& v) {
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
  if (whole == 0 || whole + fraction > longest_decimal_digits || p[-1] == '.') return false;
  bool exponent = *p == 'e' || *p == 'E';
  if (exponent) {
    // An exponent marker without digits is read differently by fscanf and strtod.
    ++p;
    if (*p == '-' || *p == '+') ++p;
    const char* digits = p;
    while (is_digit(*p) && p - digits <= longest_exponent_digits) ++p;
    text = p;
    if (p == digits || p - digits > longest_exponent_digits) return false;
  }
  if (exponent || m > exact_integer_bound) {
    double x;
    auto parsed = fast_float::from_chars(start, p, x);
    if (parsed.ptr != p || !(std::fabs(x) < fast_double_bound)) return false;
    v = negative ? -x : x;
    return true;
  }
  double x = static_cast<double>(m);
  if (fraction > 0) x /= exact_powers_of_ten[fraction];
  v = negative ? -x : x;
  return true;
}

ShortLayout short_layout(const char* text, int length) {
  ShortLayout l;
  // The byte after the text must fall within the word.
  if (length < 1 || length >= static_cast<int>(sizeof(std::uint64_t))) return l;
  l.digits = l.fixed = l.fixed_text = 0;
  int whole = 0, fraction = 0, sign = text[0] == '-' || text[0] == '+';
  for (int i = 0; i <= length; ++i) {
    const std::uint64_t byte = std::uint64_t{0xff} << 8 * i;
    const char c = text[i];
    if (i < length && is_digit(c)) {
      l.digits |= byte;
      if (fraction == 0 && i == sign + whole) {
        l.whole |= byte;
        ++whole;
      } else {
        l.fraction |= byte >> 8;
        ++fraction;
      }
    } else {
      l.fixed |= byte;
      l.fixed_text |= std::uint64_t{static_cast<unsigned char>(c ^ '0')} << 8 * i;
    }
  }
  CTP_ASSERT(whole >= 1 && sign + whole + fraction <= 7);
  l.shift = 8 * (8 - sign - whole - fraction);
  l.length = length;
  l.sign = text[0] == '-' ? std::uint64_t{1} << 63 : 0;
  l.scale = exact_powers_of_ten[fraction];
  return l;
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
