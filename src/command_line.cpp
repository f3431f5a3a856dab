// The command line's own text.
#include "command_line.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace ctp {

namespace {

constexpr char trailer[] = "\n Try it again!\n\n";

constexpr char usage[] =
    "Usage: convert_time_pressure INPUT OUTPUT COUNT\n"
    "       convert_time_pressure --help | --version\n"
    "Converts COUNT readings \"YYYY-MM-DD hh:mm:ss<TAB>value\" from INPUT into lines\n"
    "\"%lf    %lf\" in OUTPUT: the seconds since the first reading, and the value\n"
    "times -1000. Prints COUNT on standard output. Further arguments are ignored.\n"
    "\n"
    "  INPUT      the readings; a pipe, a FIFO or /dev/stdin also do\n"
    "  OUTPUT     created, or truncated; never the input itself\n"
    "  COUNT      how many readings to convert, a line each\n"
    "  --help     this text; --version: the version (each only as the sole argument)\n"
    "\n"
    "Example: the count of readings the file holds, given only where none is lost:\n"
    "  n=$(check_time_pressure --count day.txt) &&\n"
    "    convert_time_pressure day.txt day.dat \"$n\"\n"
    "\n"
    "Exit status, and message on standard error:\n"
    "  0  success: every reading read in full, within its line, with a time\n"
    "  1  Input file has not been specified.     INPUT absent, unopenable, a folder\n"
    "  1  Input file could not be read.          an I/O error while reading\n"
    "  1  Not enough memory to read the input file.   a number of millions of digits\n"
    "  2  Output file has not been specified.    OUTPUT absent or unopenable\n"
    "  2  Output file is the same as the input file.\n"
    "  2  Output file could not be written.      a full disk, a file size limit\n"
    "  2  Standard output could not be written.  the echo failed; OUTPUT is whole\n"
    "  3  Number of readings has not been specified.\n"
    "  3  Not enough memory for that number of readings.\n"
    "  3  Not enough room on the output's disk for that number of readings.\n"
    "  4  Readings lost: N of COUNT. The first: ...   every line is written, but a\n"
    "     reading was cut short, stuck, past the end of INPUT, across a line or\n"
    "     without a time; statuses 1 to 3 come first\n"
    "\n"
    "check_time_pressure INPUT [COUNT] names every loss and its mend.\n"
    "The manual: man convert_time_pressure\n";

constexpr char version[] = "convert_time_pressure " CTP_VERSION "\n";

// Writes text on standard output: status 0, or 2 when it cannot be written.
int print(const char* text) {
  std::size_t length = std::strlen(text);
  if (std::fwrite(text, 1, length, stdout) != length) return fail(unwritable_stdout, 2);
  return 0;
}

}  // namespace

int fail(const char* message, int status) {
  std::fwrite(message, 1, std::strlen(message), stderr);
  std::fwrite(trailer, 1, sizeof trailer - 1, stderr);
  return status;
}

int fail_lost(std::int64_t lost, std::int64_t count, const std::string& first, const char* input) {
  std::string message = "\n Readings lost: " + std::to_string(lost) + " of " +
                        std::to_string(count) + ". The first: " + first +
                        ".\n For the rest: check_time_pressure " + shell_word(input) + " " +
                        std::to_string(count);
  return fail(message.c_str(), 4);
}

std::string shell_word(const std::string& path) {
  constexpr char plain[] = "+,-./:=@_%";
  bool as_it_is = !path.empty();
  for (char c : path)
    as_it_is = as_it_is && (std::isalnum(static_cast<unsigned char>(c)) ||
                            (c != '\0' && std::strchr(plain, c)));
  if (as_it_is) return path;
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int print_usage() { return print(usage); }
int print_version() { return print(version); }

bool parse_count(const char* text, std::int64_t& n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (std::isspace(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (!std::isdigit(*p)) return false;
  // Accumulates downwards, since INT64_MIN has no positive counterpart.
  std::int64_t value = 0;
  for (; std::isdigit(*p); ++p) {
    if (__builtin_mul_overflow(value, 10, &value) ||
        __builtin_sub_overflow(value, *p - '0', &value))
      return false;
  }
  if (!negative && __builtin_mul_overflow(value, -1, &value)) return false;
  n = value;
  return true;
}

}  // namespace ctp
