// Micro-benchmarks of the passes and of the number formatting, each beside its literal
// fscanf/fprintf counterpart. Items per second are readings (or numbers) per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "calendar.h"
#include "lf_formatter.h"
#include "literal_passes.h"
#include "whole_series.h"

using namespace ctp;

namespace {

constexpr std::int64_t readings = 100'000;

// A file of 1 Hz readings with four-decimal values, as a logger writes them.
std::FILE* logger_file() {
  std::FILE* f = std::tmpfile();
  std::uint64_t state = 1;
  for (std::int64_t i = 0; i < readings; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    std::int64_t t = i;
    std::fprintf(f, "2020-03-%02lld %02lld:%02lld:%02lld\t%d.%04d\n",
                 static_cast<long long>(1 + t / 86400), static_cast<long long>(t / 3600 % 24),
                 static_cast<long long>(t / 60 % 60), static_cast<long long>(t % 60),
                 static_cast<int>(state >> 62), static_cast<int>((state >> 33) % 10000));
  }
  std::rewind(f);
  return f;
}

template <bool (*read)(std::FILE*, Window&)>
void BM_Read(benchmark::State& state) {
  std::FILE* f = logger_file();
  Window w;
  if (!allocate_window(w, readings)) std::abort();
  for (auto _ : state) {
    std::rewind(f);
    read(f, w);
    benchmark::DoNotOptimize(w.series.temp[readings - 1]);
  }
  std::fclose(f);
  state.SetItemsProcessed(state.iterations() * readings);
}
bool read_pass(std::FILE* in, Window& w) { return read_whole_series(in, w); }
bool literal_read_pass(std::FILE* in, Window& w) {
  literal_read_readings(in, w.series);
  return true;
}
BENCHMARK(BM_Read<read_pass>)->Name("ReadPass");
BENCHMARK(BM_Read<literal_read_pass>)->Name("LiteralReadPass");

// The series read from logger_file(), its times converted when asked.
Window logger_series(bool converted) {
  std::FILE* f = logger_file();
  Window w;
  if (!allocate_window(w, readings)) std::abort();
  read_whole_series(f, w);
  std::fclose(f);
  if (converted) convert_times(w.series);
  return w;
}

void BM_ConvertTimes(benchmark::State& state) {
  Window w = logger_series(false);
  for (auto _ : state) {
    convert_times(w.series);
    benchmark::DoNotOptimize(w.series.time_s[readings - 1]);
  }
  state.SetItemsProcessed(state.iterations() * readings);
}
BENCHMARK(BM_ConvertTimes)->Name("ConvertTimes");

template <bool (*write)(std::FILE*, const Window&)>
void BM_Write(benchmark::State& state) {
  Window w = logger_series(true);
  std::FILE* out = std::fopen("/dev/null", "w");
  for (auto _ : state) write(out, w);
  std::fclose(out);
  state.SetItemsProcessed(state.iterations() * readings);
}
bool literal_write_pass(std::FILE* out, const Window& w) {
  return literal_write_lines(out, w.series);
}
BENCHMARK(BM_Write<write_whole_series>)->Name("WritePass");
BENCHMARK(BM_Write<literal_write_pass>)->Name("LiteralWritePass");

// Values as the write pass meets them: whole seconds and pressures times -1000.
std::vector<double> typical_fields() {
  std::vector<double> v;
  std::uint64_t state = 7;
  for (int i = 0; i < 4096; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    v.push_back(i % 2 ? static_cast<double>(i * 1000) : -(1 + (state >> 40) % 10000 / 1e4) * 1000);
  }
  return v;
}

void BM_PutLf(benchmark::State& state) {
  std::vector<double> values = typical_fields();
  char text[lf_text_room];
  for (auto _ : state)
    for (double v : values) benchmark::DoNotOptimize(put_lf(v, text));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_PutLf)->Name("PutLf");

void BM_Snprintf(benchmark::State& state) {
  std::vector<double> values = typical_fields();
  char text[lf_text_room];
  for (auto _ : state)
    for (double v : values) benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%lf", v));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_Snprintf)->Name("SnprintfLf");

}  // namespace

BENCHMARK_MAIN();
