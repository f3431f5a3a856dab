// Read pass: scans the readings from the input stream into the series.
//
// Each reading is scanned as by fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Loggers
// write plain decimal text, which a fast path reads from a large buffer. Whatever else the
// text holds (exponents, hexadecimal, inf, nan, long digit strings, a line cut short, stray
// characters) goes to the C library's own fscanf, started at that very reading, so every
// reading is read exactly as the C library in use reads it, whatever its version.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "plain_text.h"
#include "reading_series.h"

namespace {

// Bytes kept before the cursor when the buffer is refilled, so that characters the C
// library reads and then pushes back can be handed back to the buffer.
constexpr std::size_t kept_history = 64;

// The buffer holds the history, the unscanned text and a block, then the NUL, then the bytes
// the fast path may look at past it.
static_assert(kept_history + longest_plain_reading + 1 + word_reach <= read_buffer_slack);

// The input text, read in large blocks straight from the stream's file descriptor into the
// series' read buffer. The byte after the last one read is always a NUL, which no fast-path
// item accepts, so the fast path needs no bounds checks: stopping on it means "more text
// needed".
struct InputBuffer {
  int fd;
  std::size_t read_size;
  // The history, the text of a reading that the fast path gave up on at the NUL (less
  // than longest_plain_reading bytes), a block and the NUL: a refill always has room for
  // read_size bytes.
  std::size_t capacity;
  char* data;
  std::size_t pos = 0;    // the scan's position: the next byte it reads
  std::size_t end = 0;    // bytes read so far into data
  std::int64_t base = 0;  // offset in the file of data[0]
  bool at_end = false;    // the file has no more bytes
  bool failed = false;    // a read failed

  InputBuffer(int fd, std::size_t read_size, char* buffer)
      : fd(fd),
        read_size(read_size),
        capacity(kept_history + longest_plain_reading + read_size + 1),
        data(buffer) {
    data[0] = '\0';
  }

  // Reads more text after end, keeping the unscanned bytes and a little history. Returns
  // false, reading nothing, at the end of the file or on a read error.
  bool refill() {
    if (at_end || failed) return false;
    std::size_t keep_from = pos > kept_history ? pos - kept_history : 0;
    if (keep_from > 0) {
      std::memmove(data, data + keep_from, end - keep_from);
      base += static_cast<std::int64_t>(keep_from);
      pos -= keep_from;
      end -= keep_from;
      data[end] = '\0';
    }
    // The fast path gives up within longest_plain_reading bytes of pos, so a block always
    // fits; should a limit move past the buffer's room, this fails loudly instead.
    if (end + read_size >= capacity) {
      failed = true;
      return false;
    }
    ssize_t got;
    do got = ::read(fd, data + end, read_size);
    while (got < 0 && errno == EINTR);
    if (got == 0) at_end = true;
    if (got < 0) failed = true;
    if (got <= 0) return false;
    end += static_cast<std::size_t>(got);
    data[end] = '\0';
    return true;
  }
};

// The C library's stream functions over the buffer: the fallback scan reads the same bytes
// as the fast path, and its position comes back through ftell.
ssize_t buffer_read(void* cookie, char* to, std::size_t size) {
  InputBuffer& in = *static_cast<InputBuffer*>(cookie);
  if (in.pos == in.end && !in.refill()) return in.failed ? -1 : 0;
  std::size_t n = in.end - in.pos < size ? in.end - in.pos : size;
  std::memcpy(to, in.data + in.pos, n);
  in.pos += n;
  return static_cast<ssize_t>(n);
}

int buffer_seek(void* cookie, off64_t* offset, int whence) {
  if (whence != SEEK_CUR || *offset != 0) return -1;  // only ftell asks
  InputBuffer& in = *static_cast<InputBuffer*>(cookie);
  *offset = in.base + static_cast<std::int64_t>(in.pos);
  return 0;
}

enum class ScanEnd { more, end_of_file, read_error };

// Scans one reading with the C library's fscanf from the buffer's position and moves the
// position to where that scan stopped. Kept out of the fast loop: it is the rare path.
[[gnu::cold, gnu::noinline]] ScanEnd scan_with_c_library(InputBuffer& in, Scanned& r) {
  cookie_io_functions_t io = {buffer_read, nullptr, buffer_seek, nullptr};
  std::FILE* text = fopencookie(&in, "r", io);
  if (!text) return ScanEnd::read_error;
  char stream_buffer[4096];
  std::setvbuf(text, stream_buffer, _IOFBF, sizeof stream_buffer);
  r.items = std::fscanf(text, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", &r.YY, &r.MM, &r.DD, &r.hh, &r.mm,
                        &r.ss, &r.temp);
  bool hit_end = std::feof(text), failed = std::ferror(text) || in.failed;
  long consumed = std::ftell(text);
  std::fclose(text);
  // The bytes the stream read but the scan left are still in the buffer (kept_history).
  if (failed || consumed < in.base || consumed > in.base + static_cast<std::int64_t>(in.end))
    return ScanEnd::read_error;
  in.pos = static_cast<std::size_t>(consumed - in.base);
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

bool read_readings(std::FILE* in, ReadingSeries& s) {
  return read_readings(in, s, read_block_bytes);
}

bool read_readings(std::FILE* in, ReadingSeries& s, std::size_t read_size) {
  const std::int64_t n = s.n;
  if (n <= 0) return true;
  int fd = fileno(in);
  if (fd < 0 || read_size == 0 || read_size > read_block_bytes) return false;
  const Columns columns(s);
  InputBuffer text(fd, read_size, s.read_buffer);
  bool scanning = true;  // false once a scan has met the end of the file
  std::int64_t i = 0;
  while (i < n && scanning) {
    const char* const data = text.data;
    const char* p = data + text.pos;
    // Readings in the logger's own layout, one after another.
    for (Scanned r; i < n; ++i) {
      const char* after = scan_logger_reading(p, r);
      if (!after) break;
      columns.put(i, r);
      p = after;
    }
    text.pos = static_cast<std::size_t>(p - data);
    if (i == n) break;
    // Plain text in another layout.
    GeneralScan plain = scan_general_reading(p);
    if (plain.end.ok) {
      columns.put(i++, plain.r);
      text.pos = static_cast<std::size_t>(plain.end.at - data);
      continue;
    }
    // Stopped on the NUL after the last byte read: read more and try again.
    if (plain.end.at == data + text.end && text.refill()) continue;
    if (text.failed) return false;
    // Anything else: the C library's own scan.
    Scanned r;
    ScanEnd end = scan_with_c_library(text, r);
    if (end == ScanEnd::read_error) return false;
    columns.store(i++, r);
    scanning = end == ScanEnd::more;
  }
  // A scan that meets the end of the file assigns nothing from then on.
  for (; i < n; ++i) columns.store(i, Scanned{0, 0, 0, 0, 0, 0, 0, 0});
  // Hands the bytes read ahead back to a seekable file, so that its position is where the
  // last scan stopped, as after fscanf and fclose.
  std::int64_t ahead = static_cast<std::int64_t>(text.end - text.pos);
  if (ahead > 0) lseek(fd, -ahead, SEEK_CUR);
  return true;
}
