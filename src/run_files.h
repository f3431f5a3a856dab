// Opening the run's files: the standard descriptors, the input, the output, and the
// output's room for the lines.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

namespace ctp {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that neither file
// the program opens can take the place of standard input, output or error and receive its
// messages. False when that cannot be done. Call it first.
bool open_standard_descriptors();

// Whether standard descriptor fd (0, 1 or 2) was closed when the program started.
bool standard_was_closed(int fd);

// Opens path for reading as fopen's "r" does, and fills in_stat. nullptr when path names
// no file that can be opened, or a directory. /dev/stdin, /dev/fd/0 and /proc/self/fd/0
// name standard input, also where it is a socket, and no file where it was closed when
// the program started.
std::FILE* open_input(const char* path, struct stat& in_stat);

// Opens path for writing as fopen's "wt" does, unbuffered, except that nothing is truncated
// when it names the input itself: the same regular file or block device, or the same pipe
// or FIFO (same_as_input is then true). /dev/stdout and its aliases name standard output as
// /dev/stdin names standard input. nullptr on failure.
std::FILE* open_output(const char* path, const struct stat& in_stat, bool& same_as_input);

// Whether out's file system can hold n lines: always for pipes and devices. False when a
// regular file's file system has less room for this user than the shortest output.
bool output_fits(std::FILE* out, std::int64_t n);

// Whether out's lines take memory as they are written: on tmpfs and ramfs a regular file's
// pages are memory, which the kernel cannot reclaim without swap.
bool output_in_memory(std::FILE* out);

// Bytes of the shortest output of n lines, "nan    nan" and a line feed each: 0 for a
// count of 0 or below, INT64_MAX when it does not fit in 64 bits.
std::int64_t shortest_output_bytes(std::int64_t n);

}  // namespace ctp
