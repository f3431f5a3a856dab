// Opening the run's files.
#include "run_files.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ctp {

namespace {

// Which of descriptors 0, 1 and 2 were closed when the program started.
bool standard_closed[3] = {false, false, false};

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

// Whether writing out would destroy or swallow in: the same regular file or block device,
// or the same pipe or FIFO, whose lines would be read back as readings. A terminal or other
// character device may be both, and so may a socket, whose two directions are apart.
bool same_file(const struct stat& in, const struct stat& out) {
  bool lossy = S_ISREG(out.st_mode) || S_ISBLK(out.st_mode) || S_ISFIFO(out.st_mode);
  return lossy && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

}  // namespace

bool open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    standard_closed[fd] = true;
    // The lower descriptors are open, so the lowest free one is fd itself.
    if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  }
  return true;
}

std::FILE* open_input(const char* path, struct stat& in_stat) {
  int fd = open_named(path, O_RDONLY | O_CLOEXEC, 0);
  std::FILE* in = fd < 0 ? nullptr : fdopen(fd, "r");
  // A directory opens but cannot be read as a file.
  if (!in || fstat(fileno(in), &in_stat) != 0 || S_ISDIR(in_stat.st_mode)) return nullptr;
  return in;
}

std::FILE* open_output(const char* path, const struct stat& in_stat, bool& same_as_input) {
  same_as_input = false;
  int fd = open_named(path, O_WRONLY | O_CREAT | O_CLOEXEC, 1);
  if (fd < 0) return nullptr;
  struct stat out_stat;
  if (fstat(fd, &out_stat) != 0) return nullptr;
  if (same_file(in_stat, out_stat)) {
    same_as_input = true;
    return nullptr;
  }
  // Truncation applies to regular files only; devices and pipes ignore it, as with fopen.
  if (S_ISREG(out_stat.st_mode) && out_stat.st_size > 0 && ftruncate(fd, 0) != 0) return nullptr;
  std::FILE* out = fdopen(fd, "w");
  // The write pass hands over whole blocks: a stream buffer would only copy them again.
  if (out) std::setvbuf(out, nullptr, _IONBF, 0);
  return out;
}

bool output_in_memory(std::FILE* out) {
  struct stat st;
  struct statfs fs;
  if (fstat(fileno(out), &st) != 0 || !S_ISREG(st.st_mode) || fstatfs(fileno(out), &fs) != 0)
    return false;
  // The magic numbers are 32-bit patterns; a 32-bit machine's f_type is a signed int.
  auto type = static_cast<std::uint32_t>(fs.f_type);
  return type == TMPFS_MAGIC || type == RAMFS_MAGIC;
}

std::int64_t shortest_output_bytes(std::int64_t n) {
  constexpr std::int64_t shortest_line_bytes = 11;
  if (n <= 0) return 0;
  return n > INT64_MAX / shortest_line_bytes ? INT64_MAX : n * shortest_line_bytes;
}

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
  return shortest_output_bytes(n) <= room;
}

}  // namespace ctp
