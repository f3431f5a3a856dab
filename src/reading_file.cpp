// Read pass: scans the readings from the input stream into the series.
//
// Each reading is scanned as by fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Loggers
// write plain decimal text, which a fast path reads from a large buffer. Whatever else the
// text holds (exponents, hexadecimal, inf, nan, long digit strings, a line cut short, stray
// characters) goes to the C library's own fscanf, started at that very reading, so every
// reading is read exactly as the C library in use reads it, whatever its version.
#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "decimal_scanners.h"
#include "platform.h"
#include "reading_input.h"
#include "reading_series.h"

namespace ctp {

// Where the read pass stands in its input: the unscanned text in the series' read buffer,
// the C library's stream over it, and whether scanning has ended.
struct ReadingInput::Cursor {
  int fd = -1;
  std::size_t read_size = read_block_bytes;  // bytes asked of the system at a time
  std::size_t capacity = 0;                  // bytes of data
  char* data = nullptr;                      // the series' read buffer
  std::size_t pos = 0;                       // the next byte a scan reads
  std::size_t end = 0;                       // bytes read so far into data
  std::int64_t base = 0;                     // offset in the file of data[0]
  bool at_end = false;                       // the file has no more bytes
  bool scanning = true;  // false once a scan met the end of the file: no later scan assigns
  bool stuck = false;    // a scan assigned and consumed nothing: every later one does the same
  int error = 0;         // errno of a read or scan that failed
  std::FILE* fallback = nullptr;    // the C library's stream over data, kept between scans
  std::int64_t fallback_read = 0;   // file offset up to which that stream has read
  std::int64_t fallback_ended = 0;  // file offset where its last scan ended
};

namespace {

using Cursor = ReadingInput::Cursor;

// One reading, as the C library scans it.
constexpr char reading_format[] = "%" SCNd64 "-%" SCNd64 "-%" SCNd64 " %lf:%lf:%lf\t%lf";

// Bytes kept before the cursor when the buffer is refilled, so that characters the C
// library reads and then pushes back can be handed back to the buffer.
constexpr std::size_t kept_history = 64;

// The buffer holds the history, the unscanned text and a block, then the NUL, then the bytes
// the fast path may look at past it.
static_assert(kept_history + longest_plain_reading + 1 + word_reach <= read_buffer_slack);
constexpr std::size_t read_buffer_bytes = read_block_bytes + read_buffer_slack;

// The input text is read in large blocks straight from the stream's file descriptor into
// the series' read buffer. The byte after the last one read is always a NUL, which no
// fast-path item accepts, so the fast path needs no bounds checks: stopping on it means
// "more text needed".
//
// Reads more text after end, keeping the unscanned bytes and a little history. Returns
// false, reading nothing, at the end of the file or on a read error.
bool refill(Cursor& in) {
  if (in.at_end || in.error) return false;
  std::size_t keep_from = in.pos > kept_history ? in.pos - kept_history : 0;
  if (keep_from > 0) {
    std::memmove(in.data, in.data + keep_from, in.end - keep_from);
    in.base += static_cast<std::int64_t>(keep_from);
    in.pos -= keep_from;
    in.end -= keep_from;
    in.data[in.end] = '\0';
  }
  // The fast path gives up within longest_plain_reading bytes of pos, so a block always
  // fits, with the NUL and the bytes the scanners look at past it. Should a limit move
  // past the buffer's room, the sanitizer builds stop here, and the others fail the read.
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

// The offset in the file of the buffer's byte pos.
std::int64_t offset_of(const Cursor& in, std::size_t pos) {
  return in.base + static_cast<std::int64_t>(pos);
}

// The C library's stream functions over the buffer: the fallback scan reads the same bytes
// as the fast path, and its position comes back through ftell.
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

// Scans one reading with the C library's fscanf from the buffer's position and moves the
// position to where that scan stopped. One stream serves a run of such readings: it goes
// on from its own read-ahead when nothing was read between, and forgets it otherwise.
// Kept out of the fast loop: it is the rare path.
[[gnu::cold, gnu::noinline]] ScanEnd scan_with_c_library(Cursor& in, Scanned& r) {
  const std::int64_t start = offset_of(in, in.pos);
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
  r.items =
      std::fscanf(in.fallback, reading_format, &r.YY, &r.MM, &r.DD, &r.hh, &r.mm, &r.ss, &r.temp);
  int scan_errno = errno;
  bool hit_end = std::feof(in.fallback);
  if (std::ferror(in.fallback) || in.error) {
    if (!in.error) in.error = EIO;
    return ScanEnd::failed;
  }
  // EOF without the end of the file: the scan itself failed, for want of memory to hold
  // a long number, say. Its result is not what fscanf gives where it succeeds.
  if (r.items == EOF && !hit_end) {
    in.error = scan_errno ? scan_errno : EIO;
    return ScanEnd::failed;
  }
  in.fallback_read = offset_of(in, in.pos);
  std::int64_t consumed = ftello(in.fallback);
  // The bytes the stream read but the scan left are still in the buffer (kept_history).
  if (consumed < in.base || consumed > offset_of(in, in.end)) {
    in.error = EIO;
    return ScanEnd::failed;
  }
  in.pos = static_cast<std::size_t>(consumed - in.base);
  in.fallback_ended = consumed;
  // A scan that assigned and consumed nothing met a character it cannot match where it
  // started: every later scan starts there too, and does the same.
  in.stuck = r.items <= 0 && consumed == start;
  return hit_end ? ScanEnd::end_of_file : ScanEnd::more;
}

// The payload of a NaN read from the input is dropped, keeping its sign, so that no
// reading can pose as no_value(). Output shows only the sign of a NaN, never its payload.
double plain_nan(double v) {
  return std::isnan(v) ? std::copysign(std::numeric_limits<double>::quiet_NaN(), v) : v;
}

// The series' columns held apart from the series, so that the compiler keeps them in
// registers: stores through them cannot change the pointers themselves.
struct Columns {
  std::int64_t *YY, *MM, *DD;
  double *hh, *mm, *ss, *temp;

  explicit Columns(const ReadingSeries& s)
      : YY(s.YY), MM(s.MM), DD(s.DD), hh(s.hh), mm(s.mm), ss(s.ss), temp(s.temp) {}

  // Stores a reading that the fast path read whole: no NaN, nothing unassigned.
  void put(std::int64_t i, const Scanned& r) const {
    YY[i] = r.YY;
    MM[i] = r.MM;
    DD[i] = r.DD;
    hh[i] = r.hh;
    mm[i] = r.mm;
    ss[i] = r.ss;
    temp[i] = r.temp;
  }

  // Stores what a scan of the C library assigned.
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

}  // namespace

ReadingInput::ReadingInput(std::FILE* in, const ReadingSeries& s, std::size_t read_size) {
  int fd = fileno(in);
  if (fd < 0 || read_size == 0 || read_size > read_block_bytes || !s.read_buffer) return;
  cursor_.reset(new (std::nothrow) Cursor);
  if (!cursor_) return;
  Cursor& c = *cursor_;
  c.fd = fd;
  c.read_size = read_size;
  // The history, the text of a reading that the fast path gave up on at the NUL (less
  // than longest_plain_reading bytes), a block and the NUL: a refill always has room for
  // read_size bytes.
  c.capacity = kept_history + longest_plain_reading + read_size + 1;
  c.data = s.read_buffer;
  c.data[0] = '\0';
}

ReadingInput::~ReadingInput() { finish(); }

int ReadingInput::error() const { return cursor_ ? cursor_->error : 0; }

void ReadingInput::finish() {
  if (!cursor_) return;
  Cursor& c = *cursor_;
  if (c.fallback) std::fclose(c.fallback);
  std::int64_t ahead = static_cast<std::int64_t>(c.end - c.pos);
  if (ahead > 0) lseek(c.fd, -ahead, SEEK_CUR);
  cursor_.reset();
}

// The read pass, and where each scan ended when traced: the converter's instance stores
// nothing more than the series.
template <bool traced>
bool read_window(Cursor& c, ReadingSeries& s, ScanTrace* trace) {
  CTP_ASSERT(s.n <= s.capacity);
  const std::int64_t n = s.n;
  const Columns columns(s);
  std::int64_t i = 0;
  RecentReading recent;
  while (i < n && c.scanning && !c.stuck) {
    const char* const data = c.data;
    CTP_ASSERT(c.pos <= c.end && c.data[c.end] == '\0');
    const char* p = data + c.pos;
    // Readings in the logger's own layout, one after another.
    for (Scanned r; i < n; ++i) {
      const char* after = scan_logger_reading(p, r, recent);
      if (!after) break;
      columns.put(i, r);
      if constexpr (traced) trace[i] = {c.base + (after - data), 7};
      p = after;
    }
    c.pos = static_cast<std::size_t>(p - data);
    if (i == n) break;
    // Plain text in another layout.
    GeneralScan plain = scan_general_reading(p);
    CTP_ASSERT(static_cast<std::size_t>(plain.at - p) <= longest_plain_reading);
    if (plain.ok) {
      if constexpr (traced) trace[i] = {c.base + (plain.at - data), 7};
      columns.put(i++, plain.r);
      c.pos = static_cast<std::size_t>(plain.at - data);
      continue;
    }
    // Stopped on the NUL after the last byte read: read more and try again.
    if (plain.at == data + c.end && refill(c)) continue;
    if (c.error) return false;
    // Anything else: the C library's own scan.
    Scanned r;
    ScanEnd end = scan_with_c_library(c, r);
    if (end == ScanEnd::failed) return false;
    if constexpr (traced) trace[i] = {offset_of(c, c.pos), r.items};
    columns.store(i++, r);
    c.scanning = end == ScanEnd::more;
  }
  // Every scan from here on assigns nothing: stuck where it starts, or at the end.
  for (; i < n; ++i) {
    if constexpr (traced) trace[i] = {offset_of(c, c.pos), c.stuck ? 0 : EOF};
    columns.store(i, Scanned{0, 0, 0, 0, 0, 0, 0, 0});
  }
  return true;
}

bool read_readings(ReadingInput& input, ReadingSeries& s) {
  return input.cursor_ && read_window<false>(*input.cursor_, s, nullptr);
}

bool read_readings(ReadingInput& input, ReadingSeries& s, ScanTrace* trace) {
  return input.cursor_ && read_window<true>(*input.cursor_, s, trace);
}

}  // namespace ctp
