// The check of a file: the read pass and the conversion pass over it, window by window, and
// its bytes read again at each scan's end for the lines and columns.
#include "reading_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "decimal_scanners.h"
#include "reading_input.h"
#include "reading_series.h"

namespace ctp {

namespace {

// The text of a scan, from where the last one ended to where it ends: where its first
// character other than white space is, and whether a line feed follows that.
struct Span {
  bool started = false;   // a character other than white space was met
  std::int64_t line = 0;  // its line and column
  std::int64_t column = 0;
  std::int64_t line_feeds_before = 0;  // in the white space before it
  bool crosses_line = false;           // a line feed after it

  // Where reading starts: its first character other than white space.
  Place place(std::int64_t reading, std::string text = "") const {
    return {reading, line, column, std::move(text)};
  }
};

// Counts the lines of a file read again at increasing offsets, a block at a time.
class LineCounter {
 public:
  explicit LineCounter(int fd) : fd_(fd), block_(1 << 16) {}

  // Reads on from the last offset to `to`, filling span. False when a read fails.
  bool advance(std::int64_t to, Span& span) {
    span = {};
    while (at_ < to) {
      if (at_ >= block_end_ && !fill()) return false;
      const std::int64_t size = std::min(to, block_end_) - at_;
      const char* p = block_.data() + (at_ - block_start_);
      const char* const end = p + size;
      for (; !span.started && p < end; ++p) {
        if (!is_space(*p)) {
          span = {true, line_, offset(p) - line_start_ + 1, span.line_feeds_before, false};
        } else if (*p == '\n') {
          new_line(p);
          ++span.line_feeds_before;
        }
      }
      while (const void* feed = p < end ? std::memchr(p, '\n', end - p) : nullptr) {
        p = static_cast<const char*>(feed);
        new_line(p++);
        span.crosses_line = true;
      }
      last_ = *(end - 1);
      at_ += size;
    }
    return true;
  }

  // The line and column of the last offset, and up to 24 bytes of the file from there,
  // with white space and other bytes a terminal would not show spelled out.
  Place place(std::int64_t reading) {
    Place place{reading, line_, at_ - line_start_ + 1, ""};
    char text[24];
    ssize_t got = pread(fd_, text, sizeof text, at_);
    if (got <= 0) place.text = "the end of the file";
    for (ssize_t i = 0; i < got && text[i] != '\n'; ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      place.text += c == '\t'              ? "<TAB>"
                    : c == '\r'            ? "<CR>"
                    : c >= ' ' && c < 0x7f ? std::string(1, text[i])
                                           : hex;
    }
    if (got > 0 && place.text.empty()) place.text = "the end of the line";
    return place;
  }

  // The last item of the text before the last offset: its characters other than white
  // space, at most 20.
  std::string last_item() {
    char text[20];
    std::int64_t from = std::max<std::int64_t>(at_ - 20, 0);
    ssize_t got = pread(fd_, text, static_cast<std::size_t>(at_ - from), from);
    std::int64_t start = got;
    while (start > 0 && !is_space(text[start - 1])) --start;
    return got > 0 ? std::string(text + start, text + got) : "";
  }

  std::int64_t line() const { return line_; }
  bool ends_with_line_feed() const { return last_ == '\n'; }

 private:
  bool fill() {
    ssize_t got;
    do got = pread(fd_, block_.data(), block_.size(), at_);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the file is shorter than its scans
      return false;
    }
    block_start_ = at_;
    block_end_ = at_ + got;
    return true;
  }
  std::int64_t offset(const char* p) const { return block_start_ + (p - block_.data()); }
  void new_line(const char* feed) {
    ++line_;
    line_start_ = offset(feed) + 1;
  }

  int fd_;
  std::vector<char> block_;
  std::int64_t block_start_ = 0, block_end_ = 0;  // file offsets of the block's bytes
  std::int64_t at_ = 0;                           // the next byte to count
  std::int64_t line_ = 1, line_start_ = 0;
  char last_ = '\n';  // the last byte counted
};

// A copy of a stream that cannot be read again at an offset, in a temporary file.
std::FILE* seekable(std::FILE* in) {
  struct stat st;
  if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode)) return in;
  std::FILE* copy = std::tmpfile();
  if (!copy) return nullptr;
  std::vector<char> block(1 << 20);
  for (ssize_t got; (got = read(fileno(in), block.data(), block.size())) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || write(fileno(copy), block.data(), static_cast<std::size_t>(got)) != got) {
      std::fclose(copy);
      return nullptr;
    }
  }
  lseek(fileno(copy), 0, SEEK_SET);
  return copy;
}

}  // namespace

bool check_readings(std::FILE* original, std::int64_t count, ReadingSeries& s,
                    CheckResult& result) {
  result = {};
  std::FILE* in = seekable(original);
  if (!in) {
    result.error = errno ? errno : EIO;
    return false;
  }
  std::vector<ScanTrace> trace(static_cast<std::size_t>(s.capacity));
  LineCounter lines(fileno(in));
  bool ok = true;
  {
    ReadingInput input(in, s);
    std::int64_t done = 0, scan_start = 0;  // the offset where the next scan starts
    double last_time = no_value();
    bool ended = !input.started() || s.capacity <= 0;
    // The whole file is scanned, for the count of readings it holds; only those the count
    // asks for are reported on.
    while (!ended) {
      s.n = s.capacity;
      if (!read_readings(input, s, trace.data())) {
        result.error = input.error();
        ok = false;
        break;
      }
      convert_times(s);
      for (std::int64_t i = 0; i < s.n && !ended; ++i) {
        const ScanTrace& scan = trace[i];
        const std::int64_t reading = done + i + 1;
        Span span;
        if (!lines.advance(scan.end, span)) {
          result.error = errno;
          ok = false;
          ended = true;
          break;
        }
        // The first line feed ends the line before; the others end blank lines.
        result.blank_lines += std::max<std::int64_t>(span.line_feeds_before - (reading > 1), 0);
        // A scan that assigns nothing at the end of the file, or where the last one
        // stopped, is the last that needs looking at: every later one does the same.
        if (scan.items <= 0 && (scan.items == EOF || scan.end == scan_start)) {
          ended = true;
          if (scan.items == EOF || (count >= 0 && reading > count)) break;
          result.stuck = true;
          result.stuck_at = lines.place(reading);
        }
        if (scan.items > 0) ++result.held;
        if (count >= 0 && reading > count) {
          scan_start = scan.end;
          continue;
        }
        ++result.asked;
        if (scan.items == 7) {
          ++result.in_full;
        } else if (result.incomplete++ == 0) {
          result.first_incomplete = lines.place(reading);
          result.items = std::max(scan.items, 0);
        }
        if (span.crosses_line && result.spanning++ == 0) {
          result.first_spanning = span.place(reading, lines.last_item());
          result.value_line = lines.line();
        }
        const double t = s.time_s[i];
        if (scan.items == 7 && is_no_value(t) && result.timeless++ == 0) {
          result.first_timeless = span.place(reading);
          result.timeless_month = s.MM[i];
        }
        if (std::isfinite(t) && std::isfinite(last_time)) {
          if (t < last_time && result.steps_back++ == 0) {
            result.first_step_back = span.place(reading);
            result.step_back_s = last_time - t;
          }
          if (t - last_time > result.largest_gap_s) {
            result.largest_gap = span.place(reading);
            result.largest_gap_s = t - last_time;
          }
        }
        if (std::isfinite(t)) last_time = t;
        scan_start = scan.end;
      }
      done += s.n;
    }
    // Scans past the end of the file, or past a stop, that the count still asks for.
    if (ok && count > result.asked) {
      result.incomplete += count - result.asked;
      if (result.first_incomplete.reading == 0)
        result.first_incomplete = lines.place(result.asked + 1);
      result.asked = count;
    }
  }
  // The rest of the file, for its lines.
  Span rest;
  struct stat st;
  if (ok && fstat(fileno(in), &st) == 0 && lines.advance(st.st_size, rest)) {
    result.newlines = lines.line() - 1;
    result.last_line_unended = !lines.ends_with_line_feed();
    result.lines = result.newlines + result.last_line_unended;
    if (!rest.started) result.blank_lines += std::max<std::int64_t>(rest.line_feeds_before - 1, 0);
  } else if (ok) {
    result.error = errno ? errno : EIO;
    ok = false;
  }
  if (in != original) std::fclose(in);
  return ok;
}

int check_status(const CheckResult& r) {
  return r.incomplete == 0 && r.spanning == 0 && r.timeless == 0 ? 0 : 1;
}

std::string check_report(const CheckResult& r, bool count_given) {
  std::string report;
  auto line = [&report](const char* format, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    report += text;
    report += '\n';
  };
  auto at = [](const Place& p) { return static_cast<long long>(p.line); };
  auto n = [](std::int64_t v) { return static_cast<long long>(v); };
  line("readings read in full: %lld of %lld asked%s; the file has %lld lines", n(r.in_full),
       n(r.asked), count_given ? " (COUNT)" : ", every reading in the file", n(r.lines));
  if (r.spanning > 0) {
    const Place& p = r.first_spanning;
    line(
        "line %lld: reading %lld takes its value from line %lld (\"%s\"): line %lld ends before "
        "its value; readings that span lines: %lld",
        at(p), n(p.reading), n(r.value_line), p.text.c_str(), at(p), n(r.spanning));
  }
  if (r.incomplete > 0) {
    const Place& p = r.first_incomplete;
    bool past_end = p.reading > r.held && !r.stuck;
    if (past_end) {
      line(
          "reading %lld: past the end of the file, which holds %lld readings: from here on "
          "lines print nan",
          n(p.reading), n(r.held));
    } else {
      bool same = r.stuck && r.stuck_at.line == p.line && r.stuck_at.column == p.column;
      line("line %lld, column %lld: \"%s\": reading %lld stops here after %lld of its 7 items%s",
           at(p), n(p.column), p.text.c_str(), n(p.reading), n(r.items),
           same ? ", and so does every later one" : "");
      if (r.stuck && !same)
        line("line %lld, column %lld: \"%s\": reading %lld stops here, and so does every later one",
             at(r.stuck_at), n(r.stuck_at.column), r.stuck_at.text.c_str(), n(r.stuck_at.reading));
    }
    line("readings not read in full: %lld; their missing fields print nan", n(r.incomplete));
  }
  if (r.timeless > 0)
    line(
        "line %lld: reading %lld has no time (month %lld), so its elapsed time prints nan; "
        "readings without a time: %lld",
        at(r.first_timeless), n(r.first_timeless.reading), n(r.timeless_month), n(r.timeless));
  if (r.steps_back > 0)
    line("line %lld: the time steps back %.6f s at reading %lld; steps back: %lld",
         at(r.first_step_back), r.step_back_s, n(r.first_step_back.reading), n(r.steps_back));
  if (r.largest_gap.reading > 0)
    line("line %lld: the largest step forward, %.6f s, comes before reading %lld",
         at(r.largest_gap), r.largest_gap_s, n(r.largest_gap.reading));
  std::string wc = std::to_string(r.newlines);
  if (r.newlines != r.held) {
    wc = "; wc -l gives " + wc + ":";
    if (r.last_line_unended) wc += " the last line has no line feed;";
    if (r.blank_lines > 0) wc += " " + std::to_string(r.blank_lines) + " blank lines;";
    if (r.stuck) wc += " the readings stop at line " + std::to_string(r.stuck_at.line) + ";";
    wc.pop_back();
  } else {
    wc = "";
  }
  line("readings in the file, the count to give: %lld%s", n(r.held), wc.c_str());
  return report;
}

}  // namespace ctp
