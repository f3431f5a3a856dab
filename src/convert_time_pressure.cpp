// convert_time_pressure: converts logged pressure readings ("YYYY-MM-DD hh:mm:ss<TAB>value")
// into two columns, seconds since the first reading and the value times -1000.
//
// Usage: convert_time_pressure INPUT OUTPUT COUNT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "reading_series.h"

namespace {

// Every failure message is followed by this trailer on standard error.
constexpr char trailer[] = "\n Try it again!\n\n";

// Writes message and trailer to standard error, unformatted, and returns status.
int fail(const char* message, int status) {
  std::fwrite(message, 1, std::strlen(message), stderr);
  std::fwrite(trailer, 1, sizeof trailer - 1, stderr);
  return status;
}

constexpr char no_input[] = "\n Input file has not been specified.";
constexpr char unreadable_input[] = "\n Input file could not be read.";
constexpr char no_output[] = "\n Output file has not been specified.";
constexpr char output_is_input[] = "\n Output file is the same as the input file.";
constexpr char unwritable_output[] = "\n Output file could not be written.";
constexpr char no_count[] = "\n Number of readings has not been specified.";
constexpr char no_memory[] = "\n Not enough memory for that number of readings.";

// Parses text as sscanf's "%ld" does: optional leading white space, an optional sign and
// one or more decimal digits; whatever follows is ignored. False without digits, and also
// when the value lies outside the signed 64-bit range, which "%ld" cannot report.
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

// Whether overwriting out would destroy in: the same regular file or block device.
bool same_storage(const struct stat& in, const struct stat& out) {
  bool storage = S_ISREG(out.st_mode) || S_ISBLK(out.st_mode);
  return storage && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Opens path for writing as fopen's "wt" does, except that nothing is truncated when the
// path names the input itself. Returns nullptr and sets *message on failure.
std::FILE* open_output(const char* path, const struct stat& in_stat, const char** message) {
  *message = no_output;
  int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat out_stat;
  if (fstat(fd, &out_stat) != 0) return nullptr;
  if (same_storage(in_stat, out_stat)) {
    *message = output_is_input;
    return nullptr;
  }
  // Truncation applies to regular files only; devices and pipes ignore it, as with fopen.
  if (S_ISREG(out_stat.st_mode) && out_stat.st_size > 0 && ftruncate(fd, 0) != 0) return nullptr;
  return fdopen(fd, "w");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return fail(no_input, 1);
  std::FILE* in = std::fopen(argv[1], "r");
  if (!in) return fail(no_input, 1);
  // A directory opens but cannot be read as a file.
  struct stat in_stat;
  if (fstat(fileno(in), &in_stat) != 0 || S_ISDIR(in_stat.st_mode)) return fail(no_input, 1);

  if (argc < 3) return fail(no_output, 2);
  const char* message = nullptr;
  std::FILE* out = open_output(argv[2], in_stat, &message);
  if (!out) return fail(message, 2);

  std::int64_t n = 0;
  if (argc < 4 || !parse_count(argv[3], n)) return fail(no_count, 3);
  // The series is reserved before the count is echoed, so that a count that cannot be
  // had fails like any other unusable count, with nothing on standard output.
  ReadingSeries series;
  if (!reserve_series(series, n)) return fail(no_memory, 3);
  std::printf("%ld\n", static_cast<long>(n));
  std::fflush(stdout);

  if (!read_readings(in, series)) return fail(unreadable_input, 1);
  convert_times(series);
  bool written = write_lines(out, series);
  std::fclose(in);
  if (std::fclose(out) != 0 || !written) return fail(unwritable_output, 2);
  return 0;
}
