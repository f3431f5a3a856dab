// Number readers over text that ends in a NUL, exactly as strtod and "%ld" read it within
// their limits; past a limit a reader gives up, and the text goes to the C library.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "platform.h"

namespace ctp {

inline constexpr int longest_integer_digits = 18;  // far from the overflow "%ld" saturates
inline constexpr int longest_decimal_digits = 19;  // both sides of the point: 10^19 < 2^64
inline constexpr int longest_exponent_digits = 4;  // beyond every double's range already
inline constexpr double fast_double_bound = 1e300;
static_assert(longest_decimal_digits < 20, "10^20 exceeds 2^64: the digits would wrap");

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

inline unsigned byte_of(std::uint64_t w, int i) {
  return static_cast<unsigned>(w >> (8 * i) & 0xff);
}

// Steps over an optional sign; true for a minus.
inline bool take_sign(const char*& p) {
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  return negative;
}

// Adds up to limit + 1 digits at p to m (one more shows a longer run); returns how many.
inline std::ptrdiff_t accumulate_digits(const char*& p, std::uint64_t& m, std::ptrdiff_t limit) {
  const char* const start = p;
  while (is_digit(*p) && p - start <= limit) m = m * 10 + static_cast<unsigned>(*p++ - '0');
  return p - start;
}

// Powers of ten that a double holds exactly.
inline constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                                 1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                                 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
static_assert(std::size(exact_powers_of_ten) > longest_decimal_digits);

// Bit 7 of each byte of t (text xor '0') that is no digit: adding 0x76 sets it above 9
// (Bit Twiddling Hacks, "a byte greater than n"). A byte from 0x8a carries into the next,
// so only the bytes up to the first non-digit are sure.
inline std::uint64_t non_digit_bytes(std::uint64_t t) {
  return ((t + every_byte(0x76)) | t) & every_byte(0x80);
}

// Each byte of d (digit values) becomes ten times itself plus the next: two-digit numbers.
inline std::uint64_t digit_pairs(std::uint64_t d) { return (d * (10 * 256 + 1)) >> 8; }

// The number of the eight digit values in d, the first lowest (Kholdstare, "Faster Integer
// Parsing").
inline std::uint32_t eight_digit_value(std::uint64_t d) {
  d = digit_pairs(d);
  d = ((d & 0x00ff00ff00ff00ff) * (100 * 65536 + 1)) >> 16;
  return static_cast<std::uint32_t>(((d & 0x0000ffff0000ffff) * (10000 * (1ull << 32) + 1)) >> 32);
}

// m / 10^fraction for m <= 2^53: both exact, so one division rounds as strtod does
// (Clinger's fast path).
inline double exact_quotient(std::uint64_t m, std::ptrdiff_t fraction) {
  CTP_ASSERT(m <= exact_integer_bound && fraction >= 0 && fraction <= longest_decimal_digits);
  double x = static_cast<double>(m);
  if (fraction > 0) x /= exact_powers_of_ten[fraction];
  return x;
}

// A plain decimal of at most seven digits, in one word with the byte after it; false, with
// p unmoved, for anything else.
[[gnu::always_inline]] inline bool short_decimal(const char*& p, double& v) {
  std::uint64_t t = word_at(p) ^ ascii_zeros;
  // Only the first two non-digits count, and the first is then a point, which carries none.
  std::uint64_t other = non_digit_bytes(t);
  if (other == 0) return false;
  int whole = std::countr_zero(other) / 8;
  if (whole == 0) return false;
  std::uint64_t digits = t & ((std::uint64_t{1} << 8 * whole) - 1);
  int fraction = 0;
  if (byte_of(t, whole) == ('.' ^ '0')) {
    other &= other - 1;
    if (other == 0) return false;
    fraction = std::countr_zero(other) / 8 - whole - 1;
    if (fraction == 0) return false;
    std::uint64_t fraction_digits = t >> 8 * (whole + 1) & ((std::uint64_t{1} << 8 * fraction) - 1);
    digits |= fraction_digits << 8 * whole;
  }
  int count = whole + fraction;
  CTP_ASSERT(count >= 1 && count <= 7);
  v = exact_quotient(eight_digit_value(digits << 8 * (8 - count)), fraction);
  p += count + (fraction > 0);
  return true;
}

// A short_decimal with an optional sign.
[[gnu::always_inline]] inline bool short_signed_decimal(const char*& text, double& v) {
  const char* p = text;
  bool negative = take_sign(p);
  if (!short_decimal(p, v)) return false;
  if (negative) v = -v;
  text = p;
  return true;
}

// An optional sign and 1 to digits digits, as "%ld" reads it; on failure, text is where it
// gave up.
inline bool plain_integer(const char*& text, std::int64_t& v, int digits = longest_integer_digits) {
  const char* p = text;
  bool negative = take_sign(p);
  std::uint64_t x = 0;
  const std::ptrdiff_t count = accumulate_digits(p, x, digits);
  text = p;
  if (count == 0 || count > digits) return false;
  CTP_ASSERT(x < std::uint64_t{1} << 63);
  v = negative ? -static_cast<std::int64_t>(x) : static_cast<std::int64_t>(x);
  return true;
}

// A signed plain decimal within the limits above, as strtod reads it; the caller refuses
// what might continue it (a hexadecimal prefix). On failure, text is where it gave up.
bool plain_double(const char*& text, double& v);

// Where a short decimal's sign, digits and point stand in a word, with the white-space byte
// after it: a value in the same layout is checked in one step. The default matches nothing.
struct ShortLayout {
  std::uint64_t digit_mask = 0xff;     // 0xff in each byte that must hold a digit
  std::uint64_t literal_mask = 0xff;   // 0xff in each byte that must be literal_bytes'
  std::uint64_t literal_bytes = 0xff;  // the sign, the point and the byte after, xor '0'
  std::uint64_t whole_mask = 0;        // the digits before the point
  std::uint64_t fraction_mask = 0;     // the digits after it, one byte lower
  int shift = 0;                       // moves the digits to the word's top bytes
  int length = 0;                      // bytes of the text
  std::uint64_t sign_bit = 0;          // the sign bit of the value
  double scale = 1;                    // 10 to the number of digits after the point
};

// The layout of the short decimal at text, length bytes, and of the byte after it.
ShortLayout short_layout(const char* text, int length);

// A short decimal in layout l followed by l's white-space byte, read as l's own text was;
// false, with p unmoved, for any other text.
[[gnu::always_inline]] inline bool decimal_in_layout(const char*& p, const ShortLayout& l,
                                                     double& v) {
  std::uint64_t t = word_at(p) ^ ascii_zeros;
  if (((non_digit_bytes(t) & l.digit_mask) | ((t ^ l.literal_bytes) & l.literal_mask)) != 0)
    return false;
  std::uint64_t digits = (t & l.whole_mask) | (t >> 8 & l.fraction_mask);
  double x = static_cast<double>(eight_digit_value(digits << l.shift)) / l.scale;
  v = std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) | l.sign_bit);
  CTP_ASSERT(l.length >= 1 && l.length < 8);
  if constexpr (debug_checks) {
    // The layout reads what the short decimal reader reads there, to the bit.
    const char* q = p;
    double w;
    CTP_ASSERT(short_signed_decimal(q, w) && q == p + l.length &&
               std::bit_cast<std::uint64_t>(w) == std::bit_cast<std::uint64_t>(v));
  }
  p += l.length;
  return true;
}

}  // namespace ctp
