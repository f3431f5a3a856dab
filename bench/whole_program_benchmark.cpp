// Times the whole converter, start to exit, on generated 1 Hz logger files, side by side
// with the literal fscanf/fprintf build, and checks that both write the same bytes.
//
// Usage: whole_program_benchmark [READINGS...]   (default 1000000 10000000 30000000)
//        whole_program_benchmark --generate FILE READINGS   (only writes the input file)
// The files go to $TMPDIR (or /tmp) and are removed afterwards; 30 M readings take about
// 0.8 GB of input and 1 GB for each output.
#include <sys/mman.h>
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
#include <vector>

namespace fs = std::filesystem;

namespace {

// Writes n readings at 1 Hz from 2020-01-01 00:00:00, "YYYY-MM-DD hh:mm:ss<TAB>v.vvvv",
// with values from 0.9000 to 1.0999 drawn by a fixed linear congruential generator.
void generate(const fs::path& path, std::int64_t n) {
  static const int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  int YY = 2020, MM = 1, DD = 1, hh = 0, mm = 0, ss = 0;
  std::uint64_t state = 12345;
  char line[64];
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
    line[19] = '\t';
    line[20] = static_cast<char>('0' + value / 10000);
    line[21] = '.';
    two(line + 22, value / 100 % 100);
    two(line + 24, value % 100);
    line[26] = '\n';
    std::fwrite(line, 1, 27, f);
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

// Touches `bytes` of fresh memory and gives it back. On a virtual machine whose host takes
// back the memory a guest frees (free page reporting), touching it again costs the host's
// page faults: about 100 ns a reading here, more than the whole conversion. Done before
// every run of either program, this measures the programs rather than the host.
void warm_memory(std::size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return;
  std::memset(p, 1, bytes);
  munmap(p, bytes);
}

// Runs program INPUT OUTPUT COUNT with standard output discarded. Every run writes a new
// output file, since replacing a file costs the file system more, and unevenly; the input
// stays in the page cache.
Run run(const char* program, const fs::path& in, const fs::path& out, std::int64_t n) {
  fs::remove(out);
  // The series, the output's page cache and some room.
  warm_memory(static_cast<std::size_t>(n) * 128);
  std::string count = std::to_string(n);
  std::fflush(stdout);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--generate") {
    generate(argv[2], std::atoll(argv[3]));
    return 0;
  }
  constexpr int literal_runs = 2;
  std::vector<std::int64_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
  if (sizes.empty()) sizes = {1'000'000, 10'000'000, 30'000'000};

  std::string pattern = (fs::temp_directory_path() / "ctp_bench_XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = pattern;
  std::printf(
      "fast: %s\n  one untimed run, then at least 5 runs and 2 s: the best (and the median)\n"
      "literal: %s\n  the best of %d runs\n"
      "fresh memory is touched before every run (see warm_memory)\n\n",
      CTP_BINARY, CTP_LITERAL_BINARY, literal_runs);
  std::printf("%11s %9s %8s %8s %10s %12s %10s %8s %13s %7s\n", "readings", "input MB", "fast s",
              "median s", "literal s", "readings/s", "ns/reading", "MB/s", "peak B/reading",
              "ratio");
  std::vector<double> ns_per_reading;
  bool identical = true;
  for (std::int64_t n : sizes) {
    fs::path in = dir / "readings.txt", fast_out = dir / "fast.txt",
             literal_out = dir / "literal.txt";
    generate(in, n);
    double mb = static_cast<double>(fs::file_size(in)) / 1e6;
    // The untimed run brings the input into the page cache and lets the system settle
    // the memory the runs use; fresh memory costs far more on a virtual machine whose host
    // has taken it back.
    run(CTP_BINARY, in, fast_out, n);
    std::vector<double> times;
    long peak_kb = 0;
    for (double total = 0; times.size() < 5 || (total < 2 && times.size() < 25);) {
      Run again = run(CTP_BINARY, in, fast_out, n);
      times.push_back(again.seconds);
      total += again.seconds;
      peak_kb = std::max(peak_kb, again.peak_kb);
    }
    std::sort(times.begin(), times.end());
    double best = times.front(), median = times[times.size() / 2];
    double literal = 1e300;
    for (int r = 0; r < literal_runs; ++r)
      literal = std::min(literal, run(CTP_LITERAL_BINARY, in, literal_out, n).seconds);
    identical = identical && same_bytes(fast_out, literal_out);
    // The best run of each is the closest to what the program itself costs; the median of
    // the fast runs shows how far the machine's noise moves it.
    double per_reading = best / static_cast<double>(n);
    ns_per_reading.push_back(per_reading * 1e9);
    std::printf("%11lld %9.1f %8.3f %8.3f %10.3f %12.3g %10.1f %8.0f %13.1f %6.1fx\n",
                static_cast<long long>(n), mb, best, median, literal, 1 / per_reading,
                per_reading * 1e9, mb / best,
                static_cast<double>(peak_kb) * 1024 / static_cast<double>(n), literal / best);
    std::fflush(stdout);
    fs::remove(in);
    fs::remove(fast_out);
    fs::remove(literal_out);
  }
  fs::remove_all(dir);
  auto [low, high] = std::minmax_element(ns_per_reading.begin(), ns_per_reading.end());
  std::printf("\nlinearity: ns/reading spans %.1f to %.1f (%.0f %%)\n", *low, *high,
              (*high / *low - 1) * 100);
  std::printf("outputs: %s\n", identical ? "identical bytes" : "DIFFERENT BYTES");
  return identical ? 0 : 1;
}
