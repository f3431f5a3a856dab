// The read and write passes as the literal program has them: one fscanf per reading and
// one fprintf per line, nothing else. The reference that the fast passes must match where
// the literal program defines its result, and the baseline the benchmark compares with.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "reading_input.h"
#include "reading_record.h"
#include "reading_series.h"

namespace ctp {

// Scans s.n readings from in, one fscanf each, into the columns. items, if given, receives
// what each scan returned (EOF: -1): the fields of reading i from the items[i]-th on were
// not assigned and hold what they held before; ends, if given, ftell after each scan.
void literal_read_readings(std::FILE* in, ReadingSeries& s, std::vector<int>* items = nullptr,
                           std::vector<std::int64_t>* ends = nullptr);

// Each reading's outcome and start into trace, and the record of a run into record, from
// what literal_read_readings' scans of text into s returned and ftell before and after
// each. A time is the conversion pass's, run here on s: the read pass's rule is compared.
void literal_outcomes(const std::string& text, ReadingSeries& s, const std::vector<int>& items,
                      const std::vector<std::int64_t>& ends, OutcomeRecord& record,
                      std::vector<ScanTrace>& trace);

// A record's counts and first lost readings' places, as numbers to compare.
std::vector<std::int64_t> record_numbers(const OutcomeRecord& record);

// Prints s.n lines, one fprintf each: time_s[i] - time_s[0] and -temp[i] * 1000. False when
// a print fails.
bool literal_write_lines(std::FILE* out, const ReadingSeries& s);

// The literal program leaves the sign of a NaN that arithmetic makes to the hardware, and a
// NaN's text shows nothing but its sign: the comparisons with it see no more.

// The same double, or NaNs of the same sign.
inline bool same_value(double a, double b) {
  return std::isnan(a) ? std::isnan(b) && std::signbit(a) == std::signbit(b)
                       : std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Lines with every "-nan" written "nan".
inline std::string without_nan_signs(const std::string& text) {
  std::string unsigned_text;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] != '-' || text.compare(i + 1, 3, "nan") != 0) unsigned_text += text[i];
  return unsigned_text;
}

}  // namespace ctp
