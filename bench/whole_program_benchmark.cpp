// Times the whole converter, start to exit, on generated 1 Hz logger files, side by side
// with the literal fscanf/fprintf build, and checks that both write the same bytes. Beside
// them, in the same conditions: the program writing to /dev/null (its passes' own work),
// and the floor, a process that reads the same input and copies the same output bytes into
// a new file. Two rows for each size, as a user meets them:
//   cold: a single run after a pause, as when the program is run once. On a virtual machine
//         whose host takes back the memory a guest frees, that memory costs the host's page
//         faults again; the pause lets the host take it back.
//   warm: runs right after another run of the same program.
//
// Before them, a table by notation: 1 M readings in each notation loggers write, warm.
//
// Usage: whole_program_benchmark [--pause SECONDS] [--notations-only] [--beside PROGRAM]
//                                [READINGS...]
//          (default: a 10 s pause; 1000000 10000000 readings). --beside times another
//          build of the converter (a static one, an earlier commit's) in the same rows,
//          in turn with the program, and checks that it writes the same bytes by notation.
//        whole_program_benchmark --year   (the same for a year at 1 Hz, 31536000 readings;
//                                          about 3 GB of temporary files)
//        whole_program_benchmark --generate FILE READINGS [ROW]   (only writes the input
//          file, in the notation of the notation table's row ROW, from 0: plain by default)
// The files go to $TMPDIR (or /tmp) and are removed afterwards; 10 M readings take 0.27 GB
// of input and 0.3 GB for each output.
#include <fcntl.h>
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
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "literal_passes.h"

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
  bool literal_defined = true;  // false: the literal program's lines are undefined
};

constexpr NotationRow notation_rows[] = {
    {Notation::plain, "plain 1.0135"},
    {Notation::crlf_blanks_negative, "CR LF, 4 blanks, -0.998"},
    {Notation::fractions, "ss.250, 15 decimals"},
    {Notation::exponent_e, "exponent 9.268728e-01"},
    {Notation::exponent_upper_e, "exponent 1.013512345E+05"},
    {Notation::header_line, "a header line first", false},
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

// Runs program INPUT OUTPUT COUNT with standard output and error discarded. Every run
// writes a new output file, since replacing a file costs the file system more, and
// unevenly; the input stays in the page cache.
Run run(const char* program, const fs::path& in, const fs::path& out, std::int64_t n) {
  if (fs::is_regular_file(out)) fs::remove(out);
  std::string count = std::to_string(n);
  std::fflush(stdout);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
      _exit(126);
    execl(program, program, in.c_str(), out.c_str(), count.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // 4: every line written, with readings lost, as after a header line.
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 4)) {
    std::fprintf(stderr, "%s failed with status %d\n", program, status);
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

// The floor: a process that reads all of in and copies the bytes of lines into a new file
// out, 1 MiB at a time, as fast as the system lets it; timed as run() times a program.
Run floor_run(const fs::path& in, const fs::path& lines, const fs::path& out) {
  fs::remove(out);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    static char block[1 << 20];
    int from = open(in.c_str(), O_RDONLY);
    while (from >= 0 && read(from, block, sizeof block) > 0) {
    }
    int source = open(lines.c_str(), O_RDONLY);
    int to = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (ssize_t got; source >= 0 && (got = read(source, block, sizeof block)) > 0;)
      if (write(to, block, static_cast<std::size_t>(got)) != got) _exit(1);
    _exit(from >= 0 && source >= 0 && close(to) == 0 ? 0 : 1);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the floor's copy failed\n");
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

// The bytes of a file.
std::string file_text(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Whether two outputs hold the same lines, but for NaN signs, which the literal program
// leaves to the hardware.
bool same_lines(const fs::path& a, const fs::path& b) {
  return ctp::without_nan_signs(file_text(a)) == ctp::without_nan_signs(file_text(b));
}

// The median of times.
double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--generate") {
    const std::size_t row = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 0;
    if (row >= std::size(notation_rows)) return 2;
    generate(argv[2], std::atoll(argv[3]), notation_rows[row].notation);
    return 0;
  }
  constexpr int cold_runs = 3, warm_runs = 3;
  double pause_s = 10;
  bool notations_only = false, year = false;
  const char* beside = nullptr;
  std::vector<std::int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--pause" && i + 1 < argc)
      pause_s = std::atof(argv[++i]);
    else if (std::string(argv[i]) == "--notations-only")
      notations_only = true;
    else if (std::string(argv[i]) == "--year")
      year = true;
    else if (std::string(argv[i]) == "--beside" && i + 1 < argc)
      beside = argv[++i];
    else
      sizes.push_back(std::atoll(argv[i]));
  }
  if (year) sizes.push_back(31'536'000);
  if (sizes.empty() && !notations_only) sizes = {1'000'000, 10'000'000};

  std::string pattern = (fs::temp_directory_path() / "ctp_bench_XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = pattern;
  bool identical = true;
  // By notation: 1 M readings each, warm, the best of three runs of each program, or of
  // nine beside the other build, whose output must be the same bytes.
  std::printf("%-26s %8s %10s %7s  %-17s%s\n", "1 M readings, notation", "fast s", "literal s",
              "ratio", "lines", beside ? " beside s beside/fast  bytes" : "");
  for (const NotationRow& row : notation_rows) {
    constexpr std::int64_t n = 1'000'000;
    fs::path in = dir / "readings.txt", fast_out = dir / "fast.txt",
             literal_out = dir / "literal.txt", beside_out = dir / "beside.txt";
    generate(in, n, row.notation);
    run(CTP_BINARY, in, fast_out, n);
    double fast = 1e300, literal = 1e300, other = 1e300;
    // The two builds, a few hundredths of a second each here, run in turn more often.
    for (int r = 0; r < (beside ? 9 : 3); ++r) {
      fast = std::min(fast, run(CTP_BINARY, in, fast_out, n).seconds);
      if (r < 3) literal = std::min(literal, run(CTP_LITERAL_BINARY, in, literal_out, n).seconds);
      if (beside) other = std::min(other, run(beside, in, beside_out, n).seconds);
    }
    bool same = !row.literal_defined || same_lines(fast_out, literal_out);
    identical = identical && same;
    std::printf("%-26s %8.3f %10.3f %6.1fx  %-17s", row.name, fast, literal, literal / fast,
                !row.literal_defined ? "literal undefined"
                : same               ? "identical"
                                     : "DIFFERENT");
    if (beside) {
      bool same_bytes = file_text(fast_out) == file_text(beside_out);
      identical = identical && same_bytes;
      std::printf(" %8.3f %10.2fx  %s", other, other / fast, same_bytes ? "same" : "DIFFERENT");
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("\n");
  if (sizes.empty()) {
    fs::remove_all(dir);
    return identical ? 0 : 1;
  }
  std::printf(
      "fast: %s\nliteral: %s\n"
      "/dev/null: fast, writing its lines to /dev/null\n"
      "floor: reads the input and copies fast's output bytes into a new file, 1 MiB at a time\n"
      "cold: the median of %d single runs of each, every one after a %.0f s pause\n"
      "warm: right after another run; fast: the best (and the median) of at least 5 runs and "
      "2 s,\n      beside: the best of as many, in turn with fast; the others: the best of %d "
      "runs\n\n",
      CTP_BINARY, CTP_LITERAL_BINARY, cold_runs, pause_s, warm_runs);
  if (beside) std::printf("beside: %s\n\n", beside);
  std::printf("%11s %9s %5s %8s %8s %10s %7s %10s %8s %10s %8s%s\n", "readings", "input MB", "run",
              "fast s", "median s", "literal s", "ratio", "/dev/null", "floor s", "fast/floor",
              "peak MB", beside ? "   beside s beside/fast" : "");
  auto row = [beside](std::int64_t n, double mb, const char* kind, double fast, double fast_median,
                      double literal, double to_null, double floor, long peak_kb, double other) {
    std::printf("%11lld %9.1f %5s %8.3f %8.3f %10.3f %6.1fx %10.3f %8.3f %9.2fx %8.1f",
                static_cast<long long>(n), mb, kind, fast, fast_median, literal, literal / fast,
                to_null, floor, fast / floor, static_cast<double>(peak_kb) / 1024);
    if (beside) std::printf(" %10.3f %10.2fx", other, other / fast);
    std::printf("\n");
    std::fflush(stdout);
  };
  for (std::int64_t n : sizes) {
    fs::path in = dir / "readings.txt", fast_out = dir / "fast.txt",
             literal_out = dir / "literal.txt", floor_out = dir / "floor.txt";
    generate(in, n);
    double mb = static_cast<double>(fs::file_size(in)) / 1e6;
    // An untimed run brings the input into the page cache, as a file just written is.
    run(CTP_BINARY, in, fast_out, n);
    // Each kind of run as a function of no arguments, timed in seconds.
    enum Kind { fast, literal, to_null, floor, other, all_kinds };
    const int kinds = beside ? all_kinds : other;
    auto once = [&](int kind) -> Run {
      switch (kind) {
        case fast:
          return run(CTP_BINARY, in, fast_out, n);
        case literal:
          return run(CTP_LITERAL_BINARY, in, literal_out, n);
        case to_null:
          return run(CTP_BINARY, in, "/dev/null", n);
        case other:
          return run(beside, in, fast_out, n);
        default:
          return floor_run(in, fast_out, floor_out);
      }
    };
    // Cold: each kind once after each pause, in turn.
    std::vector<double> cold[all_kinds];
    long peak_kb = 0;
    for (int r = 0; r < cold_runs; ++r) {
      for (int kind = 0; kind < kinds; ++kind) {
        std::this_thread::sleep_for(std::chrono::duration<double>(pause_s));
        Run timed = once(kind);
        cold[kind].push_back(timed.seconds);
        if (kind == fast) peak_kb = std::max(peak_kb, timed.peak_kb);
      }
    }
    identical = identical && same_lines(fast_out, literal_out);
    // Warm: back to back, after one untimed run.
    once(fast);
    // The other build, if any, runs in turn with the program, as often.
    std::vector<double> warm_fast, warm_other;
    for (double total = 0; warm_fast.size() < 5 || (total < 2 && warm_fast.size() < 25);) {
      warm_fast.push_back(once(fast).seconds);
      total += warm_fast.back();
      if (beside) warm_other.push_back(once(other).seconds);
    }
    double warm[all_kinds] = {0, 1e300, 1e300, 1e300, 1e300};
    for (int kind = literal; kind < std::min<int>(kinds, other); ++kind)
      for (int r = 0; r < warm_runs; ++r) warm[kind] = std::min(warm[kind], once(kind).seconds);
    if (beside) warm[other] = *std::min_element(warm_other.begin(), warm_other.end());
    row(n, mb, "cold", median(cold[fast]), median(cold[fast]), median(cold[literal]),
        median(cold[to_null]), median(cold[floor]), peak_kb, beside ? median(cold[other]) : 0);
    row(n, mb, "warm", *std::min_element(warm_fast.begin(), warm_fast.end()), median(warm_fast),
        warm[literal], warm[to_null], warm[floor], peak_kb, warm[other]);
    for (const fs::path& file : {in, fast_out, literal_out, floor_out}) fs::remove(file);
  }
  fs::remove_all(dir);
  std::printf("\noutputs: %s\n",
              identical ? "the same lines (NaN signs aside)" : "DIFFERENT LINES");
  return identical ? 0 : 1;
}
