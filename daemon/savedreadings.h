#pragma once
#include <cstddef>
#include <span>
#include <string_view>

#include "counterbook.h"

// The saved counter readings' text: the counters' lifetime, then a line per
// rule of each family's last reading:
//   boot BOOT-ID
//   netns NAMESPACE
//   uptime SECONDS
//   FAMILY in|out BYTES RULE
// A boot id or namespace that could not be read is "-".

// The lifetime of the counters a reading was taken from: the boot, the
// network namespace, and the seconds of the boot clock.
struct Lifetime {
  char boot[40];
  char netns[40];
  long long uptime;
};

// A family's book as it is saved, under its name ("ipv4", "ipv6").
struct SavedBook {
  const char* family;
  const CounterBook* book;
};

// Room for the text of two full books and the lifetime.
inline constexpr size_t kreadingssize = 2 * (kbookentries * 32 + kbooktext) + 256;

// Writes the text into buf (cap bytes, NUL included) and returns its length,
// cut at the capacity.
size_t formatreadings(char* buf, size_t cap, const Lifetime& lifetime,
                      std::span<const SavedBook> books);

// What reading a saved text did: nullptr, or why it can't be used; dropped
// counts the readings that did not fit their book.
struct LoadedReadings {
  const char* problem = nullptr;
  size_t dropped = 0;
};

// Reads text into saved and the books of the families ("ipv4" into books[0],
// "ipv6" into books[1]), each added to what the book holds.
LoadedReadings parsereadings(std::string_view text, Lifetime& saved, CounterBook& ipv4,
                             CounterBook& ipv6);

// Why readings taken in the lifetime saved can't be compared with the
// counters of the lifetime now, or nullptr when they can: another boot (where
// both ids are known), a boot clock that went back, another namespace.
const char* otherlifetime(const Lifetime& saved, const Lifetime& now);

// A saved book's line: "FAMILY in|out BYTES RULE". False for anything else.
struct BookLine {
  std::string_view family;
  bool outbound = false;
  int64_t bytes = 0;
  std::string_view rule;
};
bool parsebookline(std::string_view line, BookLine& parsed);
