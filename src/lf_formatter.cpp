// put_lf: the slower cases of "%lf" text, out of line.
#include "lf_formatter.h"

#include <cstdio>

namespace ctp {

namespace {

// Numbers of 2^53 and beyond, infinities and NaNs: printf itself. Rare in a logger's data.
[[gnu::cold, gnu::noinline]] char* put_lf_by_printf(double v, char* to) {
  int n = std::snprintf(to, lf_text_room, "%lf", v);
  return to + (n > 0 ? n : 0);
}

}  // namespace

char* put_lf(double v, char* to) {
  FixedText f;
  if (fixed_text(v, f)) return put_fixed(f, to);
  std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  if (exponent_field(bits) >= double_exponent_bias + double_mantissa_bits + 1)
    return put_lf_by_printf(v, to);
  std::uint64_t whole;
  std::uint32_t millionths;
  split_millionths(bits, whole, millionths);
  *to = '-';
  to += bits >> 63;
  // whole < 2^53 < 10^16: at most two groups of eight digits.
  static_assert(exact_integer_bound < 10'000'000'000'000'000);
  std::uint64_t high = whole / 100000000;
  std::uint32_t low = static_cast<std::uint32_t>(whole % 100000000);
  int length;
  std::uint64_t text = digits_text(high > 0 ? static_cast<std::uint32_t>(high) : low, length);
  put_word(to, text);
  to += length;
  if (high > 0) {
    text = eight_digits(low) | ascii_zeros;
    put_word(to, text);
    to += 8;
  }
  text = point_text(millionths);
  put_word(to, text);
  return to + 7;
}

}  // namespace ctp
