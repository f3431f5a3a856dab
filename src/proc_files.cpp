// Reading the small text files of /proc and /sys.
#include "proc_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ctp {

bool read_small_file(const std::string& path, std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "re");
  if (!f) return false;
  char chunk[4096];
  text.clear();
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, got);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::int64_t leading_number(const char* text) {
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  return end == text || v < 0 ? -1 : static_cast<std::int64_t>(v);
}

std::string_view next_line(const std::string& text, std::size_t& at) {
  std::size_t line_end = std::min(text.find('\n', at), text.size());
  std::string_view line(text.data() + at, line_end - at);
  at = line_end + 1;
  return line;
}

std::int64_t keyed_number(const std::string& text, std::string_view key) {
  for (std::size_t at = 0; at < text.size();) {
    std::string_view line = next_line(text, at);
    if (line.starts_with(key)) return leading_number(line.data() + key.size());
  }
  return -1;
}

}  // namespace ctp
