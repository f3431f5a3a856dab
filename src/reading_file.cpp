// Read pass. A fast path reads the plain decimal text loggers write from a large buffer;
// any other reading goes to the C library's own fscanf, started at that very reading, so
// every reading is read exactly as the C library in use reads it.
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "calendar.h"
#include "logger_reading.h"
#include "platform.h"
#include "reading_input.h"
#include "reading_record.h"
#include "reading_series.h"

namespace ctp {

// A C library scan's first character other than white space and the next line feed.
struct ScanSpan {
  bool active = false;          // a C library scan is in progress
  std::int64_t from = 0;        // the next byte to look at
  std::int64_t first = -1;      // offset of its first character other than white space
  std::int64_t line_feed = -1;  // offset of the first line feed after that
  bool first_placed = false, line_feed_placed = false;
  Place first_place, line_feed_place;
};

// Where the read pass stands: the unscanned text, the C library's stream over it.
struct ReadingInput::Cursor {
  int fd = -1;
  std::size_t read_size = read_block_bytes;  // bytes asked of the system at a time
  std::size_t capacity = 0;                  // bytes of data
  char* data = nullptr;                      // the pass's buffer
  std::size_t pos = 0;                       // the next byte a scan reads
  std::size_t end = 0;                       // bytes read so far into data
  std::int64_t base = 0;                     // offset in the file of data[0]
  bool at_end = false;                       // the file has no more bytes
  bool scanning = true;  // false once a scan met the end of the file: no later scan assigns
  bool stuck = false;    // a scan was stuck: every later one stops at the same character
  int error = 0;         // errno of a read or scan that failed
  std::FILE* fallback = nullptr;    // the C library's stream over data, kept between scans
  std::int64_t fallback_read = 0;   // file offset up to which that stream has read
  std::int64_t fallback_ended = 0;  // file offset where its last scan ended
  // Lines, counted only where a place is named: line feeds before lines_to, and the offset
  // after the last. A regular file's bytes let go uncounted are read again (first_offset).
  bool rereadable = false, count_as_let_go = true;
  std::int64_t first_offset = 0;
  std::int64_t lines_to = 0, line_feeds = 0, line_start = 0;
  ScanSpan span;  // the C library's scan in progress
};

namespace {

using Cursor = ReadingInput::Cursor;

// One reading, as the C library scans it.
constexpr char reading_format[] = "%" SCNd64 "-%" SCNd64 "-%" SCNd64 " %lf:%lf:%lf\t%lf";

// Bytes kept before the cursor on a refill, for characters the C library pushes back.
constexpr std::size_t kept_history = 64;

static_assert(kept_history + longest_plain_reading + 1 + word_reach <= read_buffer_slack);

std::int64_t offset_of(const Cursor& in, std::size_t pos) {
  return in.base + static_cast<std::int64_t>(pos);
}

// Line feeds in the n bytes at p, sixteen lanes at a time, each lane summed every 255 steps.
std::int64_t line_feeds_in(const char* p, std::size_t n) {
  using Lanes = unsigned char __attribute__((vector_size(16)));
  std::int64_t total = 0;
  std::size_t i = 0;
  while (n - i >= sizeof(Lanes)) {
    Lanes count = {};
    const std::size_t steps = std::min<std::size_t>((n - i) / sizeof(Lanes), 255);
    for (const std::size_t stop = i + steps * sizeof(Lanes); i < stop; i += sizeof(Lanes)) {
      Lanes bytes;
      std::memcpy(&bytes, p + i, sizeof bytes);
      count -= reinterpret_cast<Lanes>(bytes == '\n');
    }
    for (std::size_t lane = 0; lane < sizeof(Lanes); ++lane) total += count[lane];
  }
  for (; i < n; ++i) total += p[i] == '\n';
  return total;
}

// Counts the line feeds of the n bytes at p, which stand at the file offset at.
void count_lines(Cursor& in, const char* p, std::size_t n, std::int64_t at) {
  in.line_feeds += line_feeds_in(p, n);
  if (const void* last = memrchr(p, '\n', n))
    in.line_start = at + (static_cast<const char*>(last) - p) + 1;
  in.lines_to = at + static_cast<std::int64_t>(n);
}

// Counts the lines of bytes let go uncounted, read again from the file (if it still has them).
[[gnu::cold, gnu::noinline]] void count_lines_let_go(Cursor& in) {
  CTP_ASSERT(in.rereadable && !in.count_as_let_go);
  char block[1 << 16];
  while (in.lines_to < in.base) {
    const auto size = static_cast<std::size_t>(
        std::min<std::int64_t>(in.base - in.lines_to, static_cast<std::int64_t>(sizeof block)));
    ssize_t got = pread(in.fd, block, size, in.first_offset + in.lines_to);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      in.lines_to = in.base;
      return;
    }
    count_lines(in, block, static_cast<std::size_t>(got), in.lines_to);
  }
}

// The line and column of the byte at offset; places are taken in the order of offsets.
Place place_at(Cursor& in, std::int64_t offset) {
  CTP_ASSERT(offset >= in.lines_to && offset <= offset_of(in, in.end));
  if (offset > in.lines_to) {
    if (in.lines_to < in.base) count_lines_let_go(in);
    count_lines(in, in.data + (in.lines_to - in.base),
                static_cast<std::size_t>(offset - in.lines_to), in.lines_to);
  }
  return {offset, in.line_feeds + 1, offset - in.line_start + 1};
}

// Looks at the span's bytes up to to; with place, places what it finds before it goes.
void look(Cursor& in, std::int64_t to, bool place) {
  ScanSpan& span = in.span;
  if (to <= span.from) return;
  const char* p = in.data + (span.from - in.base);
  const char* const end = in.data + (to - in.base);
  if (span.first < 0) {
    while (p < end && is_space(*p)) ++p;
    if (p < end) span.first = offset_of(in, static_cast<std::size_t>(p - in.data));
  }
  if (span.first >= 0 && span.line_feed < 0 && p < end) {
    if (const void* feed = std::memchr(p, '\n', static_cast<std::size_t>(end - p)))
      span.line_feed =
          offset_of(in, static_cast<std::size_t>(static_cast<const char*>(feed) - in.data));
  }
  span.from = to;
  if (!place) return;
  if (span.first >= 0 && !span.first_placed) {
    span.first_place = place_at(in, span.first);
    span.first_placed = true;
  }
  if (span.line_feed >= 0 && !span.line_feed_placed) {
    span.line_feed_place = place_at(in, span.line_feed);
    span.line_feed_placed = true;
  }
}

// Reads more text, keeping the unscanned bytes and some history. A NUL follows the last byte
// read: no fast-path item accepts it, so the fast path needs no bounds checks.
bool refill(Cursor& in) {
  if (in.at_end || in.error) return false;
  std::size_t keep_from = in.pos > kept_history ? in.pos - kept_history : 0;
  if (keep_from > 0) {
    const std::int64_t let_go_to = offset_of(in, keep_from);
    if (in.span.active) look(in, let_go_to, true);
    if (in.count_as_let_go && in.lines_to < let_go_to) place_at(in, let_go_to);
    std::memmove(in.data, in.data + keep_from, in.end - keep_from);
    in.base += static_cast<std::int64_t>(keep_from);
    in.pos -= keep_from;
    in.end -= keep_from;
    in.data[in.end] = '\0';
  }
  // The fast path gives up within longest_plain_reading bytes of pos, so a block fits.
  const bool fits = in.end + in.read_size < in.capacity;
  CTP_ASSERT(fits && in.capacity + word_reach <= read_buffer_bytes);
  if (!fits) {
    in.error = EOVERFLOW;
    return false;
  }
  ssize_t got;
  do got = ::read(in.fd, in.data + in.end, in.read_size);
  while (got < 0 && errno == EINTR);
  if (got == 0) in.at_end = true;
  if (got < 0) in.error = errno ? errno : EIO;
  if (got <= 0) return false;
  in.end += static_cast<std::size_t>(got);
  in.data[in.end] = '\0';
  return true;
}

// The C library's stream over the buffer: it reads the fast path's bytes, and ftell works.
ssize_t buffer_read(void* cookie, char* to, std::size_t size) {
  Cursor& in = *static_cast<Cursor*>(cookie);
  if (in.pos == in.end && !refill(in)) return in.error ? -1 : 0;
  std::size_t n = in.end - in.pos < size ? in.end - in.pos : size;
  std::memcpy(to, in.data + in.pos, n);
  in.pos += n;
  return static_cast<ssize_t>(n);
}

int buffer_seek(void* cookie, off64_t* offset, int whence) {
  if (whence != SEEK_CUR || *offset != 0) return -1;  // only ftell asks
  Cursor& in = *static_cast<Cursor*>(cookie);
  *offset = offset_of(in, in.pos);
  return 0;
}

enum class ScanEnd { more, end_of_file, failed };

// Scans one reading with fscanf from the buffer's position, and moves the position to where
// the scan stopped. The stream goes on from its own read-ahead when nothing was read since.
[[gnu::cold, gnu::noinline]] ScanEnd scan_with_c_library(Cursor& in, Scanned& r) {
  const std::int64_t start = offset_of(in, in.pos);
  in.span = {};
  in.span.from = start;
  if (!in.fallback) {
    cookie_io_functions_t io = {buffer_read, nullptr, buffer_seek, nullptr};
    in.fallback = fopencookie(&in, "r", io);
    if (!in.fallback) {
      in.error = errno ? errno : ENOMEM;
      return ScanEnd::failed;
    }
  } else if (start == in.fallback_ended) {
    in.pos = static_cast<std::size_t>(in.fallback_read - in.base);
  } else {
    __fpurge(in.fallback);
  }
  errno = 0;
  in.span.active = true;
  r.items =
      std::fscanf(in.fallback, reading_format, &r.YY, &r.MM, &r.DD, &r.hh, &r.mm, &r.ss, &r.temp);
  in.span.active = false;
  int scan_errno = errno;
  bool hit_end = std::feof(in.fallback);
  if (std::ferror(in.fallback) || in.error) {
    if (!in.error) in.error = EIO;
    return ScanEnd::failed;
  }
  // EOF before the end of the file: the scan failed (no memory for a long number, say).
  if (r.items == EOF && !hit_end) {
    in.error = scan_errno ? scan_errno : EIO;
    return ScanEnd::failed;
  }
  in.fallback_read = offset_of(in, in.pos);
  std::int64_t consumed = ftello(in.fallback);
  if (consumed < in.base || consumed > offset_of(in, in.end)) {
    in.error = EIO;
    return ScanEnd::failed;
  }
  in.pos = static_cast<std::size_t>(consumed - in.base);
  in.fallback_ended = consumed;
  look(in, consumed, false);
  return hit_end ? ScanEnd::end_of_file : ScanEnd::more;
}

// Drops a NaN's payload, keeping its sign, so that no reading poses as no_value().
double plain_nan(double v) {
  return std::isnan(v) ? std::copysign(std::numeric_limits<double>::quiet_NaN(), v) : v;
}

// The columns apart from the series, so that the compiler keeps the pointers in registers.
struct Columns {
  std::int64_t *YY, *MM, *DD;
  double *hh, *mm, *ss, *temp;

  explicit Columns(const ReadingSeries& s)
      : YY(s.YY), MM(s.MM), DD(s.DD), hh(s.hh), mm(s.mm), ss(s.ss), temp(s.temp) {}

  void put(std::int64_t i, const Scanned& r) const {
    YY[i] = r.YY;
    MM[i] = r.MM;
    DD[i] = r.DD;
    hh[i] = r.hh;
    mm[i] = r.mm;
    ss[i] = r.ss;
    temp[i] = r.temp;
  }

  void store(std::int64_t i, const Scanned& r) const {
    YY[i] = r.items >= 1 ? r.YY : 0;
    MM[i] = r.items >= 2 ? r.MM : 0;
    DD[i] = r.items >= 3 ? r.DD : 0;
    hh[i] = r.items >= 4 ? plain_nan(r.hh) : no_value();
    mm[i] = r.items >= 5 ? plain_nan(r.mm) : no_value();
    ss[i] = r.items >= 6 ? plain_nan(r.ss) : no_value();
    temp[i] = r.items >= 7 ? plain_nan(r.temp) : no_value();
  }
};

// Up to 24 bytes of the buffer from the offset at, as far as it holds them.
std::string text_at(const Cursor& in, std::int64_t at) {
  if (at < in.base) return "";
  const std::size_t from = static_cast<std::size_t>(at - in.base);
  return std::string(in.data + from, std::min<std::size_t>(in.end - from, 24));
}

// The up to 24 characters other than white space that end at the offset at.
std::string item_before(const Cursor& in, std::int64_t at) {
  const char* const end = in.data + (at - in.base);
  const char* p = end;
  while (p > in.data && end - p < 24 && !is_space(p[-1])) --p;
  return std::string(p, end);
}

// The items the line from first to line_feed holds, read alone; -1 once it is let go.
int items_on_line(const Cursor& in, std::int64_t first, std::int64_t line_feed) {
  char line[256];
  const std::int64_t length = line_feed - first;
  if (first < in.base || length >= static_cast<std::int64_t>(sizeof line)) return -1;
  std::memcpy(line, in.data + (first - in.base), static_cast<std::size_t>(length));
  line[length] = '\0';
  Scanned r;
  int items = std::sscanf(line, reading_format, &r.YY, &r.MM, &r.DD, &r.hh, &r.mm, &r.ss, &r.temp);
  return std::max(items, 0);
}

// The trace of a reading that the fast path read whole from the byte at from.
ScanTrace whole_reading(Cursor& in, const char* from) {
  while (is_space(*from)) ++from;
  return {Outcome::in_full, place_at(in, offset_of(in, static_cast<std::size_t>(from - in.data)))};
}

// Records reading i, whose scan stopped at stop: its outcome, places if first of its kind.
template <bool traced>
void record_reading(Cursor& in, OutcomeRecord& record, ScanTrace* trace, std::int64_t i,
                    Outcome outcome, const Scanned& r, std::int64_t stop, TimeFault fault) {
  const int kind = static_cast<int>(outcome);
  const bool first_lost = outcome != Outcome::in_full && record.count[kind]++ == 0;
  if (!traced && !first_lost) return;
  const ScanSpan& span = in.span;
  const Place start =
      span.first_placed ? span.first_place : place_at(in, span.first >= 0 ? span.first : stop);
  if constexpr (traced) trace[i] = {outcome, start};
  if (!first_lost) return;
  LostReading& lost = record.first[kind];
  lost.reading = i;
  lost.outcome = outcome;
  lost.items = std::max(r.items, 0);
  lost.start = start;
  if (span.line_feed >= 0) {
    lost.crossed = true;
    lost.line_end = span.line_feed_placed ? span.line_feed_place : place_at(in, span.line_feed);
    lost.line_items = items_on_line(in, span.first, span.line_feed);
    lost.crlf = span.line_feed > in.base && in.data[span.line_feed - in.base - 1] == '\r';
  }
  lost.stop = place_at(in, stop);
  lost.fault = fault;
  lost.month = r.MM;
  if (outcome == Outcome::across_lines) {
    lost.text = item_before(in, stop);
  } else if (outcome != Outcome::past_end) {
    lost.text = text_at(in, outcome == Outcome::without_time ? start.offset : stop);
  }
}

// The outcome of the C library's scan of r.
Outcome scanned_outcome(const Cursor& in, const Scanned& r, TimeFault& fault) {
  fault = TimeFault::none;
  if (r.items == EOF) return Outcome::past_end;
  if (r.items < 7) return r.items == 0 && in.span.first < 0 ? Outcome::stuck : Outcome::cut_short;
  if (in.span.line_feed >= 0) return Outcome::across_lines;
  fault = time_fault(r.YY, r.MM, r.DD, r.hh, r.mm, r.ss);
  return fault == TimeFault::none ? Outcome::in_full : Outcome::without_time;
}
}  // namespace

ReadingInput::ReadingInput(std::FILE* in, char* buffer, std::size_t read_size) {
  int fd = fileno(in);
  if (fd < 0 || read_size == 0 || read_size > read_block_bytes || !buffer) return;
  cursor_.reset(new (std::nothrow) Cursor);
  if (!cursor_) return;
  Cursor& c = *cursor_;
  c.fd = fd;
  c.read_size = read_size;
  // History, a reading the fast path gave up on at the NUL, a block and the NUL.
  c.capacity = kept_history + longest_plain_reading + read_size + 1;
  c.data = buffer;
  c.data[0] = '\0';
  struct stat st;
  c.rereadable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (c.rereadable) c.first_offset = lseek(fd, 0, SEEK_CUR);
  if (c.first_offset < 0) c.rereadable = false;
}

ReadingInput::~ReadingInput() { finish(); }

int ReadingInput::error() const { return cursor_ ? cursor_->error : 0; }

bool ReadingInput::ended() const { return !cursor_ || !cursor_->scanning || cursor_->stuck; }

void ReadingInput::finish() {
  if (!cursor_) return;
  Cursor& c = *cursor_;
  if (c.fallback) std::fclose(c.fallback);
  std::int64_t ahead = static_cast<std::int64_t>(c.end - c.pos);
  if (ahead > 0) lseek(c.fd, -ahead, SEEK_CUR);
  cursor_.reset();
}

// The read pass; traced, with each reading's outcome and start.
template <bool traced>
bool read_window(Cursor& c, ReadingSeries& s, OutcomeRecord& record, ScanTrace* trace,
                 bool to_the_end) {
  CTP_ASSERT(s.n <= s.capacity);
  record = {};
  c.count_as_let_go = traced || !c.rereadable;
  const std::int64_t n = s.n;
  const Columns columns(s);
  std::int64_t i = 0;
  RecentReading recent;
  while (i < n && c.scanning && !c.stuck) {
    const char* const data = c.data;
    CTP_ASSERT(c.pos <= c.end && c.data[c.end] == '\0');
    const char* p = data + c.pos;
    for (Scanned r; i < n; ++i) {
      const char* after = scan_logger_reading(p, r, recent);
      if (!after) break;
      CTP_ASSERT(after <= data + c.end);
      columns.put(i, r);
      if constexpr (traced) trace[i] = whole_reading(c, p);
      p = after;
    }
    c.pos = static_cast<std::size_t>(p - data);
    if (i == n) break;
    // Plain text in another layout.
    GeneralScan plain = scan_general_reading(p);
    CTP_ASSERT(static_cast<std::size_t>(plain.at - p) <= longest_plain_reading);
    if (plain.ok) {
      if constexpr (traced) trace[i] = whole_reading(c, p);
      columns.put(i++, plain.r);
      c.pos = static_cast<std::size_t>(plain.at - data);
      continue;
    }
    // Stopped on the NUL after the last byte read.
    if (plain.at == data + c.end && refill(c)) continue;
    if (c.error) return false;
    Scanned r;
    ScanEnd end = scan_with_c_library(c, r);
    if (end == ScanEnd::failed) return false;
    TimeFault fault;
    const Outcome outcome = scanned_outcome(c, r, fault);
    c.scanning = end == ScanEnd::more;
    c.stuck = outcome == Outcome::stuck;
    if (to_the_end && outcome == Outcome::past_end) break;
    record_reading<traced>(c, record, trace, i, outcome, r, offset_of(c, c.pos), fault);
    columns.store(i++, r);
    if (to_the_end && c.stuck) break;
  }
  if (to_the_end) {
    s.n = i;
  } else if (i < n) {
    // Every scan from here on assigns nothing: stuck, or at the end.
    const Outcome rest = c.stuck ? Outcome::stuck : Outcome::past_end;
    const Scanned none{0, 0, 0, 0, 0, 0, 0, c.stuck ? 0 : EOF};
    c.span = {};
    record_reading<traced>(c, record, trace, i, rest, none, offset_of(c, c.pos), TimeFault::none);
    record.count[static_cast<int>(rest)] += n - i - 1;
    for (std::int64_t k = i; k < n; ++k) {
      if constexpr (traced) trace[k] = trace[i];
      columns.store(k, none);
    }
  }
  record.count[static_cast<int>(Outcome::in_full)] = s.n - record.lost();
  return true;
}

bool read_readings(ReadingInput& input, ReadingSeries& s, OutcomeRecord& record, ScanTrace* trace,
                   bool to_the_end) {
  if (!input.cursor_) return false;
  return trace ? read_window<true>(*input.cursor_, s, record, trace, to_the_end)
               : read_window<false>(*input.cursor_, s, record, nullptr, to_the_end);
}

}  // namespace ctp
