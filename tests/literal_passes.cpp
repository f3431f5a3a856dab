// The literal passes: fscanf and fprintf, nothing else.
#include "literal_passes.h"

#include <cinttypes>
#include <cstdint>

namespace ctp {

void literal_read_readings(std::FILE* in, ReadingSeries& s, std::vector<int>* items) {
  for (std::int64_t i = 0; i < s.n; ++i) {
    int got = std::fscanf(in, "%" SCNd64 "-%" SCNd64 "-%" SCNd64 " %lf:%lf:%lf\t%lf", &s.YY[i],
                          &s.MM[i], &s.DD[i], &s.hh[i], &s.mm[i], &s.ss[i], &s.temp[i]);
    if (items) items->push_back(got);
  }
}

bool literal_write_lines(std::FILE* out, const ReadingSeries& s) {
  for (std::int64_t i = 0; i < s.n; ++i)
    if (std::fprintf(out, "%lf    %lf\n", s.time_s[i] - s.time_s[0], -s.temp[i] * 1000) < 0)
      return false;
  return true;
}

}  // namespace ctp
