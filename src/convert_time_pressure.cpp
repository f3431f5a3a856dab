// convert_time_pressure INPUT OUTPUT COUNT: logged pressure readings to two columns,
// seconds since the first reading and the value times -1000.
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "reading_record.h"
#include "reading_series.h"
#include "run_files.h"
#include "window_driver.h"

int main(int argc, char** argv) {
  using namespace ctp;
  if (!open_standard_descriptors()) return 2;
  // A write to a closed pipe or past the file size limit fails and is reported.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // The echo is written at once, so that its failure is known when it happens.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // Only as the sole argument: with more after it, --help is a file name like any other.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return print_usage();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return print_version();

  struct stat in_stat;
  std::FILE* in = argc < 2 ? nullptr : open_input(argv[1], in_stat);
  if (!in) return fail(no_input, 1);

  bool same_as_input = false;
  std::FILE* out = argc < 3 ? nullptr : open_output(argv[2], in_stat, same_as_input);
  if (!out) return fail(same_as_input ? output_is_input : no_output, 2);

  std::int64_t n = 0;
  if (argc < 4 || !parse_count(argv[3], n)) return fail(no_count, 3);

  // Every refusal comes before the echo, so that nothing reaches standard output. Where the
  // lines take memory, the shortest of them count against the room too.
  if (!output_fits(out, n)) return fail(no_disk_room, 3);
  const bool lines_in_memory = output_in_memory(out);
  const std::int64_t lines_memory = lines_in_memory ? shortest_output_bytes(n) : 0;

  Window window;
  if (n > 0 && !reserve_window(window, n, lines_memory)) return fail(no_memory, 3);

  // A failed echo is reported once the output is whole.
  const bool echoed = std::printf("%" PRId64 "\n", n) > 0;

  OutcomeRecord record;
  RunEnd end = convert_readings(in, out, n, window, record, {.lines_in_memory = lines_in_memory});
  if (end == RunEnd::read_out_of_memory) return fail(no_memory_to_read, 1);
  if (end == RunEnd::read_failed) return fail(unreadable_input, 1);

  std::fclose(in);
  if (std::fclose(out) != 0 || end == RunEnd::write_failed) return fail(unwritable_output, 2);
  if (!echoed) return fail(unwritable_stdout, 2);
  // Every line is written; a reading lost on the way is still a failure.
  if (record.lost() > 0) return fail_lost(record.lost(), n, finding(*record.first_lost()), argv[1]);
  return 0;
}
