// What the converter makes of a file, by its own window loop and record: the readings read
// in full, the first lost of each kind, and how the times step.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "reading_input.h"
#include "reading_record.h"
#include "window_driver.h"

namespace ctp {

struct CheckResult {
  bool count_given = false;
  // The readings asked for by outcome, the first lost of each numbered from 1.
  OutcomeRecord outcomes;
  bool first_has_time = false;  // reading 1 has a time, from which elapsed times count
  double first_time_s = 0;
  std::int64_t first_line = 0;
  std::int64_t steps_back = 0;  // times earlier than the one before
  std::int64_t step_back_reading = 0, step_back_line = 0;
  double step_back_s = 0;
  std::int64_t gap_reading = 0, gap_line = 0;  // the reading after the largest step forward
  double gap_s = 0;
};

// Reads count readings of in (count < 0: up to the end or the first stuck scan) with the
// converter's window loop and calendar, each outcome traced into trace (room for a window).
// Reads no byte more than the conversion would.
RunEnd check_readings(std::FILE* in, std::int64_t count, Window& w, ScanTrace* trace,
                      CheckResult& result);

// The report, a line a finding, naming path in its mends.
std::string check_report(const CheckResult& result, const std::string& path);

// The first finding alone, on one line with its mend: for standard error.
std::string first_finding(const CheckResult& result, const std::string& path);

// 0 when no reading asked for is lost, 1 otherwise: the converter's 0 and 4.
int check_status(const CheckResult& result);

}  // namespace ctp
