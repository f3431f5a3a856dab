// The check of a file: the converter's window loop, with each reading's outcome traced, and
// the report made of it.
#include "reading_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace ctp {

namespace {

// A number of readings of an outcome, in words.
std::string readings_lost(int kind, std::int64_t n) {
  static constexpr const char* ways[] = {"read in full", "cut short",     "stuck",
                                         "past the end", "across a line", "without a time"};
  return std::to_string(n) + (n == 1 ? " reading " : " readings ") + ways[kind];
}

// The mend the bytes at r show, on a line of its own, unless given already.
std::string mend_line(const LostReading& r, const std::string& path, std::string& given) {
  const Mend mend = mend_for(r, path);
  if (mend.command.empty() || mend.command == given) return "";
  given = mend.command;
  return "  the bytes show " + mend.fault + ": mend with " + mend.command +
         ", and check the mended text\n";
}

}  // namespace

RunEnd check_readings(std::FILE* in, std::int64_t count, Window& w, ScanTrace* trace,
                      CheckResult& result) {
  result = {};
  result.count_given = count >= 0;
  double last_time = 0;
  bool last_timed = false;
  auto look = [&](const ReadingSeries& w, const OutcomeRecord&, std::int64_t done) {
    for (std::int64_t i = 0; i < w.n; ++i) {
      const double t = w.time_s[i];
      const bool timed = std::isfinite(t);
      const std::int64_t reading = done + i + 1, line = trace[i].start.line;
      if (reading == 1) {
        result.first_has_time = timed;
        result.first_time_s = t;
        result.first_line = line;
      }
      if (timed && last_timed) {
        if (t < last_time && result.steps_back++ == 0) {
          result.step_back_reading = reading;
          result.step_back_line = line;
          result.step_back_s = last_time - t;
        }
        if (t - last_time > result.gap_s) {
          result.gap_reading = reading;
          result.gap_line = line;
          result.gap_s = t - last_time;
        }
      }
      if (timed) {
        last_time = t;
        last_timed = true;
      }
    }
    return true;
  };
  return run_windows(in, count < 0 ? INT64_MAX : count, w, look, result.outcomes,
                     {.trace = trace, .to_the_end = count < 0});
}

int check_status(const CheckResult& r) { return r.outcomes.lost() > 0 ? 1 : 0; }

std::string check_report(const CheckResult& r, const std::string& path) {
  auto n = [](std::int64_t v) { return std::to_string(v); };
  const char* asked = r.count_given ? " (COUNT)"
                      : r.outcomes.count[static_cast<int>(Outcome::stuck)]
                          ? ", up to where every scan stops"
                          : ", every reading in the file";
  std::string report = "readings asked for: " + n(r.outcomes.readings()) + asked +
                       "; read in full: " + n(r.outcomes.count[0]) +
                       "; lost: " + n(r.outcomes.lost()) + "\n";
  if (r.first_has_time)
    report += "reading 1, at line " + n(r.first_line) + ", is at " +
              date_time_text(r.first_time_s) + ": the elapsed seconds count from there\n";
  // The first lost reading of each kind, in the order they come in the file.
  std::vector<int> kinds;
  for (int k = 1; k < outcome_kinds; ++k)
    if (r.outcomes.count[k] > 0) kinds.push_back(k);
  std::sort(kinds.begin(), kinds.end(), [&r](int a, int b) {
    return r.outcomes.first[a].reading < r.outcomes.first[b].reading;
  });
  std::string given;
  for (int kind : kinds)
    report += finding(r.outcomes.first[kind]) + "; " + readings_lost(kind, r.outcomes.count[kind]) +
              "\n" + mend_line(r.outcomes.first[kind], path, given);
  if (r.steps_back > 0)
    report += "line " + n(r.step_back_line) + ": the time steps back " +
              std::to_string(r.step_back_s) + " s at reading " + n(r.step_back_reading) +
              "; steps back: " + n(r.steps_back) + "\n";
  if (r.gap_reading > 0)
    report += "line " + n(r.gap_line) + ": the largest step forward, " + std::to_string(r.gap_s) +
              " s, comes before reading " + n(r.gap_reading) + "\n";
  if (!r.count_given)
    report += r.outcomes.lost() == 0
                  ? "the count to give: " + n(r.outcomes.readings()) + "\n"
                  : "no count converts this file without a loss: mend it first\n";
  return report;
}

std::string first_finding(const CheckResult& r, const std::string& path) {
  const LostReading* first_one = r.outcomes.first_lost();
  if (!first_one) return "";
  std::string line = finding(*first_one) + "; " + std::to_string(r.outcomes.lost()) + " of " +
                     std::to_string(r.outcomes.readings()) + " readings lost";
  const Mend mend = mend_for(*first_one, path);
  if (!mend.command.empty()) line += "; " + mend.fault + ": mend with " + mend.command;
  return line;
}

}  // namespace ctp
