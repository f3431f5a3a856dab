// The read and write passes written plainly with the C library's fscanf and fprintf, one
// call per reading and per line: the reference that the fast passes must match byte for
// byte, and the baseline the benchmark compares them with.
#pragma once

#include <cstdio>

#include "reading_series.h"

// Scans s.n readings from in, one fscanf each, storing them as read_readings does.
bool literal_read_readings(std::FILE* in, ReadingSeries& s);

// Prints s.n lines to out with fprintf, as write_lines does.
bool literal_write_lines(std::FILE* out, const ReadingSeries& s);
