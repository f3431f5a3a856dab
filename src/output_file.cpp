// Write pass.
#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lf_formatter.h"
#include "line_values.h"
#include "platform.h"
#include "reading_series.h"

namespace ctp {

namespace {

// Writes a field: v as "%lf", or "nan" when it holds no value.
char* put_field(double v, char* to) {
  if (is_no_value(v)) {
    std::memcpy(to, "nan", 3);
    return to + 3;
  }
  return put_lf(v, to);
}

static_assert(longest_field_bytes == lf_text_room - 1);
// A line starts before the block's end: the slack takes it and the bytes stored past it.
static_assert(longest_line_bytes + lf_store_past <= write_buffer_slack);

// Cuts a regular file back to the last whole line of the `written` bytes of a failed write,
// so that no part of a line remains. Returns false, for the failure.
[[gnu::cold, gnu::noinline]] bool cut_back_to_whole_lines(std::FILE* out, const char* block,
                                                          std::size_t written) {
  struct stat st;
  int fd = fileno(out);
  if (written == 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::size_t whole = written;
  while (whole > 0 && block[whole - 1] != '\n') --whole;
  off_t at = lseek(fd, 0, SEEK_CUR);
  if (at >= static_cast<off_t>(written))
    (void)!ftruncate(fd, at - static_cast<off_t>(written - whole));
  return false;
}

// Hands the n bytes at block, whole lines, over to out, unbuffered.
bool hand_over(std::FILE* out, const char* block, std::size_t n) {
  CTP_ASSERT(n == 0 || block[n - 1] == '\n');
  std::size_t written = std::fwrite(block, 1, n, out);
  return written == n || cut_back_to_whole_lines(out, block, written);
}

}  // namespace

bool write_lines(std::FILE* out, const ReadingSeries& s, double t0, char* buffer) {
  CTP_ASSERT(s.n <= s.capacity && rounds_to_nearest());
  if (s.n <= 0) return true;
  char* const start = buffer;
  char* to = start;
  const double* time_s = s.time_s;
  const double* temp = s.temp;
  for (std::int64_t i = 0; i < s.n; ++i) {
    CTP_ASSERT(to + longest_line_bytes + lf_store_past <= start + write_buffer_bytes);
    // The common line, both texts worked out side by side; a NaN takes the careful way.
    FixedText ft, fp;
    if (fixed_text(time_s[i] - t0, ft) && fixed_text(-temp[i] * 1000, fp)) {
      to = put_fixed(ft, to);
      std::memcpy(to, field_separator, separator_bytes);
      to = put_fixed(fp, to + separator_bytes);
    } else {
      to = put_field(elapsed_s(time_s[i], t0), to);
      std::memcpy(to, field_separator, separator_bytes);
      to = put_field(value_times_minus_1000(temp[i]), to + separator_bytes);
    }
    *to++ = '\n';
    if (to - start >= static_cast<std::ptrdiff_t>(write_block_bytes)) {
      if (!hand_over(out, start, static_cast<std::size_t>(to - start))) return false;
      to = start;
    }
  }
  return hand_over(out, start, static_cast<std::size_t>(to - start));
}

}  // namespace ctp
