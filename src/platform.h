// What the program assumes of the machine and of the C library, each stated once, and the
// helpers that depend on it.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

// Doubles are IEEE-754 binary64: a sign bit, 11 exponent bits and 52 stored mantissa bits.
static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<double>::digits == 53);

// The read pass hands odd readings to the C library's fscanf over its own buffer, through
// a stream cookie: fopencookie and its off64_t positions, and __fpurge, which drops a
// stream's read-ahead, are extensions that glibc and musl provide on Linux.
#if !defined(__linux__)
#error "the read pass needs fopencookie (glibc or musl, on Linux)"
#endif

// CTP_ASSERT(condition) checks a bound or invariant the fast paths rely on, in the builds
// that define CTP_DEBUG_CHECKS (the sanitizer and fuzzing builds), and aborts loudly when it
// fails; debug_checks guards the longer cross-checks of those builds.
#if defined(CTP_DEBUG_CHECKS)
#define CTP_ASSERT(condition) \
  ((condition) ? void(0) : ::ctp::assertion_failed(#condition, __FILE__, __LINE__))
inline constexpr bool debug_checks = true;
#else
#define CTP_ASSERT(condition) static_cast<void>(sizeof(!(condition)))  // unevaluated
inline constexpr bool debug_checks = false;
#endif

namespace ctp {

[[noreturn]] inline void assertion_failed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::abort();
}

// Arithmetic rounds to nearest, ties to even: the fast paths' exact divisions and their
// rounding trick rely on it, as the C library's strtod and printf do for the same bytes.
// Checked at run time as fast_float checks it: 1 + tiny and 1 - tiny are both 1 in that
// mode alone. The volatile keeps the compiler from folding it in the default mode.
inline bool rounds_to_nearest() {
  static volatile double tiny = DBL_MIN;
  const double t = tiny;
  return t + 1.0 == 1.0 - t;
}

inline constexpr int double_mantissa_bits = 52;               // stored; the leading 1 is implied
inline constexpr std::uint64_t double_exponent_mask = 0x7ff;  // after shifting out the mantissa
inline constexpr int double_exponent_bias = 1023;
// The biased exponent field of a double's bits.
inline int exponent_field(std::uint64_t bits) {
  return static_cast<int>(bits >> double_mantissa_bits & double_exponent_mask);
}
// Every integer up to 2^53 is a double, exactly.
inline constexpr std::uint64_t exact_integer_bound = std::uint64_t{1} << (double_mantissa_bits + 1);

// The NaN that arithmetic gives is the hardware's: x86-64 passes a NaN operand through and
// gives a negative NaN for an invalid operation (an infinity less itself), while RISC-V,
// for one, gives a positive NaN for both. Where an operation gives a NaN, the passes work
// out its sign themselves, by x86-64's rule, so that no line depends on the CPU: the sign
// of the first NaN operand in the written order, or negative for an invalid operation.
inline double invalid_operation_nan() { return std::bit_cast<double>(0xfff8'0000'0000'0000); }

// The word-at-a-time scanners and digit writers take the first byte of a word as its
// lowest: every word they load or store goes through these two, which cost nothing on a
// little-endian machine and swap the bytes on a big-endian one.
inline constexpr bool big_endian = std::endian::native == std::endian::big;
static_assert(big_endian || std::endian::native == std::endian::little);

// The eight bytes at p as one word, the first byte the lowest.
inline std::uint64_t word_at(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return big_endian ? __builtin_bswap64(w) : w;
}

// Stores w at p as eight bytes, the lowest first.
inline void put_word(char* p, std::uint64_t w) {
  if (big_endian) w = __builtin_bswap64(w);
  std::memcpy(p, &w, sizeof w);
}

// A word whose every byte is c.
inline constexpr std::uint64_t every_byte(unsigned char c) { return 0x0101010101010101 * c; }
inline constexpr std::uint64_t ascii_zeros = every_byte('0');

}  // namespace ctp
