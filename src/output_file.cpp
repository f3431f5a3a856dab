// Write pass: one line per reading, elapsed seconds and the value times -1000.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fixed_point_text.h"
#include "reading_series.h"

namespace {

// The four decimal digits of every number below 10^4 as byte values 0 to 9, the most
// significant digit in the lowest byte.
constexpr auto four_digits = [] {
  std::array<std::uint32_t, 10000> table{};
  for (std::uint32_t x = 0; x < 10000; ++x)
    table[x] = x / 1000 | (x / 100 % 10) << 8 | (x / 10 % 10) << 16 | (x % 10) << 24;
  return table;
}();

// The eight decimal digits of x < 10^8 as byte values 0 to 9, the most significant digit
// in the lowest byte.
std::uint64_t eight_digits(std::uint32_t x) {
  return four_digits[x / 10000] | std::uint64_t{four_digits[x % 10000]} << 32;
}

constexpr std::uint64_t ascii_zeros = 0x3030303030303030;

// Texts are stored a word at a time, the first character in the lowest byte.
static_assert(std::endian::native == std::endian::little, "little-endian only");

__extension__ typedef unsigned __int128 u128;

// units plus rest / 2^shift rounded to nearest, ties to even, given half = 2^(shift - 1).
// The parity of units is that of the whole number of millionths, since 10^6 is even.
template <typename Word>
std::uint32_t round_to_even(std::uint64_t units, Word rest, Word half) {
  return static_cast<std::uint32_t>(units + (rest > half || (rest == half && (units & 1))));
}

// The text of a double below 2^26 in magnitude, as "%lf" writes it, in machine words:
// a sign, up to eight integer digits, and the point with six decimals.
struct FixedText {
  bool negative;
  int whole_length;
  std::uint64_t whole_text;  // the integer digits, the first in the lowest byte
  std::uint64_t point_text;  // '.' and six digits, then a NUL
};

// The integer part and the millionths of |v| < 2^53, rounded to nearest millionth, ties
// to even on the exact binary value, as printf rounds.
[[gnu::always_inline]] inline void split_millionths(std::uint64_t bits, std::uint64_t& whole,
                                                    std::uint32_t& millionths) {
  int exponent_bits = static_cast<int>(bits >> 52 & 0x7ff);
  // |v| is m * 2^-shift exactly, with m < 2^53 and shift >= 0.
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int shift = 1074;
  if (exponent_bits > 0) {
    m |= std::uint64_t{1} << 52;
    shift = 1075 - exponent_bits;
  }
  whole = 0;
  millionths = 0;
  std::uint64_t fraction = m;  // the fraction is fraction / 2^shift
  if (shift < 64) {
    whole = m >> shift;
    fraction = m & ((std::uint64_t{1} << shift) - 1);
  }
  if (fraction == 0) {
    // An integer: no decimals to round.
  } else if (shift <= 44) {
    // fraction * 10^6 < 2^64.
    std::uint64_t scaled = fraction * 1000000;
    millionths = round_to_even(scaled >> shift, scaled & ((std::uint64_t{1} << shift) - 1),
                               std::uint64_t{1} << (shift - 1));
  } else if (shift < 74) {
    // fraction * 10^6 < 2^73; from a shift of 74 on it is below half a unit: 0.
    u128 scaled = static_cast<u128>(fraction) * 1000000;
    millionths = round_to_even(static_cast<std::uint64_t>(scaled >> shift),
                               scaled & ((static_cast<u128>(1) << shift) - 1),
                               static_cast<u128>(1) << (shift - 1));
  }
  if (millionths == 1000000) {
    ++whole;
    millionths = 0;
  }
}

// The digits of x < 10^8 without leading zeros, as text in a word, and their count.
std::uint64_t digits_text(std::uint32_t x, int& length) {
  std::uint64_t digits = eight_digits(x);
  // Leading zeros are the low zero bytes; zero itself keeps its last digit.
  int leading_zeros = std::countr_zero(digits | std::uint64_t{1} << 56) / 8;
  length = 8 - leading_zeros;
  return (digits | ascii_zeros) >> 8 * leading_zeros;
}

// The point and the six decimals, then a NUL.
std::uint64_t point_text(std::uint32_t millionths) {
  std::uint64_t decimals = eight_digits(millionths) | ascii_zeros;  // "00dddddd"
  return (decimals & ~std::uint64_t{0xffff}) >> 8 | '.';
}

// Fills f for |v| < 2^26, whose integer part has at most eight digits even once rounded
// up. False, filling nothing, for any other double.
[[gnu::always_inline]] inline bool fixed_text(double v, FixedText& f) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  if ((bits >> 52 & 0x7ff) >= 1023 + 26) return false;
  std::uint64_t whole;
  std::uint32_t millionths;
  split_millionths(bits, whole, millionths);
  f.negative = bits >> 63;
  f.whole_text = digits_text(static_cast<std::uint32_t>(whole), f.whole_length);
  f.point_text = point_text(millionths);
  return true;
}

// Writes f. Stores up to 16 bytes at to.
char* put_fixed(const FixedText& f, char* to) {
  *to = '-';
  to += f.negative;
  std::memcpy(to, &f.whole_text, 8);
  to += f.whole_length;
  std::memcpy(to, &f.point_text, 8);
  return to + 7;
}

// Numbers of 2^53 and beyond, infinities and NaNs: printf itself. Rare in a logger's data.
[[gnu::cold, gnu::noinline]] char* put_lf_by_printf(double v, char* to) {
  int n = std::snprintf(to, lf_text_room, "%lf", v);
  return to + (n > 0 ? n : 0);
}

// The value negated, then times 1000. A NaN is only negated: compilers fold the negation
// into the constant, and a product keeps the sign of the NaN, so the result's sign would
// depend on the compiler.
double value_times_minus_1000(double temp) {
  if (is_no_value(temp)) return no_value();
  return std::isnan(temp) ? -temp : -temp * 1000;
}

// Writes a field: v as "%lf", or "nan" when it holds no value.
char* put_field(double v, char* to) {
  if (is_no_value(v)) {
    std::memcpy(to, "nan", 3);
    return to + 3;
  }
  return put_lf(v, to);
}

// A line, and the bytes that the last digits written may store past it.
constexpr std::size_t longest_line = 2 * (lf_text_room - 1) + 5 + 8;
static_assert(longest_line <= write_buffer_slack, "a line must fit after a block not yet full");

}  // namespace

char* put_lf(double v, char* to) {
  FixedText f;
  if (fixed_text(v, f)) return put_fixed(f, to);
  std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  if ((bits >> 52 & 0x7ff) >= 1023 + 53) return put_lf_by_printf(v, to);
  std::uint64_t whole;
  std::uint32_t millionths;
  split_millionths(bits, whole, millionths);
  *to = '-';
  to += bits >> 63;
  // whole < 2^53 < 10^16: at most two groups of eight digits.
  std::uint64_t high = whole / 100000000;
  std::uint32_t low = static_cast<std::uint32_t>(whole % 100000000);
  int length;
  std::uint64_t text = digits_text(high > 0 ? static_cast<std::uint32_t>(high) : low, length);
  std::memcpy(to, &text, 8);
  to += length;
  if (high > 0) {
    text = eight_digits(low) | ascii_zeros;
    std::memcpy(to, &text, 8);
    to += 8;
  }
  text = point_text(millionths);
  std::memcpy(to, &text, 8);
  return to + 7;
}

bool write_lines(std::FILE* out, const ReadingSeries& s) {
  if (s.n <= 0) return true;
  char* const start = s.write_buffer;
  char* to = start;
  const double t0 = s.time_s[0];
  const double* time_s = s.time_s;
  const double* temp = s.temp;
  for (std::int64_t i = 0; i < s.n; ++i) {
    // The common line: both texts are worked out side by side, then stored. Any NaN, the
    // marker of no value among them, fails fixed_text and takes the careful way.
    FixedText ft, fp;
    if (fixed_text(time_s[i] - t0, ft) && fixed_text(-temp[i] * 1000, fp)) {
      to = put_fixed(ft, to);
      std::memcpy(to, "    ", 4);
      to = put_fixed(fp, to + 4);
    } else {
      // Without a first time no line has an elapsed time.
      double t = is_no_value(t0) || is_no_value(time_s[i]) ? no_value() : time_s[i] - t0;
      to = put_field(t, to);
      std::memcpy(to, "    ", 4);
      to = put_field(value_times_minus_1000(temp[i]), to + 4);
    }
    *to++ = '\n';
    if (to - start >= static_cast<std::ptrdiff_t>(write_block_bytes)) {
      std::size_t n = static_cast<std::size_t>(to - start);
      if (std::fwrite(start, 1, n, out) != n) return false;
      to = start;
    }
  }
  std::size_t n = static_cast<std::size_t>(to - start);
  return std::fwrite(start, 1, n, out) == n;
}
