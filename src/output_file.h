// The write pass's buffer and its longest line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ctp {

// The write pass hands its lines over in blocks of write_block_bytes; the line that
// crosses a block's end goes into write_buffer_slack more.
inline constexpr std::size_t write_block_bytes = 1 << 18;
inline constexpr std::size_t write_buffer_slack = 1024;

// The longest line write_lines writes: two fields of 317 bytes, the four blanks and the
// line feed.
inline constexpr std::int64_t longest_line_bytes = 2 * 317 + 4 + 1;

}  // namespace ctp
