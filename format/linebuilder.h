#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "digits.h"

// A text built in a caller's buffer: appends text, cutting at the capacity;
// the text stays terminated. Numbers are written on the stack, so a line
// costs no heap allocation.
class LineBuilder {
 public:
  LineBuilder(char* buf, size_t cap) : buf_(buf), cap_(cap) {
    if (cap_ > 0) buf_[0] = '\0';
  }

  void add(std::string_view text) {
    if (len_ + 1 >= cap_) return;
    size_t n = std::min(text.size(), cap_ - 1 - len_);
    memcpy(buf_ + len_, text.data(), n);
    len_ += n;
    buf_[len_] = '\0';
  }

  void addnumber(int64_t value) {
    char room[24];
    add(decimal(value, room));
  }

  void addkilobytes(int64_t bytes) {
    char room[48];
    add(twodecimals(static_cast<double>(bytes) / 1000.0, room));
  }

  size_t length() const { return len_; }

 private:
  char* buf_;
  size_t cap_;
  size_t len_ = 0;
};
