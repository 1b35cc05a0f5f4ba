#pragma once
#include <cstddef>
#include <ctime>
#include <span>
#include <string_view>

#include "datestamp.h"
#include "ifrecord.h"

// Writers fill buf (cap bytes, NUL included) and return the length; they
// never write past cap. linebuffersize() gives a cap that always suffices.

// Per record "%.2f %.2f ": kilobytes in and out of the last interval.
size_t formatrates(char* buf, size_t cap, std::span<const IfInfo> table);

// Per record "%s %lld %lld ": label and day totals.
size_t formattotals(char* buf, size_t cap, std::span<const IfInfo> table);

// A date stamp and the day totals, with a newline for a history line.
size_t formatdayline(char* buf, size_t cap, const tm& date, std::span<const IfInfo> table,
                     bool newline);

// The buffer size that holds any line above for this table, whatever its counts.
size_t linebuffersize(std::span<const IfInfo> table);

// Sets the day totals of records from the items "label in out" of items: each
// item restores the first record with its label that no earlier item
// restored. The first malformed item ends the restore.
void restoredaytotals(std::string_view items, std::span<IfInfo> table);

// A day file's line: its first line that holds more than blanks (spaces,
// tabs, carriage returns), without its newline, and that line's number from 1;
// number 0 when there is none. Whatever reads a day file reads this line.
struct NumberedLine {
  std::string_view text;
  size_t number = 0;
};
NumberedLine firstfilledline(std::string_view text);

// The last line of text that holds more than newlines, without its newline.
std::string_view lastline(std::string_view text);

// The length of text's whole lines, up to and including its last newline. A
// text longer than that ends in a line that was cut short.
size_t completelength(std::string_view text);
