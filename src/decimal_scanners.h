// The fast path's scanners: plain decimal text and the logger's timestamp, read straight
// from a buffer that ends in a NUL. Within their limits every C library reads the text
// alike and these read it exactly as fscanf would; past a limit a scanner gives up, and
// the reading goes to the C library itself.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "platform.h"

namespace ctp {

// The limits of the fast path.
inline constexpr int longest_space_run = 64;       // white-space characters in one run
inline constexpr int longest_integer_digits = 18;  // far from the overflow "%ld" saturates
// Digits of a plain double, both sides of the point: 10^19 < 2^64, so they never wrap.
inline constexpr int longest_decimal_digits = 19;
inline constexpr int longest_exponent_digits = 4;  // beyond every double's range already
// A year of at most 8 digits, a day of at most 12, time fields below 10^300: with a month
// of the year, every reading the fast path takes whole has a finite time (time_fault).
inline constexpr int longest_year_digits = 8, longest_day_digits = 12;
inline constexpr double fast_double_bound = 1e300;
static_assert(4 * 3600 * fast_double_bound < 1.7e308, "the time's additions stay finite");

// The most text the fast path looks at from a reading's start before it gives up. Each
// item may read one character past its limit, to see that it was crossed: three runs of
// white space; year, month and day with a sign; hour, minute, second and value with a
// sign, a point and an exponent; the four separators; the white space after the value.
inline constexpr std::size_t longest_plain_reading =
    3 * (longest_space_run + 1) + 3 * (1 + longest_integer_digits + 1) +
    4 * (1 + longest_decimal_digits + 1 + 2 + longest_exponent_digits + 1) + 4 + 1;

// Bytes the scanners may look at past the NUL that ends the text: the timestamp reads
// three words from a position no further than the NUL (a short decimal reads one).
inline constexpr std::size_t timestamp_words = 3;
inline constexpr std::size_t word_reach = timestamp_words * sizeof(std::uint64_t);

static_assert(longest_decimal_digits < 20, "10^20 exceeds 2^64: the digits would wrap");

// One reading as the scan leaves it: the first `items` fields assigned, in format order.
struct Scanned {
  std::int64_t YY, MM, DD;
  double hh, mm, ss, temp;
  int items;
};

inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Byte i of word w.
inline unsigned byte_of(std::uint64_t w, int i) {
  return static_cast<unsigned>(w >> (8 * i) & 0xff);
}

// Skips a run of at most longest_space_run white-space characters; false for a longer one.
inline bool skip_space(const char*& text) {
  const char* p = text;
  // Mostly one blank, tab or line feed, or none.
  if (!is_space(p[0])) return true;
  if (!is_space(p[1])) {
    text = p + 1;
    return true;
  }
  while (is_space(*p) && p - text <= longest_space_run) ++p;
  bool ok = p - text <= longest_space_run;
  text = p;
  return ok;
}

// White space other than a line feed, in one test of a mask.
inline bool is_space_in_line(char c) {
  constexpr std::uint64_t in_line = std::uint64_t{1} << ' ' | std::uint64_t{1} << '\t' |
                                    std::uint64_t{1} << '\v' | std::uint64_t{1} << '\f' |
                                    std::uint64_t{1} << '\r';
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && (in_line >> byte & 1);
}

// skip_space within a line: false also for a run that holds a line feed. The fast path
// takes a reading whole only within its line; one whose items cross a line is lost, and the
// C library's scan says what it holds.
[[gnu::always_inline]] inline bool skip_space_in_line(const char*& text) {
  const char* p = text;
  if (!is_space(p[0])) return true;
  if (!is_space(p[1])) {
    text = p + 1;
    return p[0] != '\n';
  }
  // Blanks first, the common run, in one test each.
  while (*p == ' ' && p - text <= longest_space_run) ++p;
  while (is_space_in_line(*p) && p - text <= longest_space_run) ++p;
  bool ok = *p != '\n' && p - text <= longest_space_run;
  text = p;
  return ok;
}

// Steps over an optional sign; true for a minus.
inline bool take_sign(const char*& p) {
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  return negative;
}

// Powers of ten that a double holds exactly.
inline constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                                 1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                                 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};

static_assert(std::size(exact_powers_of_ten) > longest_decimal_digits);
static_assert(exact_powers_of_ten[longest_year_digits] * 366 * 86400 +
                      exact_powers_of_ten[longest_day_digits] * 86400 <
                  9.2e18,
              "the date's seconds fit 64 bits");

// The number of the eight digits d (values 0 to 9, the first in the lowest byte), in three
// multiplications that each combine neighbours (Kholdstare, "Faster Integer Parsing"):
// 2561 = 10 * 2^8 + 1 makes every byte ten times its digit plus the next one's (pairs, in
// every other byte); 6553601 = 100 * 2^16 + 1 does the same to pairs (groups of four, in
// every other 16 bits); 42949672960001 = 10000 * 2^32 + 1 joins the two groups of four.
// The shifts drop what the products carry into the lower lanes.
inline std::uint32_t eight_digit_value(std::uint64_t d) {
  d = (d * 2561) >> 8;
  d = ((d & 0x00ff00ff00ff00ff) * 6553601) >> 16;
  return static_cast<std::uint32_t>(((d & 0x0000ffff0000ffff) * 42949672960001) >> 32);
}

// A plain decimal that fits in eight bytes with the byte after it, "d", "dd.d" and the like
// (at most seven digits), read a word at a time. False, with p unmoved, for anything else.
[[gnu::always_inline]] inline bool short_decimal(const char*& p, double& v) {
  constexpr std::uint64_t high_bits = 0x8080808080808080;
  std::uint64_t t = word_at(p) ^ ascii_zeros;
  // Bit 7 of each byte that is not a digit. A byte after the first non-digit may be
  // marked wrongly by a carry, but only the first two non-digits are used, and the first
  // can only be a point then, which carries nothing.
  std::uint64_t other = ((t + 0x7676767676767676) | t) & high_bits;
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
  CTP_ASSERT(count <= 7);
  std::uint32_t m = eight_digit_value(digits << 8 * (8 - count));
  double x = static_cast<double>(m);
  if (fraction > 0) x /= exact_powers_of_ten[fraction];
  v = x;
  p += count + (fraction > 0);
  return true;
}

// A plain decimal with an optional sign: at most longest_decimal_digits digits, a point
// only between digits, and an optional exponent of 1 to longest_exponent_digits digits
// with an optional sign, rounded as strtod rounds it, below fast_double_bound. Anything that might
// continue the number (a hexadecimal prefix, say) is left to the caller, which accepts only a
// separator after it. On failure, p is where the scan gave up.
bool plain_double(const char*& p, double& v);

// A short_decimal with an optional sign; the common case of plain_double, kept inline.
[[gnu::always_inline]] inline bool short_signed_decimal(const char*& text, double& v) {
  const char* p = text;
  bool negative = take_sign(p);
  if (!short_decimal(p, v)) return false;
  if (negative) v = -v;
  text = p;
  return true;
}

// Where a short decimal's sign, digits and point stand in a word, with the white-space
// byte after it: a value in the same layout as the one before is checked in one step and
// read without finding its parts again. The byte after is part of the layout, so that a
// longer value fails it and sets the layout anew. The default layout matches no text: its
// first byte would have to be both a digit and 0xff.
struct ShortLayout {
  std::uint64_t digits = 0xff;      // 0xff in each byte that must hold a digit
  std::uint64_t fixed = 0xff;       // 0xff in each byte that must be fixed_text's
  std::uint64_t fixed_text = 0xff;  // the sign, the point and the byte after, xor '0'
  std::uint64_t whole = 0;          // the digits before the point
  std::uint64_t fraction = 0;       // the digits after it, one byte lower
  int shift = 0;                    // moves the digits to the word's top bytes
  int length = 0;                   // bytes of the text
  std::uint64_t sign = 0;           // the sign bit of the value
  double scale = 1;                 // 10 to the number of digits after the point
};

// The layout of the short decimal at text, length bytes long (its sign included), and of
// the white-space byte after it.
ShortLayout short_layout(const char* text, int length);

// Nonzero unless the bytes of w under mask (0xff each) are decimal digits, given w xor '0'
// in every byte, after simdjson's is_made_of_eight_digits_fast. A byte above 0xf9 may carry
// into the next, but is no digit itself.
inline std::uint64_t not_digits(std::uint64_t w, std::uint64_t mask) {
  constexpr std::uint64_t sixes = 0x0606060606060606, high_nibbles = 0xf0f0f0f0f0f0f0f0;
  return (w | (w + sixes)) & high_nibbles & mask;
}

// Each byte of d (digit values) becomes ten times its digit plus the next byte's: the
// two-digit numbers, with no carries since every byte stays below 100.
inline std::uint64_t digit_pairs(std::uint64_t d) { return d * 10 + (d >> 8); }

// The previous reading in the logger's layout, so that the next one in the same layout is
// checked in fewer steps: the first 16 bytes of its timestamp (date, hour and minute, which
// at one reading a second change once a minute) with their fields, and its value's layout.
struct RecentReading {
  // The timestamp's first two words, xor '0'; the first word of a timestamp has a '-'
  // where these have 0xff, so that none matches before a timestamp is read.
  std::uint64_t a = ~std::uint64_t{0}, b = ~std::uint64_t{0};
  std::int64_t YY = 0, MM = 0, DD = 0;
  double hh = 0, mm = 0;
  ShortLayout value;
};

// A short decimal in layout l, followed by l's white-space byte: false, with p unmoved,
// for any other text. Its sign, digits and point stand where they stood in the text l
// was taken from, so it is read as that text was: m / 10^fraction, rounded once.
[[gnu::always_inline]] inline bool decimal_in_layout(const char*& p, const ShortLayout& l,
                                                     double& v) {
  std::uint64_t t = word_at(p) ^ ascii_zeros;
  if ((not_digits(t, l.digits) | ((t ^ l.fixed_text) & l.fixed)) != 0) return false;
  std::uint64_t digits = (t & l.whole) | (t >> 8 & l.fraction);
  double x = static_cast<double>(eight_digit_value(digits << l.shift)) / l.scale;
  v = std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) | l.sign);
  p += l.length;
  return true;
}

// The value of a reading in the logger's layout: in the previous value's layout, or as a
// short decimal whose layout the next value may share, or any plain decimal.
[[gnu::always_inline]] inline bool logger_value(const char*& p, double& v, ShortLayout& recent) {
  if (decimal_in_layout(p, recent, v)) return true;
  const char* start = p;
  if (!short_signed_decimal(p, v)) return plain_double(p, v);
  if (is_space(*p)) recent = short_layout(start, static_cast<int>(p - start));
  return true;
}

// The timestamp as loggers write it, "YYYY-MM-DD hh:mm:ss" and then white space, with a
// month of the year, checked and converted a word at a time; the general fast path reads
// it to the same values.
// Where its first 16 bytes are the previous timestamp's, only the seconds are checked and
// converted. Reads 24 bytes at p.
inline bool logger_timestamp(const char*& p, Scanned& r, RecentReading& recent) {
  static_assert(timestamp_words == 3);
  std::uint64_t a = word_at(p) ^ ascii_zeros;       // "YYYY-MM-"
  std::uint64_t b = word_at(p + 8) ^ ascii_zeros;   // "DD hh:mm"
  std::uint64_t c = word_at(p + 16) ^ ascii_zeros;  // ":ss" and white space
  constexpr std::uint64_t a_digits = 0x00ffff00ffffffff, b_digits = 0xffff00ffff00ffff,
                          c_digits = 0x0000000000ffff00, c_checked = 0x0000000000ffffff;
  // The separators '-', '-', ' ', ':', ':' after the exclusive or with '0'.
  constexpr std::uint64_t a_separators = 0x1d00001d00000000, b_separators = 0x00000a0000100000,
                          c_separators = 0x000000000000000a;
  std::uint64_t wrong = not_digits(c, c_digits) | ((c & c_checked & ~c_digits) ^ c_separators);
  const bool same_minute = a == recent.a && b == recent.b;
  if (!same_minute)
    wrong |= not_digits(a, a_digits) | not_digits(b, b_digits) | ((a & ~a_digits) ^ a_separators) |
             ((b & ~b_digits) ^ b_separators);
  if (wrong != 0 || !is_space(p[19])) return false;
  if (!same_minute) {
    std::uint64_t pa = digit_pairs(a & a_digits), pb = digit_pairs(b & b_digits);
    // A month outside 1 to 12 leaves the reading without a time, which the general path
    // records. Within it, four-digit years and two-digit fields always give a finite time.
    const unsigned MM = byte_of(pa, 5);
    if (MM < 1 || MM > 12) return false;
    recent.a = a;
    recent.b = b;
    recent.YY = byte_of(pa, 0) * 100 + byte_of(pa, 2);
    recent.MM = MM;
    recent.DD = byte_of(pb, 0);
    recent.hh = byte_of(pb, 3);
    recent.mm = byte_of(pb, 6);
  }
  r.YY = recent.YY;
  r.MM = recent.MM;
  r.DD = recent.DD;
  r.hh = recent.hh;
  r.mm = recent.mm;
  r.ss = byte_of(digit_pairs(c & c_digits), 1);
  p += 19;
  return true;
}

// A reading of plain decimal text in any layout, read by the general fast path: whether it
// read the whole reading, and where it ended, or where the fast path gave up.
struct GeneralScan {
  Scanned r;
  const char* at;
  bool ok;
};

// Reads one reading of plain decimal text in any layout at p, within its line and with a
// month of the year, as fscanf would, or says where it gave up: within
// longest_plain_reading bytes of p.
GeneralScan scan_general_reading(const char* p);

// Reads one reading in the logger's own layout at p into r, in registers: within its line
// and with a time. Returns the end of the reading, or nullptr for any other text. recent holds what
// the readings before left for this one to reuse; it keeps what this one leaves for the next.
[[gnu::always_inline]] inline const char* scan_logger_reading(const char* p, Scanned& r,
                                                              RecentReading& recent) {
  bool ok = skip_space(p) && logger_timestamp(p, r, recent) && skip_space_in_line(p) &&
            logger_value(p, r.temp, recent.value) && is_space(*p);
  return ok ? p : nullptr;
}

}  // namespace ctp
