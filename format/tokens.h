#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

// Splits a text like a tokenizer that takes a run of separators as one: the
// pieces are never empty, and leading or trailing separators yield nothing.
class Tokens {
 public:
  Tokens(std::string_view text, char separator) : rest_(text), separator_(separator) {}

  // Stores the next piece in token; false when there is none left.
  bool next(std::string_view& token) {
    size_t start = rest_.find_first_not_of(separator_);
    if (start == std::string_view::npos) {
      rest_ = {};
      return false;
    }
    rest_.remove_prefix(start);
    size_t end = rest_.find(separator_);
    if (end == std::string_view::npos) end = rest_.size();
    token = rest_.substr(0, end);
    rest_.remove_prefix(end);
    return true;
  }

  // The next piece, or an empty view when there is none left.
  std::string_view next() {
    std::string_view token;
    return next(token) ? token : std::string_view{};
  }

 private:
  std::string_view rest_;
  char separator_;
};

// Reads a decimal count like strtoll: an optional sign and the leading digits;
// 0 without digits; clamped to the 64-bit range.
inline int64_t parsecount(std::string_view token) {
  constexpr int64_t kmax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kmin = std::numeric_limits<int64_t>::min();
  size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  int64_t value = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    int digit = token[i] - '0';
    if (__builtin_mul_overflow(value, 10, &value) ||
        __builtin_add_overflow(value, negative ? -digit : digit, &value))
      return negative ? kmin : kmax;
  }
  return value;
}

// True when token is a whole decimal number: an optional sign and one or more digits.
inline bool isdecimal(std::string_view token) {
  if (!token.empty() && (token[0] == '+' || token[0] == '-')) token.remove_prefix(1);
  if (token.empty()) return false;
  // Digit by digit: a history holds many thousands of counts.
  for (char c : token)
    if (c < '0' || c > '9') return false;
  return true;
}

// The line without the newlines and carriage returns that end it (a file
// edited elsewhere may end its lines in CR LF).
inline std::string_view withoutlineend(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// The words of a day line's items: they end at spaces only, as the daemon
// writes them, so a label may hold a tab and is restored whole.
inline Tokens itemwords(std::string_view items) {
  return Tokens(withoutlineend(items), ' ');
}

// True when line holds nothing but spaces, tabs, carriage returns and newlines.
inline bool isblankline(std::string_view line) {
  return line.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// 'word' in single quotes, for naming an offending item in a message.
inline std::string quoted(std::string_view word) {
  std::string text(1, '\'');
  return text.append(word).append(1, '\'');
}

// text as one shell word: a path with spaces or shell characters stays one
// argument and runs nothing else.
inline std::string shellquoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
