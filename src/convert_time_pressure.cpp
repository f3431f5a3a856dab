// convert_time_pressure: converts logged pressure readings ("YYYY-MM-DD hh:mm:ss<TAB>value")
// into two columns, seconds since the first reading and the value times -1000.
//
// Usage: convert_time_pressure INPUT OUTPUT COUNT
//        convert_time_pressure --help | --version
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "memory_room.h"
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
constexpr char unwritable_stdout[] = "\n Standard output could not be written.";

constexpr char usage[] =
    "Usage: convert_time_pressure INPUT OUTPUT COUNT\n"
    "Converts COUNT readings \"YYYY-MM-DD hh:mm:ss<TAB>value\" from INPUT into lines\n"
    "\"%lf    %lf\" in OUTPUT: seconds since the first reading, and the value times -1000.\n"
    "Prints COUNT on standard output.\n"
    "\n"
    "  INPUT   the readings; a pipe, a FIFO or /dev/stdin also do\n"
    "  OUTPUT  created, or truncated; never the input itself\n"
    "  COUNT   how many readings to convert; the run needs 64 bytes of memory for each\n"
    "\n"
    "Exit status, and message on standard error:\n"
    "  0  success\n"
    "  1  Input file has not been specified.       INPUT absent, unopenable, a directory\n"
    "  1  Input file could not be read.            an I/O error while reading\n"
    "  2  Output file has not been specified.      OUTPUT absent or unopenable\n"
    "  2  Output file is the same as the input file.\n"
    "  2  Output file could not be written.        a full disk, a file size limit\n"
    "  2  Standard output could not be written.    the echo failed; OUTPUT is whole\n"
    "  3  Number of readings has not been specified.\n"
    "  3  Not enough memory for that number of readings.\n"
    "\n"
    "The manual: man convert_time_pressure\n";

constexpr char version[] = "convert_time_pressure " CTP_VERSION "\n";

// Writes text on standard output: status 0, or 2 when it cannot be written.
int print(const char* text) {
  std::size_t length = std::strlen(text);
  if (std::fwrite(text, 1, length, stdout) != length) return fail(unwritable_stdout, 2);
  return 0;
}

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that neither file
// the program opens can take the place of standard input, output or error and receive its
// messages. False when that cannot be done.
bool open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lower descriptors are open, so the lowest free one is fd itself.
    if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  }
  return true;
}

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

// Whether writing out would destroy or swallow in: the same regular file or block device,
// or the same pipe, FIFO or socket, whose lines would be read back as readings. A terminal
// or other character device may be both.
bool same_file(const struct stat& in, const struct stat& out) {
  bool lossy = S_ISREG(out.st_mode) || S_ISBLK(out.st_mode) || S_ISFIFO(out.st_mode) ||
               S_ISSOCK(out.st_mode);
  return lossy && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Opens path for writing as fopen's "wt" does, except that nothing is truncated when the
// path names the input itself. Returns nullptr and sets *message on failure.
std::FILE* open_output(const char* path, const struct stat& in_stat, const char** message) {
  *message = no_output;
  int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat out_stat;
  if (fstat(fd, &out_stat) != 0) return nullptr;
  if (same_file(in_stat, out_stat)) {
    *message = output_is_input;
    return nullptr;
  }
  // Truncation applies to regular files only; devices and pipes ignore it, as with fopen.
  if (S_ISREG(out_stat.st_mode) && out_stat.st_size > 0 && ftruncate(fd, 0) != 0) return nullptr;
  std::FILE* out = fdopen(fd, "w");
  // The write pass hands over whole blocks: a stream buffer would only copy them again.
  if (out) std::setvbuf(out, nullptr, _IONBF, 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (!open_standard_descriptors()) return 2;
  // A write to a closed pipe or past the file size limit then fails with an error that
  // the program reports, instead of a signal that ends it part-way.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // The echo is written at once, so that its failure is known when it happens.
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  // Only as the sole argument: with more after it, --help is a file name like any other.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return print(usage);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return print(version);

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
  // All the memory of the run is had before the count is echoed, so that a count that
  // cannot be had fails like any other unusable count, with nothing on standard output,
  // and a run that starts is not killed part-way for want of memory.
  ReadingSeries series;
  if (run_bytes(n) > memory_room_bytes() || !reserve_series(series, n)) return fail(no_memory, 3);
  // The conversion does not depend on the echo: a failed echo is reported once the
  // output is whole.
  bool echoed = std::printf("%ld\n", static_cast<long>(n)) > 0;

  ReadingInput input;
  if (!start_reading(input, in, series)) return fail(unreadable_input, 1);
  RunEnd end = convert_readings(input, out, n, series);
  if (end == RunEnd::read_failed) return fail(unreadable_input, 1);
  std::fclose(in);
  if (std::fclose(out) != 0 || end == RunEnd::write_failed) return fail(unwritable_output, 2);
  if (!echoed) return fail(unwritable_stdout, 2);
  return 0;
}
