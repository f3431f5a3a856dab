// Write pass: one line per reading, and the shape of those lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "reading_series.h"

namespace ctp {

// A line is two fields, each "%lf" text or "nan", the separator between, and a line feed.
inline constexpr char field_separator[] = "    ";
inline constexpr std::int64_t separator_bytes = sizeof field_separator - 1;
inline constexpr std::int64_t shortest_field_bytes = 3;   // "nan"
inline constexpr std::int64_t longest_field_bytes = 317;  // "%lf" of -DBL_MAX
inline constexpr std::int64_t shortest_line_bytes = 2 * shortest_field_bytes + separator_bytes + 1;
inline constexpr std::int64_t longest_line_bytes = 2 * longest_field_bytes + separator_bytes + 1;

// The write pass hands its lines over in blocks of write_block_bytes from its buffer; the
// line that crosses a block's end goes into write_buffer_slack more.
inline constexpr std::size_t write_block_bytes = 1 << 18;
inline constexpr std::size_t write_buffer_slack = 1024;
inline constexpr std::size_t write_buffer_bytes = write_block_bytes + write_buffer_slack;

// Write pass: one line "%lf    %lf\n" per reading, through buffer (write_buffer_bytes): time_s
// less t0, the first reading's time, and the value times -1000. A field without a value
// prints "nan", and so does every elapsed time when t0 has none. Returns false when a write
// fails, having cut a regular file back to its last whole line; the caller must still check
// the close.
bool write_lines(std::FILE* out, const ReadingSeries& s, double t0, char* buffer);

}  // namespace ctp
