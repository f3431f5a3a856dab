// What the program assumes of the machine and the C library, and helpers that depend on it.
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

// The read pass's fallback scans through fopencookie, off64_t and __fpurge: glibc and musl.
#if !defined(__linux__)
#error "the read pass needs fopencookie (glibc or musl, on Linux)"
#endif

// CTP_ASSERT checks a bound the fast paths rely on in the builds that define
// CTP_DEBUG_CHECKS (sanitizer, fuzzing); debug_checks guards their longer cross-checks.
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

// Arithmetic rounds to nearest, ties to even, as the fast paths' exact divisions and the
// 2^52 trick need; checked as fast_float checks it (volatile, so it is not folded).
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

// The NaN arithmetic gives is the hardware's (x86-64 passes a NaN operand through and gives
// a negative one for inf - inf; RISC-V gives a positive NaN). The passes work its sign out
// by x86-64's rule, so that no line depends on the CPU.
inline double invalid_operation_nan() { return std::bit_cast<double>(0xfff8'0000'0000'0000); }

// Words load and store with the first byte lowest, on machines of either byte order.
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
inline constexpr std::uint64_t every_byte(unsigned char c) {
  return std::uint64_t{0x0101010101010101} * c;
}
inline constexpr std::uint64_t ascii_zeros = every_byte('0');

}  // namespace ctp
