// What became of each reading asked for, recorded by the read pass while it holds the
// bytes; the converter and the checker both report from it.
#pragma once

#include <cstdint>
#include <string>

#include "calendar.h"

namespace ctp {

// How a reading came out. Every outcome but in_full loses it: its line prints nan, or a
// value from another line.
enum class Outcome : std::uint8_t {
  in_full,       // its seven items, within its line, with a time
  cut_short,     // its scan stopped after 0 to 6 of its items
  stuck,         // its scan read no item, stopped by a character after white space at most;
                 // every later scan stops there too
  past_end,      // the file ended before its first item
  across_lines,  // its seven items cross a line feed: a line without its value takes the
                 // next line's year as its value
  without_time,  // read in full, but its time is not finite (time_fault)
};
inline constexpr int outcome_kinds = 6;

// A place in the file: offset from where reading began, and line and column from 1.
struct Place {
  std::int64_t offset = 0, line = 0, column = 0;
  bool operator==(const Place&) const = default;
};

// The first lost reading of an outcome, as the read pass saw it.
struct LostReading {
  std::int64_t reading = -1;  // its index in its window; in a run's record, its number from 1
  Outcome outcome = Outcome::in_full;
  int items = 0;  // items its scan assigned: 0 to 7
  Place start;    // its first character other than white space, or its stop if it has none
  Place stop;     // where its scan stopped: the character it left unread, or the file's end

  // A scan across a line feed: the first one after its start, and the items before it (-1
  // where the line was too long).
  bool crossed = false;
  Place line_end;
  int line_items = -1;
  TimeFault fault = TimeFault::none;  // without_time: what leaves it without one
  std::int64_t month = 0;             // its month, for TimeFault::month
  bool crlf = false;                  // across_lines: its line ends in a carriage return
  // Up to 24 bytes: from the stop, from the start (without a time), or the item taken from
  // the next line.
  std::string text;
};

// The outcomes of one window's readings, counted, and the first lost reading of each.
struct OutcomeRecord {
  std::int64_t count[outcome_kinds] = {};
  LostReading first[outcome_kinds];

  std::int64_t lost() const;
  std::int64_t readings() const { return count[0] + lost(); }
  // The lost reading that comes first in the window; nullptr when none is lost.
  const LostReading* first_lost() const;
  // Adds a later window's record, with before readings ahead of its first.
  void add(const OutcomeRecord& later, std::int64_t before);
};

// A lost reading in a user's words, "line 2, column 11: reading 2 stops after its month, ...".
std::string finding(const LostReading& r);
// The place that finding names: where the reading went wrong.
Place finding_place(const LostReading& r);

// The mend the bytes at a lost reading show (a byte-order mark, gzip, semicolons, a decimal
// comma, a line without its value), as a command over path; empty where they show none.
struct Mend {
  std::string fault, command;
};
Mend mend_for(const LostReading& r, const std::string& path);

}  // namespace ctp
