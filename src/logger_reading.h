// The fast path's reading scans: a reading as fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf")
// reads it, within its line and with a finite time; any other is left to the C library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decimal_scanners.h"
#include "platform.h"

namespace ctp {

inline constexpr int longest_space_run = 64;  // white-space characters in one run
// With a month of the year, these keep every time the fast path takes finite (time_fault).
inline constexpr int longest_year_digits = 8, longest_day_digits = 12;
static_assert(4 * 3600 * fast_double_bound < 1.7e308, "the time's additions stay finite");
static_assert(exact_powers_of_ten[longest_year_digits] * 366 * 86400 +
                      exact_powers_of_ten[longest_day_digits] * 86400 <
                  9.2e18,
              "the date's seconds fit 64 bits");

// The most text the fast path looks at from a reading's start: each item and separator,
// each with one character past its limit.
inline constexpr std::size_t longest_plain_reading =
    3 * (longest_space_run + 1) + 3 * (1 + longest_integer_digits + 1) +
    4 * (1 + longest_decimal_digits + 1 + 2 + longest_exponent_digits + 1) + 4 + 1;

// Bytes the scans may read past the NUL: three words from no further than the NUL.
inline constexpr std::size_t timestamp_words = 3;
inline constexpr std::size_t word_reach = timestamp_words * sizeof(std::uint64_t);

// One reading as the scan leaves it: the first `items` fields assigned, in format order.
struct Scanned {
  std::int64_t YY, MM, DD;
  double hh, mm, ss, temp;
  int items;
};

inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// White space other than a line feed.
inline bool is_space_in_line(char c) {
  constexpr std::uint64_t in_line = std::uint64_t{1} << ' ' | std::uint64_t{1} << '\t' |
                                    std::uint64_t{1} << '\v' | std::uint64_t{1} << '\f' |
                                    std::uint64_t{1} << '\r';
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && (in_line >> byte & 1);
}

// Skips a run of at most longest_space_run white-space characters; false for a longer one.
inline bool skip_space(const char*& text) {
  const char* p = text;
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

// skip_space within a line: false for a run that holds a line feed (the reading is lost).
[[gnu::always_inline]] inline bool skip_space_in_line(const char*& text) {
  const char* p = text;
  if (!is_space(p[0])) return true;
  if (!is_space(p[1])) {
    text = p + 1;
    return p[0] != '\n';
  }
  while (*p == ' ' && p - text <= longest_space_run) ++p;  // blanks, the common run, first
  while (is_space_in_line(*p) && p - text <= longest_space_run) ++p;
  bool ok = *p != '\n' && p - text <= longest_space_run;
  text = p;
  return ok;
}

// What one reading in the logger's layout leaves the next: its timestamp's first 16 bytes
// xor '0' (which change once a minute), their fields, and its value's layout. The default
// words hold 0xff where a timestamp holds '-', and match none.
struct RecentReading {
  std::uint64_t a = ~std::uint64_t{0}, b = ~std::uint64_t{0};
  std::int64_t YY = 0, MM = 0, DD = 0;
  double hh = 0, mm = 0;
  ShortLayout value;
};

// The value: in the previous value's layout, or a short decimal, or any plain decimal.
[[gnu::always_inline]] inline bool logger_value(const char*& p, double& v, ShortLayout& recent) {
  if (decimal_in_layout(p, recent, v)) return true;
  const char* start = p;
  if (!short_signed_decimal(p, v)) return plain_double(p, v);
  if (is_space(*p)) recent = short_layout(start, static_cast<int>(p - start));
  return true;
}

// "YYYY-MM-DD hh:mm:ss" and white space, a month of the year, a word at a time (24 bytes);
// after a timestamp with the same first 16 bytes, only the seconds are checked.
inline bool logger_timestamp(const char*& p, Scanned& r, RecentReading& recent) {
  static_assert(timestamp_words == 3);
  std::uint64_t a = word_at(p) ^ ascii_zeros;       // "YYYY-MM-"
  std::uint64_t b = word_at(p + 8) ^ ascii_zeros;   // "DD hh:mm"
  std::uint64_t c = word_at(p + 16) ^ ascii_zeros;  // ":ss" and white space
  constexpr std::uint64_t a_digit_mask = 0x00ffff00ffffffff, b_digit_mask = 0xffff00ffff00ffff,
                          c_digit_mask = 0x0000000000ffff00, c_checked_mask = 0x0000000000ffffff;
  // '-', '-', ' ', ':', ':' xor '0'.
  constexpr std::uint64_t a_separators = 0x1d00001d00000000, b_separators = 0x00000a0000100000,
                          c_separators = 0x000000000000000a;
  std::uint64_t wrong =
      (non_digit_bytes(c) & c_digit_mask) | ((c & c_checked_mask & ~c_digit_mask) ^ c_separators);
  const bool same_minute = a == recent.a && b == recent.b;
  if (!same_minute)
    wrong |= (non_digit_bytes(a) & a_digit_mask) | (non_digit_bytes(b) & b_digit_mask) |
             ((a & ~a_digit_mask) ^ a_separators) | ((b & ~b_digit_mask) ^ b_separators);
  if (wrong != 0 || !is_space(p[19])) return false;
  if constexpr (debug_checks) {
    // The shortcut takes what the full check takes, with the same fields.
    RecentReading none;
    Scanned full;
    const char* q = p;
    CTP_ASSERT(!same_minute ||
               (logger_timestamp(q, full, none) && full.YY == recent.YY && full.MM == recent.MM &&
                full.DD == recent.DD && full.hh == recent.hh && full.mm == recent.mm));
  }
  if (!same_minute) {
    std::uint64_t pa = digit_pairs(a & a_digit_mask), pb = digit_pairs(b & b_digit_mask);
    // A month outside 1 to 12 gives no time; the general path records it.
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
  r.ss = byte_of(digit_pairs(c & c_digit_mask), 1);
  p += 19;
  return true;
}

// Whether the general fast path read a reading whole, and where it ended or gave up.
struct GeneralScan {
  Scanned r;
  const char* at;
  bool ok;
};

// A reading of plain decimal text in any layout at p, within its line, with a month of the
// year; gives up within longest_plain_reading bytes.
GeneralScan scan_general_reading(const char* p);

// Reads a reading in the logger's layout at p into r: its end, or nullptr for other text.
[[gnu::always_inline]] inline const char* scan_logger_reading(const char* p, Scanned& r,
                                                              RecentReading& recent) {
  bool ok = skip_space(p) && logger_timestamp(p, r, recent) && skip_space_in_line(p) &&
            logger_value(p, r.temp, recent.value) && is_space(*p);
  return ok ? p : nullptr;
}

}  // namespace ctp
