// libFuzzer harness: the fast passes against the C library on fuzzed input. Each input is
// a control byte and a text. The text is read by the fast read pass and by one fscanf per
// reading, and every field the literal scan assigned and the stream position must agree;
// the literal series is written by the fast write pass and by fprintf, and the lines must
// agree but for NaN signs; the whole run in small windows must write the lines of one pass
// over all; and the text's bytes, taken as doubles, must format as printf formats them.
//
// Run by scripts/test for a minute; by hand, for as long as wanted:
//   scripts/fuzz 3600
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lf_formatter.h"
#include "literal_passes.h"
#include "reading_check.h"
#include "reading_input.h"
#include "reading_record.h"
#include "reading_series.h"
#include "whole_series.h"
#include "window_driver.h"

using namespace ctp;

namespace {

// Stops the run, which libFuzzer reports with the input that caused it.
void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
  }
}

// A stream over a file in memory holding the text, as the program's input would be.
std::FILE* file_with(const std::uint8_t* text, std::size_t size) {
  int fd = memfd_create("fuzz_input", 0);
  check(fd >= 0, "memfd_create");
  check(write(fd, text, size) == static_cast<ssize_t>(size), "write");
  lseek(fd, 0, SEEK_SET);
  return fdopen(fd, "r");
}

// The bytes that write(out) writes.
template <typename Write>
std::string written_by(Write write) {
  char* bytes = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&bytes, &size);
  check(write(out), "write pass");
  std::fclose(out);
  std::string text(bytes, size);
  std::free(bytes);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The control byte: the read size (1 to 7 bytes, or the pass's own) and the count.
  std::size_t read_size = data[0] & 7;
  std::int64_t n = 1 + (data[0] >> 3);
  const std::uint8_t* text = data + 1;
  std::size_t text_size = size - 1;

  // Reserved once and reused: fresh buffers for every input would cost most of the time.
  static Window fast_window, literal_window, window;
  if (!fast_window.storage)
    check(allocate_window(fast_window, 32) && allocate_window(literal_window, 32) &&
              allocate_window(window, 8),
          "reserve");
  ReadingSeries &fast = fast_window.series, &literal = literal_window.series;
  fast.n = literal.n = n;
  // The fields the literal scans leave unassigned hold zeros, the same on every run.
  std::memset(literal_window.storage.get(), 0, static_cast<std::size_t>(literal.capacity) * 64);
  std::FILE* in = file_with(text, text_size);
  OutcomeRecord record;
  static ScanTrace trace[32];
  {
    ReadingInput input(in, fast_window.read_buffer, read_size ? read_size : read_block_bytes);
    check(input.started() && read_readings(input, fast, record, trace, false), "read");
  }
  std::int64_t fast_position = lseek(fileno(in), 0, SEEK_CUR);
  std::fclose(in);
  in = file_with(text, text_size);
  std::vector<int> items;
  std::vector<std::int64_t> ends;
  literal_read_readings(in, literal, &items, &ends);
  std::int64_t literal_position = ftello(in);
  std::fclose(in);

  // Every field the literal scan assigned, NaNs by their sign alone.
  check(fast_position == literal_position, "position after the last scan");
  // Each reading's outcome and start as the checker traces them, and below, the converter's
  // record in windows, against fscanf and ftell.
  OutcomeRecord expected;
  std::vector<ScanTrace> expected_trace;
  literal_outcomes(std::string(reinterpret_cast<const char*>(text), text_size), literal, items,
                   ends, expected, expected_trace);
  check(std::equal(trace, trace + n, expected_trace.begin()), "outcomes");
  for (std::int64_t i = 0; i < n; ++i) {
    int k = 0;
    for (auto column : {&ReadingSeries::YY, &ReadingSeries::MM, &ReadingSeries::DD})
      check(k++ >= items[i] || (fast.*column)[i] == (literal.*column)[i], "date field");
    for (auto column :
         {&ReadingSeries::hh, &ReadingSeries::mm, &ReadingSeries::ss, &ReadingSeries::temp})
      check(k++ >= items[i] || same_value((fast.*column)[i], (literal.*column)[i]), "time field");
  }

  // The same series written by both write passes: the same lines, but for the signs of
  // NaNs that arithmetic made, which the literal program leaves to the hardware.
  check(without_nan_signs(written_by([&](std::FILE* out) {
          return write_whole_series(out, literal_window);
        })) == without_nan_signs(written_by([&](std::FILE* out) {
          return literal_write_lines(out, literal);
        })),
        "lines");

  // The whole run in windows of 1 to 8 readings writes the lines of one pass over all.
  convert_times(fast);
  std::string lines =
      written_by([&](std::FILE* out) { return write_whole_series(out, fast_window); });
  window.series.capacity = 1 + static_cast<std::int64_t>(size % 8);
  in = file_with(text, text_size);
  OutcomeRecord run;
  check(written_by([&](std::FILE* out) {
          return convert_readings(in, out, n, window, run,
                                  {.read_size = read_size ? read_size : read_block_bytes}) ==
                 RunEnd::converted;
        }) == lines,
        "lines in windows");
  std::fclose(in);
  check(record_numbers(run) == record_numbers(expected), "the run's record");

  // The checker, in windows, counts the same outcomes.
  CheckResult checked;
  in = file_with(text, text_size);
  check(check_readings(in, n, window, trace, checked) == RunEnd::converted &&
            checked.outcomes.lost() == expected.lost() && checked.outcomes.readings() == n,
        "checker");
  std::fclose(in);

  for (std::size_t i = 0; i + 8 <= text_size; i += 8) {
    double v;
    std::memcpy(&v, text + i, 8);
    char expected[lf_text_room], got[lf_text_room + 8];
    int length = std::snprintf(expected, sizeof expected, "%lf", v);
    check(put_lf(v, got) - got == length && std::memcmp(got, expected, length) == 0, "put_lf");
  }
  return 0;
}
