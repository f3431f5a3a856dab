// Opening the run's files and the output's room for the lines.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

namespace ctp {

// Opens /dev/null on each closed descriptor 0, 1 and 2, so that no file takes their place.
// Call it first.
bool open_standard_descriptors();

// Whether standard descriptor fd (0, 1 or 2) was closed when the program started.
bool standard_was_closed(int fd);

// Opens path as fopen's "r" does, filling in_stat; nullptr for no file or a directory.
// /dev/stdin and its aliases name standard input, also a socket, unless it was closed.
std::FILE* open_input(const char* path, struct stat& in_stat);

// Opens path as fopen's "wt" does, unbuffered, but truncates nothing when it names the input
// itself (same_as_input). /dev/stdout and its aliases name standard output. nullptr on failure.
std::FILE* open_output(const char* path, const struct stat& in_stat, bool& same_as_input);

// Whether out's file system has room for the shortest output of n lines; pipes always do.
bool output_fits(std::FILE* out, std::int64_t n);

// Whether out's lines take memory: a regular file on tmpfs or ramfs.
bool output_in_memory(std::FILE* out);

// Bytes of the shortest output of n lines: 0 for n <= 0, INT64_MAX past 64 bits.
std::int64_t shortest_output_bytes(std::int64_t n);

}  // namespace ctp
