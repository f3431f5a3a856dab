// The two values of a reading's line, as doubles before they become text: shared by the
// write pass and by callers that take the doubles themselves.
#pragma once

#include <cmath>

#include "platform.h"
#include "reading_series.h"

namespace ctp {

// The value negated, then times 1000; a NaN only negated, so that its sign does not depend
// on how the compiler folds the constant.
inline double value_times_minus_1000(double temp) {
  if (is_no_value(temp)) return no_value();
  return std::isnan(temp) ? -temp : -temp * 1000;
}

// time_s less t0, the first reading's time: no_value() where either has none, and a NaN's
// sign by x86-64's rule (platform.h).
inline double elapsed_s(double time_s, double t0) {
  if (is_no_value(t0) || is_no_value(time_s)) return no_value();
  double t = time_s - t0;
  if (!std::isnan(t)) return t;
  return std::isnan(time_s) ? time_s : std::isnan(t0) ? t0 : invalid_operation_nan();
}

}  // namespace ctp
