#pragma once
#include <cstddef>
#include <ctime>
#include <span>
#include <string_view>

#include "iftable.h"

// Writers fill buf (cap bytes, NUL included) and return the length; they
// never write past cap. linebuffersize() gives a cap that always suffices.

// "[YYYY-MM-DD] " for a broken-down local time.
size_t formatdatestamp(char* buf, size_t cap, const tm& date);

// Per record "%.2f %.2f ": kilobytes in and out of the last interval.
size_t formatrates(char* buf, size_t cap, std::span<const IfInfo> table);

// Per record "%s %lld %lld ": label and day totals.
size_t formattotals(char* buf, size_t cap, std::span<const IfInfo> table);

// A date stamp and the day totals, with a newline for a history line.
size_t formatdayline(char* buf, size_t cap, const tm& date, std::span<const IfInfo> table,
                     bool newline);

// The buffer size that holds any line above for this table, whatever its counts.
size_t linebuffersize(std::span<const IfInfo> table);

inline constexpr size_t NOITEMS = static_cast<size_t>(-1);

// Reads the date stamp that opens line: 0, -2 for an empty line, -3 without a
// stamp. itemsstart receives the offset after the closing bracket, or NOITEMS
// when the bracket is missing.
int readdatestamp(const char* line, tm* date, size_t* itemsstart);

// Sets the day totals of every record whose label matches an item
// "label in out" of items; the first malformed item ends the restore.
void restoredaytotals(std::string_view items, std::span<IfInfo> table);

// The last line of text that holds more than newlines, without its newline.
std::string_view lastline(std::string_view text);

enum class Recovery {
  fresh,     // no readable persistent day file: start at 0
  archived,  // its day is already the history's last line: start at 0
  resume,    // it holds today: load its totals
  archive,   // an earlier day missing from the history: append it, start today at 0
};

// The start-up recovery for the dates read from the persistent day file and
// the history file (with the readers' results) and the local time now.
Recovery chooserecovery(int persistentresult, const tm& persistentdate, int volumesresult,
                        const tm& volumesdate, const tm& now);
