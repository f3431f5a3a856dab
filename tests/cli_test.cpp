// Runs the built program as a user would: real files, real arguments, exact bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "calendar.h"
#include "literal_passes.h"
#include "memory_group.h"
#include "test_files.h"
#include "window_driver.h"

using namespace ctp;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// AddressSanitizer cannot start under an address-space limit. GCC says it is on with
// __SANITIZE_ADDRESS__, clang with __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define CTP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CTP_ASAN 1
#endif
#endif

// Built for another machine, the program runs through its emulator (qemu-user), which
// does not enforce address-space and data-size limits on the program.
#if defined(CTP_EMULATOR)
const char* const emulator[] = {CTP_EMULATOR};
#define CTP_SKIP_UNDER_EMULATION() \
  GTEST_SKIP() << "the emulator does not enforce address-space and data-size limits"
#else
#define CTP_SKIP_UNDER_EMULATION() (void)0
#endif

// Wall-clock bounds hold in the release build only: the sanitizers and emulators slow a
// run many times.
#if defined(CTP_ASAN) || defined(CTP_EMULATOR)
#define EXPECT_FASTER_THAN(elapsed, bound) EXPECT_TRUE(true || (elapsed) < (bound))
#else
#define EXPECT_FASTER_THAN(elapsed, bound) EXPECT_LT(elapsed, bound)
#endif

namespace {

const std::string trailer = "\n Try it again!\n\n";
const std::string no_input = "\n Input file has not been specified." + trailer;
const std::string unreadable_input = "\n Input file could not be read." + trailer;
const std::string no_output = "\n Output file has not been specified." + trailer;
const std::string output_is_input = "\n Output file is the same as the input file." + trailer;
const std::string unwritable_output = "\n Output file could not be written." + trailer;
const std::string no_count = "\n Number of readings has not been specified." + trailer;
const std::string no_memory = "\n Not enough memory for that number of readings." + trailer;
const std::string no_disk_room =
    "\n Not enough room on the output's disk for that number of readings." + trailer;
const std::string no_memory_to_read = "\n Not enough memory to read the input file." + trailer;
const std::string unwritable_stdout = "\n Standard output could not be written." + trailer;

struct Result {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out, err;
};

// How the program is started, beyond its arguments.
struct Launch {
  int stdin_fd = -1;        // standard input; -1: /dev/null
  int stdout_fd = -1;       // standard output; -1: a file read back into Result::out
  std::vector<int> closed;  // standard descriptors closed at the start
  std::optional<std::pair<int, rlim_t>> limit;  // a resource limit and its value
  std::string cgroup_procs;                     // a control group's cgroup.procs to join
  fs::path cwd;                                 // the working directory, if not this one
  std::chrono::seconds timeout{60};             // killed after this long
};

// Each test works in a directory of its own, removed afterwards.
class Cli : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.empty()); }

  Result run(const std::vector<std::string>& args, const Launch& launch = {}) {
    fs::path out_path = dir / ".stdout", err_path = dir / ".stderr";
    fs::remove(out_path);
    // Everything the child needs is made before the fork: another thread (a pipe's writer)
    // may hold the allocator's lock at the fork, and the child must not wait for it.
    std::vector<char*> argv;
#if defined(CTP_EMULATOR)
    for (const char* word : emulator) argv.push_back(const_cast<char*>(word));
#endif
    argv.push_back(const_cast<char*>(binary));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    char pid_text[24];
    pid_t pid = fork();
    if (pid == 0) {
      dup2(launch.stdin_fd >= 0 ? launch.stdin_fd : open("/dev/null", O_RDONLY), 0);
      dup2(launch.stdout_fd >= 0 ? launch.stdout_fd
                                 : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
           1);
      dup2(open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      for (int fd : launch.closed) close(fd);
      if (launch.limit) {
        rlimit limit{launch.limit->second, launch.limit->second};
        setrlimit(launch.limit->first, &limit);
      }
      if (!launch.cgroup_procs.empty()) {
        int length = std::snprintf(pid_text, sizeof pid_text, "%d\n", getpid());
        int procs = open(launch.cgroup_procs.c_str(), O_WRONLY);
        if (procs < 0 || write(procs, pid_text, length) != length) _exit(126);
      }
      if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0) _exit(126);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    int wstatus = 0;
    auto deadline = std::chrono::steady_clock::now() + launch.timeout;
    while (waitpid(pid, &wstatus, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) kill(pid, SIGKILL);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Result r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
  }

  std::string path(const char* name) const { return (dir / name).string(); }

  // args with "IN", "OUT", "NEW" and "LARGE" standing for the paths of the files so named.
  std::vector<std::string> with_paths(const std::vector<std::string>& args) const {
    std::vector<std::string> with;
    for (const std::string& a : args)
      with.push_back(a == "IN"      ? path("in")
                     : a == "OUT"   ? path("out")
                     : a == "NEW"   ? path("new")
                     : a == "LARGE" ? path("large")
                                    : a);
    return with;
  }

  // text with "@IN" standing for the path of the file so named.
  std::string with_path(std::string text) const {
    for (std::size_t at; (at = text.find("@IN")) != std::string::npos;)
      text.replace(at, 3, path("in"));
    return text;
  }

  TempDir scratch;
  const fs::path dir = scratch.path;
  const char* binary = CTP_BINARY;  // the program run
};

// The slowest runs: the release suite runs them, the sanitizer suites leave them out.
class CliSlow : public Cli {};

const std::string sample_input =
    "2020-02-29 23:59:30\t1.0132\n"
    "2020-02-29 23:59:45\t1.0135\r\n"
    "\n"
    "2020-03-01 00:00:00.5   0.9999\n"
    "2020-03-01 00:00:15\t-0.25\n";
const std::string sample_output =
    "0.000000    -1013.200000\n"
    "15.000000    -1013.500000\n"
    "30.500000    -999.900000\n"
    "45.000000    250.000000\n";

// One row of the command-line table. In arguments, "IN" and "OUT" stand for the paths of
// the input file (holding sample_input) and of the output file (holding "old" beforehand).
struct Case {
  const char* name;
  std::vector<std::string> args;
  std::string out, err;
  int status;
  std::optional<std::string> output;  // the output file afterwards; nullopt: not there
};

const std::string absent = "/nonexistent/dir/file";

const Case cases[] = {
    {"NoArguments", {}, "", no_input, 1, "old"},
    {"InputMissing", {absent, "NEW", "3"}, "", no_input, 1, std::nullopt},
    {"InputAndOutputUnusable", {absent, absent, "x"}, "", no_input, 1, "old"},
    {"OnlyInput", {"IN"}, "", no_output, 2, "old"},
    {"OutputUnusable", {"IN", absent, "4"}, "", no_output, 2, "old"},
    {"OutputIsADirectory", {"IN", "/tmp", "4"}, "", no_output, 2, "old"},
    {"CountMissing", {"IN", "OUT"}, "", no_count, 3, ""},
    {"CountAboveInt64", {"IN", "OUT", "9223372036854775808"}, "", no_count, 3, ""},
    {"CountBelowInt64", {"IN", "OUT", "-9223372036854775809"}, "", no_count, 3, ""},
    {"CountHuge", {"IN", "OUT", "99999999999999999999999"}, "", no_count, 3, ""},
    {"CountBeyondTheDisk", {"IN", "OUT", "100000000000000"}, "", no_disk_room, 3, ""},
    {"CountInt64Max", {"IN", "OUT", "9223372036854775807"}, "", no_disk_room, 3, ""},
    {"CountZero", {"IN", "OUT", "0"}, "0\n", "", 0, ""},
    {"CountNegative", {"IN", "OUT", "-5"}, "-5\n", "", 0, ""},
    {"CountInt64Min", {"IN", "OUT", "-9223372036854775808"}, "-9223372036854775808\n", "", 0, ""},
    {"CountBlankAndPlus", {"IN", "OUT", " \t+04"}, "4\n", "", 0, sample_output},
    {"ExtraArgumentsIgnored", {"IN", "OUT", "4", "x", "y"}, "4\n", "", 0, sample_output},
    {"FewerReadingsThanN",
     {"IN", "OUT", "2"},
     "2\n",
     "",
     0,
     "0.000000    -1013.200000\n15.000000    -1013.500000\n"},
    // The readings after the count are in the logger's own layout: none may be read.
    {"FewerLoggerReadingsThanN", {"IN", "OUT", "1"}, "1\n", "", 0, "0.000000    -1013.200000\n"},
    {"MoreReadingsThanFile",
     {"IN", "OUT", "6"},
     "6\n",
     "\n Readings lost: 2 of 6. The first: line 6, column 1: reading 5 lies past the end of the "
     "file.\n For the rest: check_time_pressure @IN 6" +
         trailer,
     4,
     sample_output + "nan    nan\nnan    nan\n"},
    {"LossAndFullDisk", {"IN", "/dev/full", "6"}, "6\n", unwritable_output, 2, "old"},
    {"DevNullOutput", {"IN", "/dev/null", "4"}, "4\n", "", 0, "old"},
    {"InputBeyond2GiB", {"LARGE", "OUT", "4"}, "4\n", "", 0, sample_output},
    {"FullDisk", {"IN", "/dev/full", "4"}, "4\n", unwritable_output, 2, "old"},
    {"DirectoryInput", {"/tmp", "NEW", "4"}, "", no_input, 1, std::nullopt},
    {"UnreadableInput", {"/proc/self/mem", "OUT", "4"}, "4\n", unreadable_input, 1, ""},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CliTable : public Cli, public testing::WithParamInterface<Case> {};

TEST_P(CliTable, StdoutStderrStatusAndOutputFile) {
  const Case& c = GetParam();
  spit(dir / "in", sample_input);
  // Past 2^31 bytes, where a 32-bit file offset ends: the readings, then a hole.
  spit(dir / "large", sample_input);
  fs::resize_file(dir / "large", (std::uintmax_t{1} << 31) + 4096);
  spit(dir / "out", "old");
  Result r = run(with_paths(c.args));
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, with_path(c.err));
  EXPECT_EQ(r.status, c.status);
  bool writes_new = std::find(c.args.begin(), c.args.end(), "NEW") != c.args.end();
  fs::path output = writes_new ? dir / "new" : dir / "out";
  if (c.output) {
    EXPECT_EQ(slurp(output), *c.output);
  } else {
    EXPECT_FALSE(fs::exists(output));
  }
  EXPECT_EQ(slurp(dir / "in"), sample_input);
}

INSTANTIATE_TEST_SUITE_P(Arguments, CliTable, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Where the program meets the system: closed standard descriptors, a standard output that
// cannot be written, a file size limit, one pipe as both input and output. In arguments,
// "IN" and "OUT" stand as in the table above; the input must never change.
struct SystemCase {
  const char* name;
  std::vector<int> closed;  // standard descriptors closed when the program starts
  // Standard output: a file, a closed pipe, /dev/full, or a socket, whose bytes are `out`;
  // standard input is a pipe, or with a socket for standard output, a socket too.
  enum Stdout { captured, closed_pipe, full, socket } stdout_kind;
  std::vector<std::string> args;
  std::string out, err;
  int status;
  std::string output;  // OUT afterwards
};

using enum SystemCase::Stdout;

const SystemCase system_cases[] = {
    {"StdinClosed", {0}, captured, {"IN", "OUT", "4"}, "4\n", "", 0, sample_output},
    {"StdoutClosed", {1}, captured, {"IN", "OUT", "4"}, "", "", 0, sample_output},
    {"StderrClosed", {2}, captured, {"IN", "OUT", "abc"}, "", "", 3, ""},
    {"StdinAndStdoutClosed", {0, 1}, captured, {"IN", "OUT", "4"}, "", "", 0, sample_output},
    {"StdinAndStderrClosed", {0, 2}, captured, {"IN", "OUT", "x"}, "", "", 3, ""},
    {"StdoutAndStderrClosedOutputIsInput", {1, 2}, captured, {"IN", "IN", "4"}, "", "", 2, "old"},
    {"StdoutAndStderrClosedCountUnusable", {1, 2}, captured, {"IN", "OUT", "abc"}, "", "", 3, ""},
    {"AllClosed", {0, 1, 2}, captured, {"IN", "OUT", "4"}, "", "", 0, sample_output},
    {"StdoutAClosedPipe",
     {},
     closed_pipe,
     {"IN", "OUT", "4"},
     "",
     unwritable_stdout,
     2,
     sample_output},
    {"StdoutFull", {}, full, {"IN", "OUT", "4"}, "", unwritable_stdout, 2, sample_output},
    {"StdinAsBothInputAndOutput",
     {},
     captured,
     {"/dev/stdin", "/dev/stdin", "4"},
     "",
     output_is_input,
     2,
     "old"},
    // Node.js, systemd and inetd hand over sockets, which cannot be opened by name.
    {"Sockets", {}, socket, {"/dev/fd/0", "/dev/stdout", "4"}, "4\n" + sample_output, "", 0, "old"},
    // A descriptor closed at the start names no file, though a placeholder fills its place.
    {"ClosedStdinNamed", {0}, captured, {"/dev/stdin", "OUT", "4"}, "", no_input, 1, "old"},
    {"ClosedStdoutNamed", {1}, captured, {"IN", "/dev/stdout", "4"}, "", no_output, 2, "old"},
};

void PrintTo(const SystemCase& c, std::ostream* os) { *os << c.name; }

class CliSystemTable : public Cli, public testing::WithParamInterface<SystemCase> {};

TEST_P(CliSystemTable, StdoutStderrStatusAndOutputFile) {
  const SystemCase& c = GetParam();
  spit(dir / "in", sample_input);
  spit(dir / "out", "old");
  // Standard input holds the readings, its writing end closed.
  int input[2];
  if (c.stdout_kind == SystemCase::socket)
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input), 0);
  else
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);  // the program must not hold the writing end
  ASSERT_EQ(write(input[1], sample_input.data(), sample_input.size()),
            static_cast<ssize_t>(sample_input.size()));
  close(input[1]);
  Launch launch{.stdin_fd = input[0], .closed = c.closed, .timeout = std::chrono::seconds(10)};
  int output[2] = {-1, -1};
  if (c.stdout_kind == SystemCase::closed_pipe) {
    ASSERT_EQ(pipe(output), 0);
    close(output[0]);
    launch.stdout_fd = output[1];
  } else if (c.stdout_kind == SystemCase::full) {
    launch.stdout_fd = output[1] = open("/dev/full", O_WRONLY);
  } else if (c.stdout_kind == SystemCase::socket) {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, output), 0);
    launch.stdout_fd = output[1];
  }
  Result r = run(with_paths(c.args), launch);
  close(input[0]);
  if (output[1] >= 0) close(output[1]);
  if (c.stdout_kind == SystemCase::socket) {
    char bytes[4096];
    ssize_t got = read(output[0], bytes, sizeof bytes);
    r.out.assign(bytes, got > 0 ? static_cast<std::size_t>(got) : 0);
    close(output[0]);
  }
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(slurp(dir / "out"), c.output);
  EXPECT_EQ(slurp(dir / "in"), sample_input);
}

INSTANTIATE_TEST_SUITE_P(System, CliSystemTable, testing::ValuesIn(system_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A write past the file size limit is reported, not ended by a signal; the lines written
// whole stay. Where the disk has room for it, the count's shortest output passes 2^32 bytes,
// which a disk room worked out in 32 bits would refuse.
TEST_F(Cli, OutputBeyondTheFileSizeLimit) {
  spit(dir / "in", sample_input);
  std::string n = fs::space(dir).available > (std::uintmax_t{5} << 30) ? "400000000" : "4";
  Result r = run({path("in"), path("out"), n}, {.limit = {{RLIMIT_FSIZE, 64}}});
  EXPECT_EQ(r.out, n + "\n");
  EXPECT_EQ(r.err, unwritable_output);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(slurp(dir / "out"), sample_output.substr(0, sample_output.rfind('\n', 63) + 1));
}

// --help and --version answer only as the sole argument; before a count, "--help" is a
// file name like any other.
TEST_F(Cli, HelpAndVersionOnlyAlone) {
  Result help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_TRUE(help.out.starts_with("Usage: convert_time_pressure INPUT OUTPUT COUNT\n"));
  for (std::size_t at = 0, end; (end = help.out.find('\n', at)) != std::string::npos; at = end + 1)
    EXPECT_LT(end - at, 80u) << help.out.substr(at, end - at);
  for (const std::string& message :
       {no_input, unreadable_input, no_memory_to_read, no_output, output_is_input,
        unwritable_output, unwritable_stdout, no_count, no_memory, no_disk_room})
    EXPECT_NE(help.out.find(message.substr(2, message.size() - 2 - trailer.size())),
              std::string::npos)
        << message;
  Result version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "convert_time_pressure " CTP_VERSION "\n");
  int full = open("/dev/full", O_WRONLY);
  Result unwritable = run({"--help"}, {.stdout_fd = full});
  close(full);
  EXPECT_EQ(unwritable.err, unwritable_stdout);
  EXPECT_EQ(unwritable.status, 2);
  spit(dir / "--help", sample_input);
  Result file = run({"--help", "out", "4"}, {.cwd = dir});
  EXPECT_EQ(file.status, 0);
  EXPECT_EQ(slurp(dir / "out"), sample_output);
}

// The count is echoed exactly as sscanf's "%ld" reads it.
TEST_F(Cli, CountEchoMatchesSscanf) {
  spit(dir / "in", "");
  const char* counts[] = {"",    "abc",          "-",   "7",   "+7",
                          " 7",  "\n\t\v\f\r 7", "-0",  "007", "12abc",
                          "3 4", "0x10",         "1e3", "-12", "9223372036854775807x",
                          "+-3", "--3",          " ",   "x1"};
  for (const char* count : counts) {
    std::int64_t expected = 0;
    bool parses = std::sscanf(count, "%" SCNd64, &expected) == 1;
    Result r = run({path("in"), path("out"), count});
    if (parses && expected <= 1000) {
      EXPECT_EQ(r.out, std::to_string(expected) + "\n") << count;
      EXPECT_EQ(r.status, expected > 0 ? 4 : 0) << count;  // past the end of an empty file
    } else if (parses) {
      EXPECT_EQ(r.err, no_disk_room) << count;
    } else {
      EXPECT_EQ(r.err, no_count) << count;
    }
  }
}

// A count that the output's room or the memory cannot take is refused at once, before the
// echo: on this disk, on a 1 MiB tmpfs, on a tmpfs larger than a memory group (its pages
// are memory), and in a memory group without room for a window. Lines that fill a memory
// group's tmpfs, or an overlay's tmpfs upper layer, or a disk, part-way end the run with
// its message and whole lines, never a kill, and so does a number longer than the room
// the lines leave. Should a count be accepted all the same, the file size limit ends the
// run at 1 MiB.
TEST_F(CliSlow, CountBeyondTheRoomIsRefusedOrEndsWithWholeLines) {
  const std::string line = "0.000000    -1013.500000\n";  // of every reading below
  auto repeat = [](const std::string& text, std::size_t times) {
    std::string all;
    for (std::size_t i = 0; i < times; ++i) all += text;
    return all;
  };
  const std::string reading = "2020-01-01 00:00:00\t1.0135\n";
  spit(dir / "in", repeat(reading, 2'000'000));  // 50 MB of lines
  spit(dir / "long",
       repeat(reading, 1'000'000) + "2020-01-01 00:00:00\t" + std::string(30'000'000, '1') + "\n");
  struct Row {
    fs::path out;
    std::string count;
    std::int64_t group_bytes;  // the memory group to run in; 0: none
    std::string err;
    int status;
    const char* in = "in";
  };
  std::vector<Row> rows = {{dir / "out", "10000000000000", 0, no_disk_room, 3},
                           {dir / "out", "100000", 12 << 20, no_memory, 3}};
  fs::path small = dir / "small", large = dir / "large", ram = dir / "ram", over = dir / "over";
  for (const fs::path& p : {small, large, ram, over, dir / "lower"}) fs::create_directory(p);
  bool mounted = mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") == 0 &&
                 mount("tmpfs", large.c_str(), "tmpfs", 0, "size=1t") == 0 &&
                 mount("ramfs", ram.c_str(), "ramfs", 0, nullptr) == 0 &&
                 fs::create_directory(large / "upper") && fs::create_directory(large / "work") &&
                 mount("overlay", over.c_str(), "overlay", 0,
                       ("lowerdir=" + path("lower") + ",upperdir=" + (large / "upper").string() +
                        ",workdir=" + (large / "work").string())
                           .c_str()) == 0;
  if (mounted) {
    rows.push_back({small / "out", "10000000000000", 0, no_disk_room, 3});
    rows.push_back({large / "out", std::to_string((64 << 20) / 11 + 1), 64 << 20, no_memory, 3});
    rows.push_back({large / "out", "2000000", 48 << 20, unwritable_output, 2});
    // Fault: ramfs reports no blocks, once read as a full disk.
    rows.push_back({ram / "out", "1", 0, "", 0});
#if !defined(CTP_EMULATOR)  // the emulator ignores the data-size limit
    // Fault: the data-size limit, set once, let the number's buffer pass the group's limit.
    rows.push_back({large / "out", "1000001", 54 << 20, no_memory_to_read, 1, "long"});
#endif
    // Fault: an overlay's tmpfs upper layer, once counted as a disk.
    rows.push_back({over / "out", "1999999", 48 << 20, unwritable_output, 2});
    // Fault: a disk that fills part-way, once left with part of a line.
    rows.push_back({small / "out", "90000", 0, unwritable_output, 2});
  }
  bool groups = true;
  for (const Row& row : rows) {
    Launch launch{.limit = {{RLIMIT_FSIZE, 1 << 20}}, .timeout = std::chrono::seconds(20)};
    if (row.status != 3) launch.limit.reset();
    fs::path group;
    if (row.group_bytes > 0) {
      group = memory_group(dir.filename().string() + "_" + row.count, row.group_bytes);
      groups = !group.empty();
      if (!groups) continue;
      launch.cgroup_procs = group / "cgroup.procs";
    }
    auto start = std::chrono::steady_clock::now();
    Result r = run({path(row.in), row.out.string(), row.count}, launch);
    if (row.status == 3) {
      EXPECT_FASTER_THAN(std::chrono::steady_clock::now() - start, 1s) << row.out;
    }
    EXPECT_EQ(r.out, row.status == 3 ? "" : row.count + "\n") << row.out;
    EXPECT_EQ(r.err, row.err) << row.out;
    EXPECT_EQ(r.status, row.status) << row.out;
    std::string written = slurp(row.out);
    EXPECT_EQ(row.status == 3, written.empty()) << row.out;
    EXPECT_LT(written.size(), 2'000'000 * line.size()) << row.out;
    EXPECT_TRUE(written == repeat(line, written.size() / line.size())) << row.out;
    fs::remove(row.out);
    if (!group.empty()) fs::remove(group);
  }
  for (const fs::path& p : {over, small, large, ram}) umount2(p.c_str(), MNT_DETACH);
  if (!mounted || !groups)
    GTEST_SKIP() << "rows left out: tmpfs, ramfs and overlay need root, a memory group a "
                    "cgroup v1 controller";
}

// A file of several windows converts as the literal passes convert it, to the count, which
// is less than the readings: odd readings (which the C library scans) on both sides of the
// first window's end and across every read block's end, the logger's layout at the second
// window's end and after the last reading counted.
TEST_F(CliSlow, SeveralWindowsConvertAsTheLiteralPasses) {
  const char* const odd[] = {"inf", "0x1p3", "1e400", "-INF", "1.5E+3", "+00.25"};
  std::string text;
  constexpr int readings = 200'000, n = readings - 1;
  for (int i = 0; i < readings; ++i) {
    bool edge = std::abs(i - 65536) <= 2 || (text.size() + 40) >> 20 != text.size() >> 20;
    char line[64];
    std::snprintf(line, sizeof line, "2020-03-%02d %02d:%02d:%02d\t%s\n", 1 + i / 86400,
                  i / 3600 % 24, i / 60 % 60, i % 60, edge ? odd[i % 6] : "1.0135");
    text += line;
  }
  std::FILE* in = file_with(text);
  std::FILE* out = std::tmpfile();
  Window whole;
  ASSERT_TRUE(allocate_window(whole, n));
  literal_read_readings(in, whole.series);
  convert_times(whole.series);
  ASSERT_TRUE(literal_write_lines(out, whole.series));
  std::rewind(out);
  spit(dir / "in", text);
  Result r = run({path("in"), path("out"), std::to_string(n)});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(slurp(dir / "out") == rest_of(out));
  std::fclose(in);
  std::fclose(out);
}

// Under any address-space limit the run converts, or refuses the count with its message;
// it never ends by an exception or a signal. The limits step across the one below which
// the series and the passes' buffers cannot all be had.
TEST_F(CliSlow, NoAddressSpaceLimitEndsTheRunBySignal) {
  CTP_SKIP_UNDER_EMULATION();
#if defined(CTP_ASAN)
  GTEST_SKIP() << "AddressSanitizer cannot start under an address-space limit";
#endif
  spit(dir / "in", sample_input);
  std::string converted = sample_output;
  for (int i = 4; i < 20000; ++i) converted += "nan    nan\n";
  auto run_under = [&](rlim_t limit, const char* count) {
    return run({path("in"), path("out"), count}, {.limit = {{RLIMIT_AS, limit}}});
  };
  // The least limit, to a MiB, under which the program converts a reading at all.
  rlim_t least = 1 << 20;
  while (least < rlim_t{1} << 30 && run_under(least, "1").status != 0) least += 1 << 20;
  int converts = 0, refuses = 0;
  for (rlim_t limit = least - (4 << 20); limit < least + (4 << 20); limit += 128 << 10) {
    Result r = run_under(limit, "20000");
    if (r.status == 4) {  // every line written, the readings past the end lost
      ++converts;
      EXPECT_EQ(r.out, "20000\n") << limit;
      EXPECT_EQ(slurp(dir / "out"), converted) << limit;
    } else {
      ++refuses;
      EXPECT_EQ(r.out, "") << limit;
      EXPECT_EQ(r.err, no_memory) << limit;
      EXPECT_EQ(r.status, 3) << limit;
    }
  }
  EXPECT_GT(converts, 0);
  EXPECT_GT(refuses, 0);
}

// A number the C library cannot hold in the memory left is reported, not taken for the
// end of the file.
TEST_F(Cli, ANumberTooLongForTheMemoryLeftIsReported) {
  CTP_SKIP_UNDER_EMULATION();
#if defined(CTP_ASAN)
  GTEST_SKIP() << "AddressSanitizer cannot start under a data-size limit";
#endif
  spit(dir / "in", "2020-01-01 00:00:00\t" + std::string(40 << 20, '1') + "\n" + sample_input);
  // Under a data-size limit of the caller's, and in a memory group, where the program's own
  // data-size limit must stop the number before the group's limit does.
  std::vector<Launch> launches = {{.limit = {{RLIMIT_DATA, 32 << 20}}}};
  fs::path group = memory_group(dir.filename().string(), 32 << 20);
  if (!group.empty()) launches.push_back({.cgroup_procs = group / "cgroup.procs"});
  for (const Launch& launch : launches) {
    Result r = run({path("in"), path("out"), "2"}, launch);
    EXPECT_EQ(r.out, "2\n");
    EXPECT_EQ(r.err, no_memory_to_read);
    EXPECT_EQ(r.status, 1);
    // Fault: the checker, killed without a word.
    binary = CTP_CHECKER;
    r = run({path("in")}, launch);
    binary = CTP_BINARY;
    EXPECT_EQ(r.err, with_path("check_time_pressure: @IN: not enough memory to read it: a number "
                               "of millions of digits\n"));
    EXPECT_EQ(r.status, 2);
  }
  if (!group.empty()) fs::remove(group);
}

TEST_F(Cli, OutputNamingTheInputLeavesItUntouched) {
  spit(dir / "in", sample_input);
  fs::create_symlink(dir / "in", dir / "symlink");
  fs::create_hard_link(dir / "in", dir / "hardlink");
  for (std::string output :
       {path("in"), path("symlink"), path("hardlink"), (dir / "." / "in").string()}) {
    Result r = run({path("in"), output, "4"});
    EXPECT_EQ(r.out, "") << output;
    EXPECT_EQ(r.err, output_is_input) << output;
    EXPECT_EQ(r.status, 2) << output;
    EXPECT_EQ(slurp(dir / "in"), sample_input) << output;
  }
}

TEST_F(Cli, ReadsFromAPipeAsStandardInput) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  std::thread writer([&] {
    ASSERT_EQ(write(fds[1], sample_input.data(), sample_input.size()),
              static_cast<ssize_t>(sample_input.size()));
    close(fds[1]);
  });
  Result r = run({"/dev/stdin", path("out"), "4"}, {.stdin_fd = fds[0]});
  writer.join();
  close(fds[0]);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(slurp(dir / "out"), sample_output);
}

// A logger still writing: the pipe stays open after the readings asked for, and the
// program must finish without waiting for bytes that no scan needs.
TEST_F(Cli, DoesNotWaitOnAPipeForMoreThanItsReadings) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);  // the program must not hold the writing end
  ASSERT_EQ(write(fds[1], sample_input.data(), sample_input.size()),
            static_cast<ssize_t>(sample_input.size()));
  // Should the program wait all the same, the pipe is closed after five seconds.
  std::atomic<bool> finished = false;
  std::thread watchdog([&] {
    for (int i = 0; i < 500 && !finished; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  auto start = std::chrono::steady_clock::now();
  std::thread closer([&] {
    watchdog.join();
    close(fds[1]);
  });
  Result r = run({"/dev/stdin", path("out"), "4"}, {.stdin_fd = fds[0]});
  auto elapsed = std::chrono::steady_clock::now() - start;
  finished = true;
  closer.join();
  close(fds[0]);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(slurp(dir / "out"), sample_output);
  EXPECT_FASTER_THAN(elapsed, 3s);
}

TEST_F(Cli, ReadsFromAFifo) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  std::thread writer([&] { spit(dir / "fifo", sample_input); });
  Result r = run({path("fifo"), path("out"), "4"});
  writer.join();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(slurp(dir / "out"), sample_output);
}

// The checker on the files users meet: its whole report, its message and its status.
struct CheckCase {
  const char* name;
  std::string text;
  std::vector<std::string> args;  // "IN": the file holding text
  std::string out, err;           // "@IN": its path
  int status;
  std::vector<int> closed = {};  // standard descriptors closed at the start
};

const std::string day = "2020-01-01 00:00:00\t1.01\n2020-01-01 00:00:01\t1.02\n";
const std::string reading_1 =
    "reading 1, at line 1, is at 2020-01-01 00:00:00: the elapsed seconds count from there\n";
const std::string gap_1 = "line 2: the largest step forward, 1.000000 s, comes before reading 2\n";
const std::string lossy = "no count converts this file without a loss: mend it first\n";
const std::string items = " (year, month, day, hour, minute, second, value)";
const std::string mended = " @IN, and check the mended text\n";
const std::string zeros = R"(\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00)";
const std::string power_cut =
    ": mend with awk -F'\\t' '{ sub(/\\r$/, \"\") } $2 == \"\" "
    "{ $0 = $1 \"\\tnan\" } 1'" +
    mended;
// clang-format off
const CheckCase check_cases[] = {
    {"Clean", day, {"IN"}, "readings asked for: 2, every reading in the file; read in full: 2; "
     "lost: 0\n" + reading_1 + gap_1 + "the count to give: 2\n", "", 0},
    {"LineWithoutItsValue", "2020-01-01 00:00:00\n" + day, {"IN"}, "readings asked for: 4, up to "
     "where every scan stops; read in full: 0; lost: 4\n" + reading_1 + "line 1, column 20: line "
     "1 ends before the value of reading 1, which takes \"2020\" from line 2 as its value; 1 "
     "reading across a line\n  the bytes show a line without its value (a power cut)" + power_cut +
     "line 2, column 11: reading 2 stops after its month, item 2 of 7" + items + ", at \" "
     "00:00:00<TAB>1.01\"; 2 readings cut short\nline 2, column 14: reading 4 stops before its "
     "year, at \":00:00<TAB>1.01\", and so does every later reading; 1 reading stuck\n" + lossy,
     "", 1},
    // Fault: "the next line" where there was none.
    {"LastLineWithoutItsValue", "2020-01-01 00:00:00\t1\n2020-01-01 00:00:01\n", {"IN"}, "readings"
     " asked for: 2, every reading in the file; read in full: 1; lost: 1\n" + reading_1 + "line 2, "
     "column 20: line 2 ends before the value of reading 2, at the end of the file; 1 reading cut "
     "short\n  the bytes show a line without its value (a power cut)" + power_cut + gap_1 + lossy,
     "", 1},
    {"PowerCutInCrLfLines", "2020-01-01 00:00:00\r\n2020-01-01 00:00:01\t1\r\n", {"IN", "1"},
     "readings asked for: 1 (COUNT); read in full: 0; lost: 1\n" + reading_1 + "line 1, column 21: "
     "line 1 ends before the value of reading 1, which takes \"2020\" from line 2 as its value; 1 "
     "reading across a line\n  the bytes show a line without its value (a power cut), in CR LF "
     "lines" + power_cut, "", 1},
    {"SecondColumn", "2020-01-01 00:00:00\t1.01\t21.5\n" + day, {"IN"}, "readings asked for: 3, "
     "up to where every scan stops; read in full: 1; lost: 2\n" + reading_1 + "line 1, column 28: "
     "reading 2 stops after its year, item 1 of 7" + items + ", at \".5\"; 1 reading cut short\n"
     "line 1, column 28: reading 3 stops before its year, at \".5\", and so does every later "
     "reading; 1 reading stuck\n" + lossy, "", 1},
    {"DecimalComma", "2020-01-01 00:00:00\t1,01\n", {"IN"}, "readings asked for: 2, up to where "
     "every scan stops; read in full: 1; lost: 1\n" + reading_1 + "line 1, column 22: reading 2 "
     "stops before its year, at \",01\", and so does every later reading; 1 reading stuck\n  the "
     "bytes show a decimal comma: mend with tr ';,' '\\t.' <" + mended + lossy, "", 1},
    // The mend once, though two findings show it.
    {"Semicolons", "2020-01-01 00:00:00;1,01\n", {"IN"}, "readings asked for: 2, up to where every "
     "scan stops; read in full: 0; lost: 2\n" + reading_1 + "line 1, column 20: reading 1 stops "
     "after its second, item 6 of 7" + items + ", at \";1,01\"; 1 reading cut short\n  the bytes "
     "show semicolons and decimal commas: mend with tr ';,' '\\t.' <" + mended + "line 1, column "
     "20: reading 2 stops before its year, at \";1,01\", and so does every later reading; 1 "
     "reading stuck\n" + lossy, "", 1},
    {"HeaderLine", "time\tpressure\n" + day, {"IN", "2"}, "readings asked for: 2 (COUNT); read in "
     "full: 0; lost: 2\nline 1, column 1: reading 1 stops before its year, at \"time<TAB>pressure"
     "\", and so does every later reading; 2 readings stuck\n  the bytes show a header line: mend "
     "with tail -n +2" + mended, "", 1},
    {"ByteOrderMark", "\xef\xbb\xbf" + day, {"IN"}, "readings asked for: 1, up to where every scan "
     "stops; read in full: 0; lost: 1\nline 1, column 1: reading 1 stops before its year, at \"\\"
     "xef\\xbb\\xbf2020-01-01 00:00:00<TAB>1\", and so does every later reading; 1 reading stuck\n"
     "  the bytes show a UTF-8 byte-order mark: mend with sed '1s/^\\xEF\\xBB\\xBF//'" + mended +
     lossy, "", 1},
    // Fault: "past the end of the file" for a footer that the count reaches.
    {"FooterAtTheCount", day + "end of day\n", {"IN", "3"}, "readings asked for: 3 (COUNT); read "
     "in full: 2; lost: 1\n" + reading_1 + "line 3, column 1: reading 3 stops before its year, at "
     "\"end of day\", and so does every later reading; 1 reading stuck\n" + gap_1, "", 1},
    // Fault: the count of the readings before a footer, which drops it.
    {"CountOfAFileWithAFooter", day + "end of day\n", {"--count", "IN"}, "", "check_time_pressure:"
     " @IN: line 3, column 1: reading 3 stops before its year, at \"end of day\", and so does "
     "every later reading; 1 of 3 readings lost\n", 1},
    {"FirstOfAGzipFile", std::string("\x1f\x8b\x08\x00", 4), {"--first", "IN"}, "", "check_time_"
     "pressure: @IN: line 1, column 1: reading 1 stops before its year, at \"\\x1f\\x8b\\x08\\x00"
     "\", and so does every later reading; 1 of 1 readings lost; a gzip file: mend with gunzip "
     "-c @IN\n", 1},
    {"StepBack", day + "2020-01-01 00:00:00\t1.03\n2020-01-01 00:00:09\t1.04\n", {"IN"}, "readings"
     " asked for: 4, every reading in the file; read in full: 4; lost: 0\n" + reading_1 + "line 3:"
     " the time steps back 1.000000 s at reading 3; steps back: 1\nline 4: the largest step "
     "forward, 9.000000 s, comes before reading 4\nthe count to give: 4\n", "", 0},
    {"BlankLinesAndNoLastLineFeed", "\n" + day + "\n2020-01-01 00:00:02\t1", {"IN"}, "readings "
     "asked for: 3, every reading in the file; read in full: 3; lost: 0\nreading 1, at line 2, is "
     "at 2020-01-01 00:00:00: the elapsed seconds count from there\nline 3: the largest step "
     "forward, 1.000000 s, comes before reading 2\nthe count to give: 3\n", "", 0},
    {"MonthOutsideTheYear", day + "2020-13-01 00:00:00\t1\n", {"IN"}, "readings asked for: 3, "
     "every reading in the file; read in full: 2; lost: 1\n" + reading_1 + "line 3, column 1: "
     "reading 3 has no time: its month lies outside 1 to 12 (13), at \"2020-13-01 00:00:00<TAB>1"
     "\"; 1 reading without a time\n" + gap_1 + lossy, "", 1},
    // Faults: an infinite hour taken for a time; a year's overflow named as its month.
    {"InfiniteHour", "2020-01-01 inf:00:00\t1.0\n", {"IN"}, "readings asked for: 1, every reading "
     "in the file; read in full: 0; lost: 1\nline 1, column 1: reading 1 has no time: its hour "
     "makes its time not finite, at \"2020-01-01 inf:00:00<TAB>1.0\"; 1 reading without a time\n" +
     lossy, "", 1},
    {"YearBeyond64BitSeconds", "999999999999-06-01 00:00:00\t1\n", {"IN"}, "readings asked for: "
     "1, every reading in the file; read in full: 0; lost: 1\nline 1, column 1: reading 1 has no "
     "time: its year puts its date past 64-bit seconds, at \"999999999999-06-01 00:00\"; 1 reading"
     " without a time\n" + lossy, "", 1},
    {"CountPastTheEnd", day, {"IN", "5"}, "readings asked for: 5 (COUNT); read in full: 2; lost: "
     "3\n" + reading_1 + "line 3, column 1: reading 3 lies past the end of the file; 3 readings "
     "past the end\n" + gap_1, "", 1},
    {"CountOnly", day + day, {"--count", "IN"}, "4\n", "", 0},
    {"FirstAfterTheOptionsEnd", day, {"--first", "--", "IN"}, "2020-01-01 00:00:00\n", "", 0},
    // Fault: 15 GB of zeros copied to /tmp; the first scan stops for good, and so does the read.
    {"Zeros", "", {"--count", "/dev/zero"}, "", "check_time_pressure: /dev/zero: line 1, column 1: "
     "reading 1 stops before its year, at \"" + zeros + zeros + "\", and so does every later reading; 1 "
     "of 1 readings lost\n", 1},
    // Fault: a report lost with status 0.
    {"StdoutClosed", day, {"IN"}, "", "check_time_pressure: standard output: closed\n", 2, {1}},
    {"Unreadable", "", {"/nonexistent"}, "", "check_time_pressure: /nonexistent: No such file or "
     "directory\n", 2},
};
// clang-format on

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckTable : public Cli, public testing::WithParamInterface<CheckCase> {};

TEST_P(CheckTable, ReportAndStatus) {
  const CheckCase& c = GetParam();
  spit(dir / "in", c.text);
  binary = CTP_CHECKER;
  Result r = run(with_paths(c.args), {.closed = c.closed});
  EXPECT_EQ(r.out, with_path(c.out));
  EXPECT_EQ(r.err, with_path(c.err));
  EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Files, CheckTable, testing::ValuesIn(check_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The bundled sample converts to the committed expected output, byte for byte.
TEST_F(Cli, BundledSample) {
  fs::path examples = fs::path(CTP_SOURCE_DIR) / "examples";
  Result r = run({(examples / "readings.txt").string(), path("out"), "400"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "400\n");
  EXPECT_EQ(slurp(dir / "out"), slurp(examples / "pressure.txt"));
}

}  // namespace
