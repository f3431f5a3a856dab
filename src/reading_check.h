// What the converter makes of a file, found by its own read pass and calendar: the
// readings it reads in full, where its scans stop, the readings that span lines or have
// no time, and how the times step.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "reading_series.h"

namespace ctp {

// A reading of the file and where it is: its number and its line, from 1, and a column.
struct Place {
  std::int64_t reading = 0, line = 0, column = 0;
  std::string text;  // a short quote of the file there
};

struct CheckResult {
  std::int64_t asked = 0;     // readings asked for: COUNT, or every reading in the file
  std::int64_t in_full = 0;   // of those, readings read in full
  std::int64_t held = 0;      // readings in the file: scans that assigned an item
  std::int64_t lines = 0;     // lines of the file, a last one without a line feed too
  std::int64_t newlines = 0;  // line feeds: what wc -l counts
  std::int64_t blank_lines = 0;
  bool last_line_unended = false;  // the file ends without a line feed
  std::int64_t incomplete = 0;     // readings asked for but not read in full
  Place first_incomplete;          // where the first of them stops
  std::int64_t items = 0;          // how many of its seven items it read
  bool stuck = false;              // from some scan on, every scan stops at one place
  Place stuck_at;
  std::int64_t spanning = 0;  // readings whose items cross a line feed
  Place first_spanning;       // its first line; text: its value
  std::int64_t value_line = 0;
  std::int64_t timeless = 0;  // readings read in full whose time cannot be computed
  Place first_timeless;
  std::int64_t timeless_month = 0;
  std::int64_t steps_back = 0;  // times earlier than the one before
  Place first_step_back;
  double step_back_s = 0;
  Place largest_gap;  // the reading after the largest step forward
  double largest_gap_s = 0;
  int error = 0;  // errno of a read that failed; 0 when the file was read
};

// Reads count readings of in (count < 0: every reading the file holds) exactly as the
// converter reads them, a window of s.capacity readings at a time, and the rest of the
// file for its lines, into result. in must not have been read from; a file that cannot be
// read again at an offset (a pipe) is copied first. Returns false, with result.error set,
// when the input cannot be read.
bool check_readings(std::FILE* in, std::int64_t count, ReadingSeries& s, CheckResult& result);

// The report on result, a line a finding, and the exit status: 0 when every reading asked
// for was read in full, within its line, with a time; 1 otherwise.
std::string check_report(const CheckResult& result, bool count_given);
int check_status(const CheckResult& result);

}  // namespace ctp
