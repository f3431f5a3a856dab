// "%lf" text of a double, byte for byte as printf writes it in the C locale: below 2^53 from
// the exact binary value, below 2^26 inline, a machine word at a time.
#pragma once

#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform.h"

namespace ctp {

// A sign, the 309 integer digits of the largest double, the point, six decimals, a NUL.
inline constexpr std::size_t lf_text_room = 1 + 309 + 1 + 6 + 1;

// Bytes put_lf and put_fixed may store past the end of the text they return.
inline constexpr std::size_t lf_store_past = 1;

// Writes v as printf("%lf", v) does in the C locale, into lf_text_room bytes at to. Returns
// the end of the text (no NUL); stores at most lf_store_past bytes past it.
char* put_lf(double v, char* to);

// Magnitudes below 2^fixed_whole_bits have at most eight integer digits, even rounded up.
inline constexpr int fixed_whole_bits = 26;
static_assert((std::uint64_t{1} << fixed_whole_bits) < 100'000'000);

// 10^6 < 2^million_bits.
inline constexpr int million_bits = 20;
static_assert(1'000'000 < (1 << million_bits));

// The four digits of every number below 10^4 as byte values, the first in the lowest byte.
inline constexpr auto four_digits = [] {
  std::array<std::uint32_t, 10000> table{};
  for (std::uint32_t x = 0; x < 10000; ++x)
    table[x] = x / 1000 | (x / 100 % 10) << 8 | (x / 10 % 10) << 16 | (x % 10) << 24;
  return table;
}();

// The eight digits of x < 10^8 as byte values, the first in the lowest byte.
inline std::uint64_t eight_digits(std::uint32_t x) {
  CTP_ASSERT(x < 100'000'000);
  return four_digits[x / 10000] | std::uint64_t{four_digits[x % 10000]} << 32;
}

// units + rest / 2^shift, ties to even (units has the parity of the millionths: 10^6 is even).
inline std::uint32_t round_to_even(std::uint64_t units, std::uint64_t rest, std::uint64_t half) {
  return static_cast<std::uint32_t>(units + (rest > half || (rest == half && (units & 1))));
}

// fraction * 10^6 / 2^shift, ties to even, for fraction < 2^53 and 44 < shift <= 74, in two
// 64-bit halves (32-bit machines have no 128-bit type).
inline std::uint32_t wide_millionths(std::uint64_t fraction, int shift) {
  CTP_ASSERT(fraction < exact_integer_bound && shift > 64 - million_bits && shift <= 74);
  const std::uint64_t low_part = (fraction & 0xffffffff) * 1000000;
  const std::uint64_t high_part = (fraction >> 32) * 1000000;
  const std::uint64_t lo = low_part + (high_part << 32);
  const std::uint64_t hi = (high_part >> 32) + (lo < low_part);
  auto bit = [&](int k) { return (k < 64 ? lo >> k : hi >> (k - 64)) & 1; };
  auto zero_below = [&](int k) {
    return k <= 64 ? (lo << (64 - k)) == 0 : lo == 0 && (hi << (128 - k)) == 0;
  };
  std::uint64_t units = shift < 64 ? lo >> shift | hi << (64 - shift) : hi >> (shift - 64);
  bool up = bit(shift - 1) && (!zero_below(shift - 1) || (units & 1));
  return static_cast<std::uint32_t>(units + up);
}

// The text of |v| < 2^fixed_whole_bits in words: a sign, up to eight digits, point and six.
struct FixedText {
  bool negative;
  int whole_length;
  std::uint64_t whole_text;  // the integer digits, the first in the lowest byte
  std::uint64_t point_text;  // '.' and six digits, then a NUL
};

// The integer part and the millionths of |v| < 2^53, ties to even on the exact value.
[[gnu::always_inline]] inline void split_millionths(std::uint64_t bits, std::uint64_t& whole,
                                                    std::uint32_t& millionths) {
  int exponent_bits = exponent_field(bits);
  CTP_ASSERT(exponent_bits <= double_exponent_bias + double_mantissa_bits);
  // |v| is m * 2^-shift exactly, with m < 2^53 and shift >= 0.
  std::uint64_t m = bits & ((std::uint64_t{1} << double_mantissa_bits) - 1);
  int shift = double_exponent_bias + double_mantissa_bits - 1;
  if (exponent_bits > 0) {
    m |= std::uint64_t{1} << double_mantissa_bits;
    shift = double_exponent_bias + double_mantissa_bits - exponent_bits;
  }
  whole = 0;
  millionths = 0;
  std::uint64_t fraction = m;  // the fraction is fraction / 2^shift
  if (shift < 64) {
    whole = m >> shift;
    fraction = m & ((std::uint64_t{1} << shift) - 1);
  }
  if (fraction == 0) {
  } else if (shift <= 64 - million_bits) {
    // fraction * 10^6 < 2^64.
    std::uint64_t scaled = fraction * 1000000;
    millionths = round_to_even(scaled >> shift, scaled & ((std::uint64_t{1} << shift) - 1),
                               std::uint64_t{1} << (shift - 1));
  } else if (shift <= double_mantissa_bits + 1 + million_bits) {
    // fraction * 10^6 < 2^73; from a shift of 74 on it rounds to 0.
    millionths = wide_millionths(fraction, shift);
  }
  if (millionths == 1000000) {
    ++whole;
    millionths = 0;
  }
}

// The integer part and millionths of |v| < 2^fixed_whole_bits from one product, or false
// where it cannot prove them. P = fl(|v| * 10^6) < 2^46 and R = (P + 2^52) - 2^52, the
// integer nearest P (the 2^52 rounding trick). Rounding is monotonic and R +- 1/2 are
// doubles, so |P - R| < 1/2 proves the exact product rounds to R. Not with x87 precision.
[[gnu::always_inline]] inline bool product_millionths(double v, std::uint64_t& whole,
                                                      std::uint32_t& millionths) {
#if FLT_EVAL_METHOD == 0
  const double a = std::fabs(v);
  CTP_ASSERT(a < 0x1p26);
  static_assert(fixed_whole_bits == 26 && million_bits == 20, "P < 2^46 < 2^52");
  const double P = a * 1e6;
  const double R = (P + 0x1p52) - 0x1p52;
  if (!(std::fabs(P - R) < 0.5)) return false;
  const std::uint64_t r = static_cast<std::uint64_t>(static_cast<std::int64_t>(R));
  whole = r / 1000000;
  millionths = static_cast<std::uint32_t>(r - whole * 1000000);
  if constexpr (debug_checks) {
    std::uint64_t exact_whole;
    std::uint32_t exact_millionths;
    split_millionths(std::bit_cast<std::uint64_t>(v), exact_whole, exact_millionths);
    CTP_ASSERT(whole == exact_whole && millionths == exact_millionths);
  }
  return true;
#else
  (void)v, (void)whole, (void)millionths;
  return false;
#endif
}

// The digits of x < 10^8 without leading zeros as text in a word, and their count.
inline std::uint64_t digits_text(std::uint32_t x, int& length) {
  std::uint64_t digits = eight_digits(x);
  int leading_zeros = std::countr_zero(digits | std::uint64_t{1} << 56) / 8;
  length = 8 - leading_zeros;
  return (digits | ascii_zeros) >> 8 * leading_zeros;
}

// The point and six decimals, then a NUL.
inline std::uint64_t point_text(std::uint32_t millionths) {
  std::uint64_t decimals = eight_digits(millionths) | ascii_zeros;  // "00dddddd"
  return (decimals & ~std::uint64_t{0xffff}) >> 8 | '.';
}

// Fills f for |v| < 2^fixed_whole_bits; false, filling nothing, for any other double.
[[gnu::always_inline]] inline bool fixed_text(double v, FixedText& f) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  if (exponent_field(bits) >= double_exponent_bias + fixed_whole_bits) return false;
  std::uint64_t whole;
  std::uint32_t millionths;
  if (!product_millionths(v, whole, millionths)) split_millionths(bits, whole, millionths);
  f.negative = bits >> 63;
  f.whole_text = digits_text(static_cast<std::uint32_t>(whole), f.whole_length);
  f.point_text = point_text(millionths);
  return true;
}

// Writes f at to, returning the end; stores at most lf_store_past bytes past it.
inline char* put_fixed(const FixedText& f, char* to) {
  CTP_ASSERT(f.whole_length >= 1 && f.whole_length <= 8);
  *to = '-';
  to += f.negative;
  put_word(to, f.whole_text);
  to += f.whole_length;
  put_word(to, f.point_text);
  return to + 7;
}

}  // namespace ctp
