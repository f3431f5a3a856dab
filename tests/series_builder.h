// Builds small series by hand for the pass tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "window_driver.h"

namespace ctp {

// One reading's date, time and value as the read pass would store them.
struct Reading {
  std::int64_t YY, MM, DD;
  double hh, mm, ss, temp;
};

inline Window make_series(const std::vector<Reading>& readings) {
  Window w;
  EXPECT_TRUE(allocate_window(w, static_cast<std::int64_t>(readings.size())));
  ReadingSeries& s = w.series;
  for (std::size_t i = 0; i < readings.size(); ++i) {
    const Reading& r = readings[i];
    s.YY[i] = r.YY;
    s.MM[i] = r.MM;
    s.DD[i] = r.DD;
    s.hh[i] = r.hh;
    s.mm[i] = r.mm;
    s.ss[i] = r.ss;
    s.temp[i] = r.temp;
  }
  return w;
}

}  // namespace ctp
