#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "ifrecord.h"
#include "listing.h"

// On a packet filter whose listing can't zero its counters in the same step,
// the chains are listed without zeroing and each rule's counter is compared
// with the previous reading. A rule is known by its chain, its text without
// the counters and its place among rules of equal text in that chain.

// One rule's byte counter as a reading showed it.
struct CounterEntry {
  uint64_t hash;
  uint32_t offset;  // of its rule text in the book's text
  uint32_t length;
  int64_t bytes;
  bool outbound;
  bool taken;  // scratch: matched by the reading being counted
};

// The most rule lines a capture can hold: the shortest counted line is
// "RETURN" and its newline.
inline constexpr size_t klistingrules = kcapturesize / 7;
// Room for a whole listing and for the rules of a chain kept from the
// previous one, which a listing cut short leaves unmatched: two listings.
inline constexpr size_t kbookentries = 2 * klistingrules;
inline constexpr size_t kbooktext = 2 * kcapturesize;

// One family's last reading. Fixed size, so a cycle allocates nothing, and
// trivial, so a static book stays untouched memory until it fills.
struct CounterBook {
  CounterEntry entries[kbookentries];
  size_t size;
  char text[kbooktext];
  size_t textsize;

  void clear() { size = textsize = 0; }
  // Appends a rule; false when the book is full.
  bool add(bool outbound, std::string_view rule, int64_t bytes);
  std::string_view ruleof(const CounterEntry& entry) const {
    return {text + entry.offset, entry.length};
  }
};

// What a counted listing did, for the daemon's messages.
struct Growth {
  int newrules = 0;  // rules the previous reading didn't have: counted whole
  int wentdown = 0;  // counters below the previous reading: zeroed by someone else
  int kept = 0;      // rules of a chain not listed whole, kept from the previous reading
  int gone = 0;      // rules of the previous reading missing from a chain listed whole
  int dropped = 0;   // rules that did not fit the book: they count whole when they come back
};

// Counts a listing read without zeroing: each rule line's growth since
// previous goes to its first matching record (interval and day counters); a
// rule previous lacks counts whole, since a new rule starts at 0, and so does
// one whose counter went down. next becomes the reading to compare with next
// time; it keeps the previous rules that this listing lacks when their chain
// was not listed whole (a failed or cut-short listing), so a rule that comes
// back is never counted twice. whole: the listing command ended by itself.
// A listing's own rules always fit next (klistingrules); kept rules that do
// not are counted in dropped.
Growth countgrowth(std::string_view listing, bool whole, std::span<IfInfo> table,
                   std::string_view anydest, CounterBook& previous, CounterBook& next);
