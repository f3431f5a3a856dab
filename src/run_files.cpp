// Opening the run's files.
#include "run_files.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "output_file.h"
#include "proc_files.h"

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

// open(2), except for the process's own standard input or output: closed at the start, it
// names no file (EBADF); a socket, which has no name to open, is used through a duplicate.
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

// Whether writing out would destroy or swallow in: the same regular file, block device,
// pipe or FIFO. Terminals and sockets may be both.
bool same_file(const struct stat& in, const struct stat& out) {
  bool lossy = S_ISREG(out.st_mode) || S_ISBLK(out.st_mode) || S_ISFIFO(out.st_mode);
  return lossy && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// The magic numbers are 32-bit patterns; a 32-bit machine's f_type is a signed int.
bool is_memory_type(decltype(statfs::f_type) type) {
  auto magic = static_cast<std::uint32_t>(type);
  return magic == TMPFS_MAGIC || magic == RAMFS_MAGIC;
}
bool is_overlay_type(decltype(statfs::f_type) type) {
  return static_cast<std::uint32_t>(type) == OVERLAYFS_SUPER_MAGIC;
}

// Option text as /proc/self/mountinfo escapes it (blank, tab, line feed, backslash: \ooo).
std::string unescaped(std::string_view text) {
  auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) &&
        octal(text[i + 3])) {
      plain +=
          static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + text[i + 3] - '0');
      i += 3;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

// The upper directory of the overlay that holds fd: its mount id from /proc/self/fdinfo,
// that mount's line in /proc/self/mountinfo, and "upperdir=" among its super options.
bool overlay_upper_dir(int fd, std::string& upper) {
  std::string text;
  if (!read_small_file("/proc/self/fdinfo/" + std::to_string(fd), text)) return false;
  std::int64_t mount_id = keyed_number(text, "mnt_id:");
  if (mount_id < 0 || !read_small_file("/proc/self/mountinfo", text)) return false;
  const std::string id = std::to_string(mount_id) + " ";
  for (std::size_t at = 0; at < text.size();) {
    std::string_view line = next_line(text, at);
    if (!line.starts_with(id)) continue;
    std::size_t type = line.find(" - ");
    std::size_t source = type == std::string_view::npos ? type : line.find(' ', type + 3);
    std::size_t options = source == std::string_view::npos ? source : line.find(' ', source + 1);
    if (options == std::string_view::npos) return false;
    return any_list_item(line.substr(options + 1), [&upper](std::string_view option) {
      if (!option.starts_with("upperdir=")) return false;
      upper = unescaped(option.substr(9));
      return true;
    });
  }
  return false;
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

bool standard_was_closed(int fd) { return fd >= 0 && fd <= 2 && standard_closed[fd]; }

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
  if (fstat(fileno(out), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  struct statfs fs;
  if (fstatfs(fileno(out), &fs) != 0) return false;
  if (is_memory_type(fs.f_type)) return true;
  // An overlay's new files go to its upper layer, which may be memory (a live system's
  // root); an upper directory out of reach counts as a disk.
  std::string upper;
  return is_overlay_type(fs.f_type) && overlay_upper_dir(fileno(out), upper) &&
         statfs(upper.c_str(), &fs) == 0 && is_memory_type(fs.f_type);
}

std::int64_t shortest_output_bytes(std::int64_t n) {
  if (n <= 0) return 0;
  return n > INT64_MAX / shortest_line_bytes ? INT64_MAX : n * shortest_line_bytes;
}

bool output_fits(std::FILE* out, std::int64_t n) {
  struct stat st;
  struct statvfs fs;
  // A file system that reports no blocks at all (ramfs) sets no limit of its own.
  if (fstat(fileno(out), &st) != 0 || !S_ISREG(st.st_mode) || fstatvfs(fileno(out), &fs) != 0 ||
      fs.f_frsize == 0 || fs.f_blocks == 0)
    return true;
  std::uint64_t blocks = fs.f_bavail, block_bytes = fs.f_frsize;
  std::int64_t room = blocks > static_cast<std::uint64_t>(INT64_MAX) / block_bytes
                          ? INT64_MAX
                          : static_cast<std::int64_t>(blocks * block_bytes);
  return shortest_output_bytes(n) <= room;
}

}  // namespace ctp
