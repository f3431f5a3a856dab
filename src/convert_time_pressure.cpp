// convert_time_pressure: converts logged pressure readings ("YYYY-MM-DD hh:mm:ss<TAB>value")
// into two columns, seconds since the first reading and the value times -1000.
//
// Usage: convert_time_pressure INPUT OUTPUT COUNT
//        convert_time_pressure --help | --version
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
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
constexpr char no_disk_room[] =
    "\n Not enough room on the output's disk for that number of readings.";
constexpr char no_memory_to_read[] = "\n Not enough memory to read the input file.";
constexpr char unwritable_stdout[] = "\n Standard output could not be written.";

constexpr char usage[] =
    "Usage: convert_time_pressure INPUT OUTPUT COUNT\n"
    "       convert_time_pressure --help | --version\n"
    "Converts COUNT readings \"YYYY-MM-DD hh:mm:ss<TAB>value\" from INPUT into lines\n"
    "\"%lf    %lf\" in OUTPUT: the seconds since the first reading, and the value\n"
    "times -1000. Prints COUNT on standard output. Further arguments are ignored.\n"
    "\n"
    "  INPUT      the readings; a pipe, a FIFO or /dev/stdin also do\n"
    "  OUTPUT     created, or truncated; never the input itself\n"
    "  COUNT      how many readings to convert, a window of 65,536 at a time\n"
    "  --help     this text; --version: the version (each only as the sole argument)\n"
    "\n"
    "Exit status, and message on standard error:\n"
    "  0  success\n"
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
    "\n"
    "The manual: man convert_time_pressure\n";

constexpr char version[] = "convert_time_pressure " CTP_VERSION "\n";

// Writes text on standard output: status 0, or 2 when it cannot be written.
int print(const char* text) {
  std::size_t length = std::strlen(text);
  if (std::fwrite(text, 1, length, stdout) != length) return fail(unwritable_stdout, 2);
  return 0;
}

// Which of descriptors 0, 1 and 2 were closed when the program started.
bool standard_closed[3] = {false, false, false};

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that neither file
// the program opens can take the place of standard input, output or error and receive its
// messages. False when that cannot be done.
bool open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    standard_closed[fd] = true;
    // The lower descriptors are open, so the lowest free one is fd itself.
    if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  }
  return true;
}

// Whether path names the process's own descriptor fd, 0 or 1, as callers spell it.
bool names_descriptor(const char* path, int fd) {
  const char* const names[2][3] = {{"/dev/stdin", "/dev/fd/0", "/proc/self/fd/0"},
                                   {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}};
  for (const char* name : names[fd]) {
    if (std::strcmp(path, name) == 0) return true;
  }
  return false;
}

// Opens path with flags as open(2) does, except for a path that names the process's own
// standard input or output: closed when the program started, it names no file (-1, EBADF);
// a socket, which cannot be opened by its name (ENXIO), is used through a duplicate.
int open_named(const char* path, int flags, int fd) {
  if (names_descriptor(path, fd) && standard_closed[fd]) {
    errno = EBADF;
    return -1;
  }
  int opened = open(path, flags, 0666);
  if (opened < 0 && errno == ENXIO && names_descriptor(path, fd))
    opened = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  return opened;
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
// or the same pipe or FIFO, whose lines would be read back as readings. A terminal or other
// character device may be both, and so may a socket, whose two directions are apart.
bool same_file(const struct stat& in, const struct stat& out) {
  bool lossy = S_ISREG(out.st_mode) || S_ISBLK(out.st_mode) || S_ISFIFO(out.st_mode);
  return lossy && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Whether out's lines take memory as they are written: on tmpfs and ramfs a regular file's
// pages are memory, which the kernel cannot reclaim without swap. A device is no file of
// the file system it is named in (/dev/full sits on a tmpfs).
bool output_in_memory(std::FILE* out) {
  struct stat st;
  struct statfs fs;
  return fstat(fileno(out), &st) == 0 && S_ISREG(st.st_mode) && fstatfs(fileno(out), &fs) == 0 &&
         (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
}

// Opens path for writing as fopen's "wt" does, except that nothing is truncated when the
// path names the input itself. Returns nullptr and sets *message on failure.
std::FILE* open_output(const char* path, const struct stat& in_stat, const char** message) {
  *message = no_output;
  int fd = open_named(path, O_WRONLY | O_CREAT | O_CLOEXEC, 1);
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

// Bytes of n lines of line_bytes each, or INT64_MAX.
std::int64_t output_bytes(std::int64_t n, std::int64_t line_bytes) {
  return n > INT64_MAX / line_bytes ? INT64_MAX : n * line_bytes;
}

// The shortest line: "nan    nan" and a line feed.
constexpr std::int64_t shortest_line_bytes = 11;

// Whether fd's file system can hold n lines: always for pipes and devices. False when a
// regular file's file system has less room for this user than the shortest output.
bool output_fits(std::FILE* out, std::int64_t n) {
  struct stat st;
  struct statvfs fs;
  if (fstat(fileno(out), &st) != 0 || !S_ISREG(st.st_mode) || fstatvfs(fileno(out), &fs) != 0 ||
      fs.f_frsize == 0)
    return true;
  std::uint64_t blocks = fs.f_bavail, block_bytes = fs.f_frsize;
  std::int64_t room = blocks > static_cast<std::uint64_t>(INT64_MAX) / block_bytes
                          ? INT64_MAX
                          : static_cast<std::int64_t>(blocks * block_bytes);
  return output_bytes(n, shortest_line_bytes) <= room;
}

// Readings in a window. At 10 M readings, cold and warm, and at a year of readings,
// windows from 16 K readings on all ran at full speed: this one leaves the machine the
// most room at that speed.
constexpr std::int64_t window_readings = 1 << 16;  // 4 MiB

// Sets the process's data-size limit to what it holds now and the room still left, so
// that an allocation past the room, the C library's for a number with millions of digits
// say, fails and is reported instead of the kernel ending the run.
void limit_data_to_room(std::int64_t output_memory) {
  std::int64_t room = memory_room_bytes(), data = data_bytes();
  if (room == INT64_MAX || data < 0) return;
  constexpr std::int64_t least_spare = 8 << 20;
  std::int64_t spare = std::max(room - output_memory - least_spare, least_spare);
  rlimit limit;
  if (getrlimit(RLIMIT_DATA, &limit) != 0 || data > INT64_MAX - spare) return;
  std::uint64_t wanted = static_cast<std::uint64_t>(data + spare);
  if (wanted >= static_cast<std::uint64_t>(RLIM_INFINITY)) return;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted) return;
  limit.rlim_cur = static_cast<rlim_t>(wanted);
  setrlimit(RLIMIT_DATA, &limit);
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
  int in_fd = open_named(argv[1], O_RDONLY | O_CLOEXEC, 0);
  std::FILE* in = in_fd < 0 ? nullptr : fdopen(in_fd, "r");
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
  // Every refusal comes before the count is echoed, so that a count that cannot be had
  // fails like any other unusable count, with nothing on standard output. Where the lines
  // take memory, the shortest of them count against the room too.
  if (!output_fits(out, n)) return fail(no_disk_room, 3);
  const bool lines_in_memory = output_in_memory(out);
  const std::int64_t output_memory = lines_in_memory ? output_bytes(n, shortest_line_bytes) : 0;
  ReadingSeries series;
  if (n > 0) {
    if (!reserve_series(series, std::min(n, window_readings), output_memory))
      return fail(no_memory, 3);
    limit_data_to_room(output_memory);
  }
  // The conversion does not depend on the echo: a failed echo is reported once the
  // output is whole.
  bool echoed = std::printf("%" PRId64 "\n", n) > 0;

  RunEnd end = convert_readings(in, out, n, series, lines_in_memory);
  if (end == RunEnd::read_out_of_memory) return fail(no_memory_to_read, 1);
  if (end == RunEnd::read_failed) return fail(unreadable_input, 1);
  std::fclose(in);
  if (std::fclose(out) != 0 || end == RunEnd::write_failed)
    return fail(unwritable_output, 2);
  if (!echoed) return fail(unwritable_stdout, 2);
  return 0;
}
