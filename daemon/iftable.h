#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "ifrecord.h"

// The interface table, in the order of the start-up script's first line.
extern IfInfo* ifinfoarrptr;
extern int32_t ifinfoarrsize;

extern char outfile[kpathsize];               // rate file
extern char outfileday[kpathsize];            // today file
extern char outpersistentfileday[kpathsize];  // persistent day file
extern char outdayvolumes[kpathsize];         // history file

// Builds the table and the four paths from the start-up script's output; 0 or -1.
// A rejected item is named on standard error.
int init_ifinfoarr(const char* text);

// Zeroes cur_in and cur_out of every record.
void resetcounters();

// Zeroes day_in and day_out of every record.
void resetdaycounters();

// The table as a span, for the code that walks it.
inline std::span<IfInfo> iftable() {
  return {ifinfoarrptr, static_cast<size_t>(ifinfoarrsize)};
}
