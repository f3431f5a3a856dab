// check_time_pressure: reads a logger's file exactly as convert_time_pressure does and says
// what the conversion will lose: readings not read in full, readings that span lines or
// have no time, steps back in time, and the count to give.
//
// Usage: check_time_pressure [--count] INPUT [COUNT]
//        check_time_pressure --help | --version
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "command_line.h"
#include "reading_check.h"
#include "run_files.h"

namespace {

constexpr char usage[] =
    "Usage: check_time_pressure [--count] INPUT [COUNT]\n"
    "       check_time_pressure --help | --version\n"
    "Reads COUNT readings of INPUT (without COUNT, every reading in it) exactly as\n"
    "convert_time_pressure reads them, and reports on standard output what the\n"
    "conversion loses: the first reading not read in full and where its scan stops,\n"
    "readings whose items cross a line feed, readings without a time (a month outside\n"
    "1 to 12), steps back in time and the largest gap, and the count to give.\n"
    "\n"
    "  --count    print only the count of readings in INPUT, to give as COUNT:\n"
    "             convert_time_pressure day.txt day.dat \"$(check_time_pressure --count "
    "day.txt)\"\n"
    "\n"
    "Exit status: 0 every reading asked for is read in full, within its line, with a\n"
    "time; 1 otherwise; 2 INPUT cannot be read, or COUNT is not a number.\n"
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

int trouble(const char* what, const char* why) {
  std::fprintf(stderr, "check_time_pressure: %s: %s\n", what, why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ctp;
  if (!open_standard_descriptors()) return 2;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return print(usage, 0);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return print(version, 0);
  int first = 1;
  const bool count_only = argc > 1 && std::strcmp(argv[1], "--count") == 0;
  if (count_only) ++first;
  if (argc - first < 1 || argc - first > 2) {
    std::fputs(usage, stderr);
    return 2;
  }
  std::int64_t count = -1;
  if (argc - first == 2) {
    if (!parse_count(argv[first + 1], count)) return trouble(argv[first + 1], "not a count");
    if (count < 0) count = 0;
  }
  struct stat in_stat;
  std::FILE* in = open_input(argv[first], in_stat);
  if (!in) return trouble(argv[first], errno ? std::strerror(errno) : "cannot be read");
  // Windows of the converter's size, whatever the count.
  ReadingSeries series;
  if (!reserve_series(series, 1 << 16)) return trouble(argv[first], std::strerror(ENOMEM));
  CheckResult result;
  if (!check_readings(in, count, series, result))
    return trouble(argv[first], std::strerror(result.error));
  std::fclose(in);
  const int status = check_status(result);
  if (count_only) return print(std::to_string(result.held) + "\n", status);
  return print(check_report(result, count >= 0), status);
}
