#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The start-up script output of the parse benchmark's table: six interfaces,
// each with a qualified record ahead of its catch-all record.
std::string benchheaders();

struct BenchListing {
  std::string text;
  int64_t countedbytes = 0;  // what the table should receive, in and out together
  int rulelines = 0;
};

// A listing of both chains as `iptables -xvnL -Z` prints it, exactly length
// characters long, whose rule lines go to every kind of record of
// benchheaders()'s table: qualified by destination or mark, catch-all, and
// an interface the table doesn't know.
BenchListing benchlisting(size_t length);
