// The literal passes: fscanf and fprintf, nothing else.
#include "literal_passes.h"

#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdint>

namespace ctp {

void literal_read_readings(std::FILE* in, ReadingSeries& s, std::vector<int>* items,
                           std::vector<std::int64_t>* ends) {
  for (std::int64_t i = 0; i < s.n; ++i) {
    int got = std::fscanf(in, "%" SCNd64 "-%" SCNd64 "-%" SCNd64 " %lf:%lf:%lf\t%lf", &s.YY[i],
                          &s.MM[i], &s.DD[i], &s.hh[i], &s.mm[i], &s.ss[i], &s.temp[i]);
    if (items) items->push_back(got);
    if (ends) ends->push_back(ftello(in));
  }
}

void literal_outcomes(const std::string& text, ReadingSeries& s, const std::vector<int>& items,
                      const std::vector<std::int64_t>& ends, OutcomeRecord& record,
                      std::vector<ScanTrace>& trace) {
  convert_times(s);
  std::int64_t counted = 0, feeds = 0, line_start = 0;  // lines before counted; the last's start
  auto place = [&](std::int64_t at) {
    for (; counted < at; ++counted)
      if (text[counted] == '\n') ++feeds, line_start = counted + 1;
    return Place{at, feeds + 1, at - line_start + 1};
  };
  record = {};
  trace.clear();
  for (std::int64_t i = 0, before = 0; i < s.n; before = ends[i++]) {
    const std::int64_t after = ends[i];
    std::int64_t start = before;
    while (start < after && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    const bool crosses = text.find('\n', start) < static_cast<std::size_t>(after);
    const int got = items[i];
    Outcome outcome = got == EOF                   ? Outcome::past_end
                      : got == 0 && start == after ? Outcome::stuck
                      : got < 7                    ? Outcome::cut_short
                      : crosses                    ? Outcome::across_lines
                      : std::isfinite(s.time_s[i]) ? Outcome::in_full
                                                   : Outcome::without_time;
    trace.push_back({outcome, place(start)});
    const int k = static_cast<int>(outcome);
    if (record.count[k]++ > 0) continue;
    record.first[k].reading = i + 1;
    record.first[k].start = trace.back().start;
    record.first[k].stop = place(after);
  }
}

std::vector<std::int64_t> record_numbers(const OutcomeRecord& record) {
  std::vector<std::int64_t> numbers;
  for (int k = 1; k < outcome_kinds; ++k) {
    const LostReading& f = record.first[k];
    numbers.push_back(record.count[k]);
    if (record.count[k] > 0)
      numbers.insert(numbers.end(), {f.reading, f.start.offset, f.start.line, f.start.column,
                                     f.stop.offset, f.stop.line, f.stop.column});
  }
  return numbers;
}

bool literal_write_lines(std::FILE* out, const ReadingSeries& s) {
  for (std::int64_t i = 0; i < s.n; ++i)
    if (std::fprintf(out, "%lf    %lf\n", s.time_s[i] - s.time_s[0], -s.temp[i] * 1000) < 0)
      return false;
  return true;
}

}  // namespace ctp
