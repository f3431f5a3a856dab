// Times the whole converter, start to exit, on generated 1 Hz logger files, side by side
// with the literal fscanf/fprintf build, and checks that both write the same bytes. Two
// rows for each size, as a user meets them:
//   cold: a single run after a pause, as when the program is run once. On a virtual machine
//         whose host takes back the memory a guest frees, that memory costs the host's page
//         faults again; the pause lets the host take it back.
//   warm: runs right after another run of the same program.
//
// Before them, a table by notation: 1 M readings in each notation loggers write, warm.
//
// Usage: whole_program_benchmark [--pause SECONDS] [--notations-only] [READINGS...]
//          (default: a 10 s pause; 1000000 10000000 readings)
//        whole_program_benchmark --year   (a year at 1 Hz, whole and in windows; 2.8 GB
//                                          of temporary files)
//        whole_program_benchmark --generate FILE READINGS   (only writes the input file)
// The files go to $TMPDIR (or /tmp) and are removed afterwards; 10 M readings take 0.27 GB
// of input and 0.33 GB for each output.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "memory_group.h"

namespace fs = std::filesystem;

namespace {

// How the generated readings are written: the logger's own layout, or one of the
// notations other loggers use.
enum class Notation {
  plain,
  crlf_blanks_negative,
  fractions,
  exponent_e,
  exponent_upper_e,
  header_line,
  odd_values
};

struct NotationRow {
  Notation notation;
  const char* name;
};

constexpr NotationRow notation_rows[] = {
    {Notation::plain, "plain 1.0135"},
    {Notation::crlf_blanks_negative, "CR LF, 4 blanks, -0.998"},
    {Notation::fractions, "ss.250, 15 decimals"},
    {Notation::exponent_e, "exponent 9.268728e-01"},
    {Notation::exponent_upper_e, "exponent 1.013512345E+05"},
    {Notation::header_line, "a header line first"},
    {Notation::odd_values, "10% inf, nan, hex, 1e400"},
};

// Writes n readings at 1 Hz from 2020-01-01 00:00:00, "YYYY-MM-DD hh:mm:ss<TAB>v.vvvv" in
// the plain notation, with values from 0.9000 to 1.0999 drawn by a fixed linear
// congruential generator.
void generate(const fs::path& path, std::int64_t n, Notation notation = Notation::plain) {
  static const int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  static const char* const odd_values[] = {"inf", "nan", "0x1.8p-1", "1e400"};
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  if (notation == Notation::header_line) std::fputs("date time\tpressure\n", f);
  int YY = 2020, MM = 1, DD = 1, hh = 0, mm = 0, ss = 0;
  std::uint64_t state = 12345;
  char line[96];
  auto two = [](char* to, int v) {
    to[0] = static_cast<char>('0' + v / 10);
    to[1] = static_cast<char>('0' + v % 10);
  };
  for (std::int64_t i = 0; i < n; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    int value = 9000 + static_cast<int>((state >> 33) % 2000);
    two(line, YY / 100);
    two(line + 2, YY % 100);
    line[4] = '-';
    two(line + 5, MM);
    line[7] = '-';
    two(line + 8, DD);
    line[10] = ' ';
    two(line + 11, hh);
    line[13] = ':';
    two(line + 14, mm);
    line[16] = ':';
    two(line + 17, ss);
    int length = 19;
    double v = value / 1e4;
    switch (notation) {
      case Notation::crlf_blanks_negative:
        length += std::snprintf(line + length, 32, "    -%.4f\r\n", v);
        break;
      case Notation::fractions:
        length += std::snprintf(line + length, 40, ".250\t%.15f\n", v);
        break;
      case Notation::exponent_e:
        length += std::snprintf(line + length, 32, "\t%.6e\n", v);
        break;
      case Notation::exponent_upper_e:
        length += std::snprintf(line + length, 32, "\t%.9E\n", v * 1e5);
        break;
      case Notation::odd_values:
        if (i % 10 == 9) {
          length += std::snprintf(line + length, 32, "\t%s\n", odd_values[i / 10 % 4]);
          break;
        }
        [[fallthrough]];
      default:
        line[19] = '\t';
        line[20] = static_cast<char>('0' + value / 10000);
        line[21] = '.';
        two(line + 22, value / 100 % 100);
        two(line + 24, value % 100);
        line[26] = '\n';
        length = 27;
    }
    std::fwrite(line, 1, static_cast<std::size_t>(length), f);
    bool leap = YY % 4 == 0 && (YY % 100 != 0 || YY % 400 == 0);
    int days = month_days[MM - 1] - (MM == 2 && !leap);
    if (++ss == 60 && (ss = 0, ++mm == 60) && (mm = 0, ++hh == 24) && (hh = 0, ++DD > days) &&
        (DD = 1, ++MM > 12)) {
      MM = 1;
      ++YY;
    }
  }
  if (std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

struct Run {
  double seconds;
  long peak_kb;
};

// Limits a run is made under: an address-space limit (ulimit -v), and a control group to
// join, by its cgroup.procs file.
struct Limits {
  rlim_t address_space = RLIM_INFINITY;
  std::string cgroup_procs;
};

// Runs program INPUT OUTPUT COUNT with standard output discarded. Every run writes a new
// output file, since replacing a file costs the file system more, and unevenly; the input
// stays in the page cache.
Run run(const char* program, const fs::path& in, const fs::path& out, std::int64_t n,
        const Limits& limits = {}) {
  fs::remove(out);
  std::string count = std::to_string(n);
  std::fflush(stdout);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen("/dev/null", "w", stdout)) _exit(126);
    rlimit as{limits.address_space, limits.address_space};
    setrlimit(RLIMIT_AS, &as);
    if (!limits.cgroup_procs.empty()) std::ofstream(limits.cgroup_procs) << getpid() << "\n";
    execl(program, program, in.c_str(), out.c_str(), count.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed with status %d\n", program, status);
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

bool same_bytes(const fs::path& a, const fs::path& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (;;) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
      return false;
    if (fa.gcount() == 0) return true;
  }
}

// A year at 1 Hz, 31,536,000 readings, as a whole series, in windows forced by an
// address-space limit that the whole series cannot fit, and in windows under a memory
// group's limit; each the best of two runs, right after one untimed run.
int year_in_windows(const fs::path& dir) {
  constexpr std::int64_t n = 31'536'000;
  fs::path in = dir / "year.txt", whole_out = dir / "whole.txt", out = dir / "out.txt";
  generate(in, n);
  fs::path group = memory_group(dir.filename().string(), std::int64_t{256} << 20);
  struct Row {
    const char* how;
    Limits limits;
  };
  std::vector<Row> rows = {
      {"whole series: convert_time_pressure year.txt out.txt 31536000", {}},
      {"windows: (ulimit -v 1000000; convert_time_pressure year.txt out.txt 31536000)",
       {.address_space = rlim_t{1'000'000} * 1024, .cgroup_procs = ""}}};
  if (!group.empty())
    rows.push_back({"windows: in a 256 MiB cgroup v1 memory group",
                    {.address_space = RLIM_INFINITY, .cgroup_procs = group / "cgroup.procs"}});
  bool identical = true;
  std::printf("%-80s %8s %14s\n", "a year at 1 Hz, 31.5 M readings", "best s", "peak B/reading");
  for (const Row& row : rows) {
    const fs::path& to = &row == &rows[0] ? whole_out : out;
    run(CTP_BINARY, in, to, n, row.limits);
    Run best{1e300, 0};
    for (int r = 0; r < 2; ++r) {
      Run once = run(CTP_BINARY, in, to, n, row.limits);
      if (once.seconds < best.seconds) best = once;
    }
    if (&row != &rows[0]) identical = identical && same_bytes(whole_out, out);
    std::printf("%-80s %8.3f %14.1f\n", row.how, best.seconds,
                static_cast<double>(best.peak_kb) * 1024 / static_cast<double>(n));
    std::fflush(stdout);
  }
  if (!group.empty()) fs::remove(group);
  std::printf("outputs: %s\n", identical ? "identical bytes" : "DIFFERENT BYTES");
  return identical ? 0 : 1;
}

// The median of times.
double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--generate") {
    generate(argv[2], std::atoll(argv[3]));
    return 0;
  }
  constexpr int cold_runs = 3, literal_warm_runs = 2;
  double pause_s = 10;
  bool notations_only = false, year = false;
  std::vector<std::int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--pause" && i + 1 < argc)
      pause_s = std::atof(argv[++i]);
    else if (std::string(argv[i]) == "--notations-only")
      notations_only = true;
    else if (std::string(argv[i]) == "--year")
      year = true;
    else
      sizes.push_back(std::atoll(argv[i]));
  }
  if (sizes.empty() && !notations_only) sizes = {1'000'000, 10'000'000};

  std::string pattern = (fs::temp_directory_path() / "ctp_bench_XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = pattern;
  if (year) {
    int status = year_in_windows(dir);
    fs::remove_all(dir);
    return status;
  }
  bool identical = true;
  // By notation: 1 M readings each, warm, the best of three runs of each program.
  std::printf("%-26s %8s %10s %7s  %s\n", "1 M readings, notation", "fast s", "literal s", "ratio",
              "bytes");
  for (const NotationRow& row : notation_rows) {
    constexpr std::int64_t n = 1'000'000;
    fs::path in = dir / "readings.txt", fast_out = dir / "fast.txt",
             literal_out = dir / "literal.txt";
    generate(in, n, row.notation);
    run(CTP_BINARY, in, fast_out, n);
    double fast = 1e300, literal = 1e300;
    for (int r = 0; r < 3; ++r) {
      fast = std::min(fast, run(CTP_BINARY, in, fast_out, n).seconds);
      literal = std::min(literal, run(CTP_LITERAL_BINARY, in, literal_out, n).seconds);
    }
    bool same = same_bytes(fast_out, literal_out);
    identical = identical && same;
    std::printf("%-26s %8.3f %10.3f %6.1fx  %s\n", row.name, fast, literal, literal / fast,
                same ? "identical" : "DIFFERENT");
    std::fflush(stdout);
  }
  std::printf("\n");
  if (sizes.empty()) {
    fs::remove_all(dir);
    return identical ? 0 : 1;
  }
  std::printf(
      "fast: %s\nliteral: %s\n"
      "cold: the median of %d single runs of each, every one after a %.0f s pause\n"
      "warm: right after another run; fast: the best (and the median) of at least 5 runs and "
      "2 s,\n      literal: the best of %d runs\n\n",
      CTP_BINARY, CTP_LITERAL_BINARY, cold_runs, pause_s, literal_warm_runs);
  std::printf("%11s %9s %5s %8s %8s %10s %7s %10s %14s\n", "readings", "input MB", "run", "fast s",
              "median s", "literal s", "ratio", "ns/reading", "peak B/reading");
  auto row = [](std::int64_t n, double mb, const char* kind, double fast, double fast_median,
                double literal, long peak_kb) {
    std::printf("%11lld %9.1f %5s %8.3f %8.3f %10.3f %6.1fx %10.1f %14.1f\n",
                static_cast<long long>(n), mb, kind, fast, fast_median, literal, literal / fast,
                fast / static_cast<double>(n) * 1e9,
                static_cast<double>(peak_kb) * 1024 / static_cast<double>(n));
    std::fflush(stdout);
  };
  for (std::int64_t n : sizes) {
    fs::path in = dir / "readings.txt", fast_out = dir / "fast.txt",
             literal_out = dir / "literal.txt";
    generate(in, n);
    double mb = static_cast<double>(fs::file_size(in)) / 1e6;
    // An untimed run brings the input into the page cache, as a file just written is.
    run(CTP_BINARY, in, fast_out, n);
    // Cold: each program once after each pause, in turn.
    std::vector<double> cold_fast, cold_literal;
    long peak_kb = 0;
    for (int r = 0; r < cold_runs; ++r) {
      for (auto [program, out, times] :
           {std::tuple{CTP_BINARY, &fast_out, &cold_fast},
            std::tuple{CTP_LITERAL_BINARY, &literal_out, &cold_literal}}) {
        std::this_thread::sleep_for(std::chrono::duration<double>(pause_s));
        Run once = run(program, in, *out, n);
        times->push_back(once.seconds);
        if (times == &cold_fast) peak_kb = std::max(peak_kb, once.peak_kb);
      }
    }
    identical = identical && same_bytes(fast_out, literal_out);
    // Warm: back to back, after one untimed run.
    run(CTP_BINARY, in, fast_out, n);
    std::vector<double> warm_fast;
    for (double total = 0; warm_fast.size() < 5 || (total < 2 && warm_fast.size() < 25);) {
      warm_fast.push_back(run(CTP_BINARY, in, fast_out, n).seconds);
      total += warm_fast.back();
    }
    double warm_literal = 1e300;
    for (int r = 0; r < literal_warm_runs; ++r)
      warm_literal = std::min(warm_literal, run(CTP_LITERAL_BINARY, in, literal_out, n).seconds);
    row(n, mb, "cold", median(cold_fast), median(cold_fast), median(cold_literal), peak_kb);
    row(n, mb, "warm", *std::min_element(warm_fast.begin(), warm_fast.end()), median(warm_fast),
        warm_literal, peak_kb);
    fs::remove(in);
    fs::remove(fast_out);
    fs::remove(literal_out);
  }
  fs::remove_all(dir);
  std::printf("\noutputs: %s\n", identical ? "identical bytes" : "DIFFERENT BYTES");
  return identical ? 0 : 1;
}
