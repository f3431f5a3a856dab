// What the program assumes of the machine and of the C library, each stated once.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

// The word-at-a-time scanners and digit writers take the first byte of a word as its
// lowest.
static_assert(std::endian::native == std::endian::little, "little-endian machines only");

// "%ld" scans and prints the series' 64-bit integers.
static_assert(sizeof(long) == sizeof(std::int64_t), "long must be 64 bits");

// Doubles are IEEE-754 binary64: a sign bit, 11 exponent bits and 52 stored mantissa bits.
static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<double>::digits == 53);
inline constexpr int double_mantissa_bits = 52;               // stored; the leading 1 is implied
inline constexpr std::uint64_t double_exponent_mask = 0x7ff;  // after shifting out the mantissa
inline constexpr int double_exponent_bias = 1023;
// The biased exponent field of a double's bits.
inline int exponent_field(std::uint64_t bits) {
  return static_cast<int>(bits >> double_mantissa_bits & double_exponent_mask);
}
// Every integer up to 2^53 is a double, exactly.
inline constexpr std::uint64_t exact_integer_bound = std::uint64_t{1} << (double_mantissa_bits + 1);

// The read pass hands odd readings to the C library's fscanf over its own buffer, through
// a stream cookie: fopencookie and its off64_t positions, and __fpurge, which drops a
// stream's read-ahead, are extensions that glibc and musl provide on Linux.
#if !defined(__linux__)
#error "the read pass needs fopencookie (glibc or musl, on Linux)"
#endif
