// Reading the small text files of /proc and /sys: whole, a line at a time, a number after
// its key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ctp {

// The whole of a small text file, or false when it cannot be read.
bool read_small_file(const std::string& path, std::string& text);

// The decimal number at the start of text, or -1 when there is none ("max", say).
std::int64_t leading_number(const char* text);

// The line of text that starts at `at`, without its line feed; moves `at` past it.
std::string_view next_line(const std::string& text, std::size_t& at);

// The number after key on the first line that starts with it, or -1 when there is none.
std::int64_t keyed_number(const std::string& text, std::string_view key);

// Whether found(item) holds for an item of a comma-separated list, tried in order.
template <typename Found>
bool any_list_item(std::string_view list, Found found) {
  for (std::size_t at = 0; at <= list.size();) {
    std::size_t comma = list.find(',', at);
    if (comma == std::string_view::npos) comma = list.size();
    if (found(list.substr(at, comma - at))) return true;
    at = comma + 1;
  }
  return false;
}

}  // namespace ctp
