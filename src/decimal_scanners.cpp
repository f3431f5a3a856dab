// The number readers that are not kept inline.
#include "decimal_scanners.h"

#include <fast_float/fast_float.h>

#include <cmath>

namespace ctp {

// Without an exponent, a mantissa of at most 2^53 is read by exact_quotient. Any other form
// goes to fast_float, which rounds every decimal correctly too.
bool plain_double(const char*& text, double& v) {
  const char* p = text;
  bool negative = take_sign(p);
  const char* const start = p;
  std::uint64_t m = 0;
  const std::ptrdiff_t whole = accumulate_digits(p, m, longest_decimal_digits);
  std::ptrdiff_t fraction = 0;
  if (*p == '.' && whole > 0) fraction = accumulate_digits(++p, m, longest_decimal_digits - whole);
  text = p;
  if (whole == 0 || whole + fraction > longest_decimal_digits || p[-1] == '.') return false;
  bool exponent = *p == 'e' || *p == 'E';
  if (exponent) {
    // A marker without digits is read differently by fscanf and strtod.
    take_sign(++p);
    std::uint64_t ignored = 0;
    const std::ptrdiff_t digits = accumulate_digits(p, ignored, longest_exponent_digits);
    text = p;
    if (digits == 0 || digits > longest_exponent_digits) return false;
  }
  double x;
  if (exponent || m > exact_integer_bound) {
    auto parsed = fast_float::from_chars(start, p, x);
    if (parsed.ptr != p || !(std::fabs(x) < fast_double_bound)) return false;
  } else {
    x = exact_quotient(m, fraction);
  }
  v = negative ? -x : x;
  return true;
}

ShortLayout short_layout(const char* text, int length) {
  ShortLayout l;
  // The byte after the text must fall within the word.
  if (length < 1 || length >= static_cast<int>(sizeof(std::uint64_t))) return l;
  l.digit_mask = l.literal_mask = l.literal_bytes = 0;
  int whole = 0, fraction = 0, sign = text[0] == '-' || text[0] == '+';
  for (int i = 0; i <= length; ++i) {
    const std::uint64_t byte = std::uint64_t{0xff} << 8 * i;
    const char c = text[i];
    if (i < length && is_digit(c)) {
      l.digit_mask |= byte;
      if (fraction == 0 && i == sign + whole) {
        l.whole_mask |= byte;
        ++whole;
      } else {
        l.fraction_mask |= byte >> 8;
        ++fraction;
      }
    } else {
      l.literal_mask |= byte;
      l.literal_bytes |= std::uint64_t{static_cast<unsigned char>(c ^ '0')} << 8 * i;
    }
  }
  CTP_ASSERT(whole >= 1 && sign + whole + fraction <= 7);
  l.shift = 8 * (8 - sign - whole - fraction);
  l.length = length;
  l.sign_bit = text[0] == '-' ? std::uint64_t{1} << 63 : 0;
  l.scale = exact_powers_of_ten[fraction];
  return l;
}

}  // namespace ctp
