// check_time_pressure [--count | --first] [--] INPUT [COUNT]: reads a file exactly as
// convert_time_pressure does and says what the conversion will lose, where, and the mend.
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "command_line.h"
#include "reading_check.h"
#include "run_files.h"
#include "window_driver.h"

namespace {

constexpr char usage[] =
    "Usage: check_time_pressure [--count | --first] [--] INPUT [COUNT]\n"
    "       check_time_pressure --help | --version\n"
    "Reads COUNT readings of INPUT (without COUNT, every reading in it) exactly as\n"
    "convert_time_pressure reads them, and reports on standard output what the\n"
    "conversion loses: the first reading cut short, stuck, past the end of the file,\n"
    "across a line or without a time, with its line and column and the mend the bytes\n"
    "show; steps back in time and the largest gap; and the count to give.\n"
    "\n"
    "  --count    print only the count of readings, where none is lost:\n"
    "               n=$(check_time_pressure --count day.txt) &&\n"
    "                 convert_time_pressure day.txt day.dat \"$n\"\n"
    "  --first    print only the first reading's date and time, where none is lost\n"
    "  --         the end of the options\n"
    "Where a reading is lost, --count and --first print nothing on standard output\n"
    "and the first loss on standard error.\n"
    "\n"
    "Exit status: 0 no reading asked for is lost; 1 a reading is lost, as when\n"
    "convert_time_pressure ends with 4; 2 INPUT cannot be read, COUNT is not a\n"
    "number, or the report cannot be written.\n"
    "\n"
    "The manual: man check_time_pressure\n";

constexpr char version[] = "check_time_pressure " CTP_VERSION "\n";

// Writes text on standard output: status, or 2 when it cannot be written.
int print(const std::string& text, int status) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "check_time_pressure: standard output: %s\n", std::strerror(errno));
    return 2;
  }
  return status;
}

// A message on standard error, "check_time_pressure: WHAT: WHY", and status.
int say(const std::string& what, const std::string& why, int status) {
  std::fprintf(stderr, "check_time_pressure: %s: %s\n", what.c_str(), why.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ctp;
  if (!open_standard_descriptors()) return 2;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return print(usage, 0);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return print(version, 0);
  enum { report, count_only, first_only } mode = report;
  int first = 1;
  for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
    if (std::strcmp(argv[first], "--") == 0) {
      ++first;
      break;
    }
    if (std::strcmp(argv[first], "--count") == 0 && mode == report) {
      mode = count_only;
    } else if (std::strcmp(argv[first], "--first") == 0 && mode == report) {
      mode = first_only;
    } else {
      std::fputs(usage, stderr);
      return 2;
    }
  }
  if (argc - first < 1 || argc - first > 2) {
    std::fputs(usage, stderr);
    return 2;
  }
  // The findings are the whole of the checker's work: with nowhere to write them it fails.
  if (standard_was_closed(1)) return say("standard output", "closed", 2);
  const std::string path = argv[first];
  std::int64_t count = -1;
  if (argc - first == 2) {
    if (!parse_count(argv[first + 1], count)) return say(argv[first + 1], "not a count", 2);
    if (count < 0) count = 0;
  }
  struct stat in_stat;
  std::FILE* in = open_input(path.c_str(), in_stat);
  if (!in) return say(path, errno ? std::strerror(errno) : "cannot be read", 2);

  // The converter's memory rules: a window and its trace within the room.
  Window window;
  const std::int64_t readings = count < 0 ? window_readings : count;
  std::unique_ptr<ScanTrace[]> trace;
  if (readings > 0) {
    const std::int64_t trace_bytes =
        std::min(readings, window_readings) * static_cast<std::int64_t>(sizeof(ScanTrace));
    if (!reserve_window(window, readings, trace_bytes))
      return say(path, "not enough memory to check it", 2);
    trace.reset(new (std::nothrow) ScanTrace[static_cast<std::size_t>(window.series.capacity)]);
    if (!trace) return say(path, "not enough memory to check it", 2);
  }
  CheckResult result;
  const RunEnd end = check_readings(in, count, window, trace.get(), result);
  if (end == RunEnd::read_out_of_memory)
    return say(path, "not enough memory to read it: a number of millions of digits", 2);
  if (end != RunEnd::converted) return say(path, std::strerror(errno ? errno : EIO), 2);
  std::fclose(in);

  const int status = check_status(result);
  if (mode == report) return print(check_report(result, path), status);
  // A count or a date that would lose a reading, passed on, is never printed.
  if (status != 0) return say(path, first_finding(result, path), status);
  if (mode == count_only) return print(std::to_string(result.outcomes.readings()) + "\n", 0);
  if (!result.first_has_time) return say(path, "the file holds no reading", 1);
  const std::string date = date_time_text(result.first_time_s);
  if (date.empty()) return say(path, "reading 1 lies too far from 2019 for a date", 1);
  return print(date + "\n", 0);
}
