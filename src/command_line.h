// The command line's own text: the messages that the program writes on standard error,
// the usage and version it prints, and the count it reads.
#pragma once

#include <cstdint>
#include <string>

namespace ctp {

// The failure messages: each begins with a line feed and a blank, and fail() adds the
// trailer "\n Try it again!\n\n".
inline constexpr char no_input[] = "\n Input file has not been specified.";
inline constexpr char unreadable_input[] = "\n Input file could not be read.";
inline constexpr char no_output[] = "\n Output file has not been specified.";
inline constexpr char output_is_input[] = "\n Output file is the same as the input file.";
inline constexpr char unwritable_output[] = "\n Output file could not be written.";
inline constexpr char no_count[] = "\n Number of readings has not been specified.";
inline constexpr char no_memory[] = "\n Not enough memory for that number of readings.";
inline constexpr char no_disk_room[] =
    "\n Not enough room on the output's disk for that number of readings.";
inline constexpr char no_memory_to_read[] = "\n Not enough memory to read the input file.";
inline constexpr char unwritable_stdout[] = "\n Standard output could not be written.";

// Writes message and the trailer to standard error, unformatted, and returns status.
int fail(const char* message, int status);

// The failure of a run that lost readings, status 4: how many of count, the first of them
// (its finding), and the checker's command for the rest, naming input.
int fail_lost(std::int64_t lost, std::int64_t count, const std::string& first, const char* input);

// path as the shell reads it back: as it is, or within single quotes.
std::string shell_word(const std::string& path);

// Prints --help's text, or --version's: status 0, or 2 when it cannot be written.
int print_usage();
int print_version();

// Parses text as sscanf's "%ld" does: optional leading white space, an optional sign and
// one or more decimal digits; whatever follows is ignored. False without digits, and also
// when the value lies outside the signed 64-bit range, which "%ld" cannot report.
bool parse_count(const char* text, std::int64_t& n);

}  // namespace ctp
