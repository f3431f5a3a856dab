// The command line's text: messages, usage and version, and the count.
#pragma once

#include <cstdint>
#include <string>

namespace ctp {

// Failure messages: each begins with a line feed and a blank; fail() adds "Try it again!".
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

// Status 4: how many of count were lost, the first, and the checker's command on input.
int fail_lost(std::int64_t lost, std::int64_t count, const std::string& first, const char* input);

// path as the shell reads it back: as it is, or within single quotes.
std::string shell_word(const std::string& path);

// Prints --help's text, or --version's: status 0, or 2 when it cannot be written.
int print_usage();
int print_version();

// Parses text as sscanf's "%ld" does (white space, a sign, digits, anything after); false
// without digits or outside 64 bits, which "%ld" cannot report.
bool parse_count(const char* text, std::int64_t& n);

}  // namespace ctp
