// Read pass: scans the readings from the input stream into the series.
//
// Each reading is scanned as by fscanf(in, "%ld-%ld-%ld %lf:%lf:%lf\t%lf", ...). Loggers
// write plain decimal text, which a fast path reads from a large buffer. Whatever else the
// text holds (exponents, hexadecimal, inf, nan, long digit strings, a line cut short, stray
// characters) goes to the C library's own fscanf, started at that very reading, so every
// reading is read exactly as the C library in use reads it, whatever its version.
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "reading_series.h"

namespace {

// The fast path gives up within this many bytes of a reading's start: 65 characters in
// each of its three runs of white space, 20 in each integer, 22 in each floating number,
// four separators and the character after the value. So much unscanned text, at most, is
// kept when the buffer is refilled.
constexpr std::size_t longest_plain_reading = 3 * 65 + 3 * 20 + 4 * 22 + 4 + 1;

// Bytes the fast path may look at past the NUL after the last byte read.
constexpr std::size_t word_reach = 24;

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
    std::size_t room = capacity - 1 - end;
    ssize_t got;
    do got = ::read(fd, data + end, room < read_size ? room : read_size);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
      (got == 0 ? at_end : failed) = true;
      return false;
    }
    end += static_cast<std::size_t>(got);
    data[end] = '\0';
    return true;
  }
};

// One reading as the scan leaves it: the first `items` fields assigned, in format order.
struct Scanned {
  long YY, MM, DD;
  double hh, mm, ss, temp;
  int items;
};

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// The word-at-a-time code takes the first byte of a word as its lowest.
static_assert(std::endian::native == std::endian::little, "little-endian only");

// Reads eight bytes as one little-endian word.
std::uint64_t word_at(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Byte i of word w.
unsigned byte_of(std::uint64_t w, int i) { return static_cast<unsigned>(w >> (8 * i) & 0xff); }

// Skips a run of at most 64 white-space characters.
bool skip_space(const char*& text) {
  const char* p = text;
  // Mostly one blank, tab or line feed, or none.
  if (!is_space(p[0])) return true;
  if (!is_space(p[1])) {
    text = p + 1;
    return true;
  }
  while (is_space(*p) && p - text < 65) ++p;
  bool ok = p - text < 65;
  text = p;
  return ok;
}

// Steps over an optional sign; true for a minus.
bool take_sign(const char*& p) {
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  return negative;
}

// An optional sign and 1 to 18 decimal digits: a value "%ld" reads the same in every
// version of the C library, and far from overflow.
bool plain_integer(const char*& text, long& v) {
  const char* p = text;
  bool negative = take_sign(p);
  const char* start = p;
  std::uint64_t x = 0;
  while (is_digit(*p) && p - start < 19) x = x * 10 + static_cast<unsigned>(*p++ - '0');
  text = p;
  if (p == start || p - start > 18) return false;
  v = negative ? -static_cast<long>(x) : static_cast<long>(x);
  return true;
}

// Powers of ten that a double holds exactly.
constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                          1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                          1e14, 1e15, 1e16, 1e17, 1e18, 1e19};

// The number of the eight digits d (values 0 to 9, the first in the lowest byte).
std::uint32_t eight_digit_value(std::uint64_t d) {
  d = (d * 2561) >> 8;  // pairs: 10 * first + second
  d = ((d & 0x00ff00ff00ff00ff) * 6553601) >> 16;
  return static_cast<std::uint32_t>(((d & 0x0000ffff0000ffff) * 42949672960001) >> 32);
}

// A plain decimal of at most seven digits that fits in eight bytes, "d", "dd.d" and the
// like, read a word at a time. False, with p unmoved, for anything else.
[[gnu::always_inline]] inline bool short_decimal(const char*& p, double& v) {
  constexpr std::uint64_t high_bits = 0x8080808080808080;
  std::uint64_t t = word_at(p) ^ 0x3030303030303030;
  // Bit 7 of each byte that is not a digit. A byte after the first non-digit may be
  // marked wrongly by a carry, but only the first two non-digits are used, and the first
  // can only be a point then, which carries nothing.
  std::uint64_t other = ((t + 0x7676767676767676) | t) & high_bits;
  if (other == 0) return false;
  int whole = std::countr_zero(other) / 8;
  if (whole == 0) return false;
  std::uint64_t digits = t & ((std::uint64_t{1} << 8 * whole) - 1);
  int fraction = 0;
  if (byte_of(t, whole) == ('.' ^ '0')) {
    other &= other - 1;
    if (other == 0) return false;
    fraction = std::countr_zero(other) / 8 - whole - 1;
    if (fraction == 0) return false;
    std::uint64_t fraction_digits = t >> 8 * (whole + 1) & ((std::uint64_t{1} << 8 * fraction) - 1);
    digits |= fraction_digits << 8 * whole;
  }
  int count = whole + fraction;  // at most 7
  std::uint32_t m = eight_digit_value(digits << 8 * (8 - count));
  double x = static_cast<double>(m);
  if (fraction > 0) x /= exact_powers_of_ten[fraction];
  v = x;
  p += count + (fraction > 0);
  return true;
}

// A short_decimal with an optional sign; the common case of plain_double, kept inline.
[[gnu::always_inline]] inline bool short_signed_decimal(const char*& text, double& v) {
  const char* p = text;
  bool negative = take_sign(p);
  if (!short_decimal(p, v)) return false;
  if (negative) v = -v;
  text = p;
  return true;
}

// An optional sign, digits and an optional point followed by digits, at most 19 digits in
// all, that are an integer of at most 2^53 scaled by a power of ten. Both are exact
// doubles, so one division rounds the quotient correctly, as strtod does. Anything that
// might continue the number (an exponent, a hexadecimal prefix) is left to the caller,
// which accepts only a separator after it.
bool plain_double(const char*& text, double& v) {
  const char* p = text;
  bool negative = take_sign(p);
  const char* start = p;
  std::uint64_t m = 0;
  while (is_digit(*p) && p - start < 20) m = m * 10 + static_cast<unsigned>(*p++ - '0');
  std::ptrdiff_t whole = p - start, fraction = 0;
  if (*p == '.' && whole > 0) {
    const char* first = ++p;
    while (is_digit(*p) && p - first + whole < 20) m = m * 10 + static_cast<unsigned>(*p++ - '0');
    fraction = p - first;
  }
  text = p;
  if (whole == 0 || whole + fraction > 19 || p[-1] == '.' || m > std::uint64_t{1} << 53)
    return false;
  double x = static_cast<double>(m);
  if (fraction > 0) x /= exact_powers_of_ten[fraction];
  v = negative ? -x : x;
  return true;
}

// A plain decimal, trying the short form first.
bool any_plain_double(const char*& p, double& v) {
  return short_signed_decimal(p, v) || plain_double(p, v);
}

// Steps over the character c, which must come next.
bool literal(const char*& p, char c) {
  if (*p != c) return false;
  ++p;
  return true;
}

// Nonzero unless the bytes of w under mask (0xff each) are decimal digits, given w xor
// '0' in every byte. A byte above 0xf9 may carry into the next, but is no digit itself.
std::uint64_t not_digits(std::uint64_t w, std::uint64_t mask) {
  constexpr std::uint64_t sixes = 0x0606060606060606, high_nibbles = 0xf0f0f0f0f0f0f0f0;
  return (w | (w + sixes)) & high_nibbles & mask;
}

// Each byte of d (digit values) becomes ten times its digit plus the next byte's: the
// two-digit numbers, with no carries since every byte stays below 100.
std::uint64_t digit_pairs(std::uint64_t d) { return d * 10 + (d >> 8); }

// The timestamp as loggers write it, "YYYY-MM-DD hh:mm:ss" and then white space, checked
// and converted a word at a time; the general fast path reads it to the same values.
// Reads 24 bytes at p.
bool logger_timestamp(const char*& p, Scanned& r) {
  constexpr std::uint64_t zeros = 0x3030303030303030;
  std::uint64_t a = word_at(p) ^ zeros;       // "YYYY-MM-"
  std::uint64_t b = word_at(p + 8) ^ zeros;   // "DD hh:mm"
  std::uint64_t c = word_at(p + 16) ^ zeros;  // ":ss" and white space
  constexpr std::uint64_t a_digits = 0x00ffff00ffffffff, b_digits = 0xffff00ffff00ffff,
                          c_digits = 0x0000000000ffff00, c_checked = 0x0000000000ffffff;
  // The separators '-', '-', ' ', ':', ':' after the exclusive or with '0'.
  constexpr std::uint64_t a_separators = 0x1d00001d00000000, b_separators = 0x00000a0000100000,
                          c_separators = 0x000000000000000a;
  std::uint64_t wrong = not_digits(a, a_digits) | not_digits(b, b_digits) |
                        not_digits(c, c_digits) | ((a & ~a_digits) ^ a_separators) |
                        ((b & ~b_digits) ^ b_separators) |
                        ((c & c_checked & ~c_digits) ^ c_separators);
  if (wrong != 0 || !is_space(p[19])) return false;
  std::uint64_t pa = digit_pairs(a & a_digits), pb = digit_pairs(b & b_digits),
                pc = digit_pairs(c & c_digits);
  r.YY = byte_of(pa, 0) * 100 + byte_of(pa, 2);
  r.MM = byte_of(pa, 5);
  r.DD = byte_of(pb, 0);
  r.hh = byte_of(pb, 3);
  r.mm = byte_of(pb, 6);
  r.ss = byte_of(pc, 1);
  p += 19;
  return true;
}

// Where a scan of plain text ended, and whether it read a whole reading. When it did not,
// `at` is where the fast path gave up.
struct PlainScan {
  const char* at;
  bool ok;
};

// A reading of plain decimal text in any layout, read by the general fast path.
struct GeneralScan {
  Scanned r;
  PlainScan end;
};

[[gnu::noinline]] GeneralScan scan_general_reading(const char* p) {
  GeneralScan g{};
  Scanned& r = g.r;
  bool ok = skip_space(p) && plain_integer(p, r.YY) && literal(p, '-') && plain_integer(p, r.MM) &&
            literal(p, '-') && plain_integer(p, r.DD) && is_space(*p) && skip_space(p) &&
            any_plain_double(p, r.hh) && literal(p, ':') && any_plain_double(p, r.mm) &&
            literal(p, ':') && any_plain_double(p, r.ss) && is_space(*p) && skip_space(p) &&
            any_plain_double(p, r.temp) && is_space(*p);
  g.end = {p, ok};
  return g;
}

// Reads one reading in the logger's own layout at p into r, in registers. Returns the
// end of the reading, or nullptr for any other text, values longer than a word included.
[[gnu::always_inline]] inline const char* scan_logger_reading(const char* p, Scanned& r) {
  bool ok = skip_space(p) && logger_timestamp(p, r) && skip_space(p) &&
            short_signed_decimal(p, r.temp) && is_space(*p);
  return ok ? p : nullptr;
}

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
  static_assert(sizeof(long) == sizeof(std::int64_t), "%ld must scan a 64-bit integer");
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
