// The converter built literally: the whole series in memory, one fscanf per reading and
// one fprintf per line, with the real program's calendar. The benchmark runs it beside the real
// program to measure the speed-up and to check that both write the same bytes.
//
// Usage: literal_convert_time_pressure INPUT OUTPUT COUNT (valid arguments only)
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "calendar.h"
#include "literal_passes.h"
#include "window_driver.h"

using namespace ctp;

int main(int argc, char** argv) {
  if (argc < 4) return 1;
  std::FILE* in = std::fopen(argv[1], "r");
  std::FILE* out = std::fopen(argv[2], "w");
  std::int64_t n = 0;
  if (!in || !out || std::sscanf(argv[3], "%" SCNd64, &n) != 1) return 2;
  Window window;
  if (!allocate_window(window, n)) return 3;
  ReadingSeries& series = window.series;
  std::printf("%" PRId64 "\n", n);
  literal_read_readings(in, series);
  convert_times(series);
  bool written = literal_write_lines(out, series);
  std::fclose(in);
  return std::fclose(out) == 0 && written ? 0 : 2;
}
