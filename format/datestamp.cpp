#include "datestamp.h"

#include <string_view>

namespace {

bool isscanspace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// One "%Nd" conversion as scanf makes it: white space skipped, then at most
// width characters of an optional sign and digits, at least one digit.
bool scanint(std::string_view text, size_t& at, size_t width, int& value) {
  while (at < text.size() && isscanspace(text[at])) ++at;
  size_t limit = at + width < text.size() ? at + width : text.size();
  bool negative = false;
  if (at < limit && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  size_t first = at;
  int number = 0;
  for (; at < limit && text[at] >= '0' && text[at] <= '9'; ++at)
    number = number * 10 + (text[at] - '0');
  if (at == first) return false;
  value = negative ? -number : number;
  return true;
}

bool scanliteral(std::string_view text, size_t& at, char expected) {
  if (at >= text.size() || text[at] != expected) return false;
  ++at;
  return true;
}

}  // namespace

// Reads "[%4d-%2d-%2d]%n" exactly as sscanf would: three numbers make a
// date, and the closing bracket only tells where the items start.
int readdatestamp(const char* line, tm* date, size_t* itemsstart) {
  if (line[0] == '\0') return -2;
  std::string_view text(line);
  size_t at = 0;
  int year = 0, month = 0, day = 0;
  if (!scanliteral(text, at, '[') || !scanint(text, at, 4, year) || !scanliteral(text, at, '-') ||
      !scanint(text, at, 2, month) || !scanliteral(text, at, '-') || !scanint(text, at, 2, day))
    return -3;
  date->tm_year = year - 1900;
  date->tm_mon = month - 1;
  date->tm_mday = day;
  *itemsstart = scanliteral(text, at, ']') ? at : knoitems;
  return 0;
}
