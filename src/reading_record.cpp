// The words for a lost reading, shared by the converter's message and the checker's report.
#include "reading_record.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <string>

namespace ctp {

namespace {

constexpr const char* items[] = {"year", "month", "day", "hour", "minute", "second", "value"};
constexpr char all_items[] = "year, month, day, hour, minute, second, value";

// The item a scan reads as its k-th, from 1: "year" to "value".
const char* item_name(int k) { return k >= 1 && k <= 7 ? items[k - 1] : "item"; }

std::string number(std::int64_t v) { return std::to_string(v); }

std::string at(const Place& p) { return "line " + number(p.line) + ", column " + number(p.column); }

// Text as a terminal can show it, within quotes, up to its first line feed: a tab as <TAB>,
// a carriage return as <CR>, other bytes outside printable ASCII as \xNN.
std::string quoted(const std::string& text) {
  std::string shown = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\n') break;
    if (c == '\t') {
      shown += "<TAB>";
    } else if (c == '\r') {
      shown += "<CR>";
    } else if (byte >= ' ' && byte < 0x7f) {
      shown += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      shown += hex;
    }
  }
  return shown + "\"";
}

const char* fault_words(TimeFault fault) {
  switch (fault) {
    case TimeFault::month:
      return "its month lies outside 1 to 12";
    case TimeFault::year:
      return "its year puts its date past 64-bit seconds";
    case TimeFault::day:
      return "its day puts its date past 64-bit seconds";
    case TimeFault::hour:
      return "its hour makes its time not finite";
    case TimeFault::minute:
      return "its minute makes its time not finite";
    default:
      return "its second makes its time not finite";
  }
}

bool starts(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::int64_t OutcomeRecord::lost() const {
  std::int64_t sum = 0;
  for (int k = 1; k < outcome_kinds; ++k) sum += count[k];
  return sum;
}

const LostReading* OutcomeRecord::first_lost() const {
  const LostReading* first_one = nullptr;
  for (int k = 1; k < outcome_kinds; ++k)
    if (count[k] > 0 && (!first_one || first[k].reading < first_one->reading))
      first_one = &first[k];
  return first_one;
}

void OutcomeRecord::add(const OutcomeRecord& later, std::int64_t before) {
  for (int k = 0; k < outcome_kinds; ++k) {
    if (count[k] == 0 && later.count[k] > 0) {
      first[k] = later.first[k];
      first[k].reading += before;
    }
    count[k] += later.count[k];
  }
}

Place finding_place(const LostReading& r) {
  if (r.outcome == Outcome::across_lines || (r.crossed && r.outcome == Outcome::cut_short))
    return r.line_end;
  return r.outcome == Outcome::without_time ? r.start : r.stop;
}

std::string finding(const LostReading& r) {
  const std::string reading = "reading " + number(r.reading);
  std::string next_item = r.line_items >= 0 ? item_name(r.line_items + 1) : "items";
  switch (r.outcome) {
    case Outcome::past_end:
      return at(finding_place(r)) + ": " + reading + " lies past the end of the file";
    case Outcome::stuck:
      return at(finding_place(r)) + ": " + reading + " stops before its year, at " +
             quoted(r.text) + ", and so does every later reading";
    case Outcome::across_lines:
      return at(finding_place(r)) + ": line " + number(r.line_end.line) + " ends before the " +
             next_item + " of " + reading + ", which takes " + quoted(r.text) + " from line " +
             number(r.stop.line) + " as its value";
    case Outcome::without_time:
      return at(finding_place(r)) + ": " + reading + " has no time: " + fault_words(r.fault) +
             (r.fault == TimeFault::month ? " (" + number(r.month) + ")" : "") + ", at " +
             quoted(r.text);
    default:
      break;
  }
  std::string stops = r.items == 0 ? "stops before its year"
                                   : "stops after its " + std::string(item_name(r.items)) +
                                         ", item " + number(r.items) + " of 7 (" + all_items + ")";
  std::string where = r.text.empty()      ? ", at the end of the file"
                      : r.text[0] == '\n' ? ", at the end of its line"
                                          : ", at " + quoted(r.text);
  if (r.crossed)
    return at(finding_place(r)) + ": line " + number(r.line_end.line) + " ends before the " +
           next_item + " of " + reading +
           (r.text.empty() ? where : ", whose scan stops at " + at(r.stop) + where);
  return at(finding_place(r)) + ": " + reading + " " + stops + where;
}

Mend mend_for(const LostReading& r, const std::string& path) {
  const std::string& t = r.text;
  const bool at_start = r.stop.offset == 0 && r.outcome != Outcome::past_end;
  if (at_start && starts(t, "\x1f\x8b")) return {"a gzip file", "gunzip -c " + path};
  if (at_start && starts(t, "\xef\xbb\xbf"))
    return {"a UTF-8 byte-order mark", "sed '1s/^\\xEF\\xBB\\xBF//' " + path};
  if ((r.crossed || r.outcome == Outcome::across_lines) && r.line_items == 6)
    return {r.crlf ? "a line without its value (a power cut), in CR LF lines"
                   : "a line without its value (a power cut)",
            "awk -F'\\t' '{ sub(/\\r$/, \"\") } $2 == \"\" { $0 = $1 \"\\tnan\" } 1' " + path};
  if (r.outcome != Outcome::cut_short && r.outcome != Outcome::stuck) return {};
  if (starts(t, ";")) return {"semicolons and decimal commas", "tr ';,' '\\t.' < " + path};
  if (starts(t, ",")) return {"a decimal comma", "tr ';,' '\\t.' < " + path};
  if (starts(t, "T") && r.items == 3)
    return {"an ISO T between date and time", "tr 'T' ' ' < " + path};
  if (r.outcome == Outcome::stuck && r.stop.line == 1 && r.stop.column == 1 &&
      std::isalpha(static_cast<unsigned char>(t[0])))
    return {"a header line", "tail -n +2 " + path};
  return {};
}

}  // namespace ctp
