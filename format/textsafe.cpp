#include "textsafe.h"

#include <cstdint>

namespace {

constexpr char kreplacement[] = "\xef\xbf\xbd";  // U+FFFD

// One character of text at its start: its code point and length in bytes, or
// a code point of -1 and length 1 for a byte that starts no valid UTF-8
// sequence (overlong forms and surrogates included).
struct Char {
  int32_t point;
  size_t length;
};

size_t sequencelength(unsigned char lead) {
  if (lead > 0xF4) return 0;
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  return lead >= 0xC2 ? 2 : 0;
}

Char nextchar(std::string_view text) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  size_t length = sequencelength(lead);
  if (length == 0 || length > text.size()) return {-1, 1};
  int32_t point = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {-1, 1};
    point = (point << 6) | (byte(i) & 0x3F);
  }
  static constexpr int32_t kleast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kleast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
    return {-1, 1};
  return {point, length};
}

bool iscontrol(int32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

// prefix and value in lower-case hex, zero-padded to digits: \x1b, \u0085.
std::string hexescape(const char* prefix, int digits, unsigned value) {
  std::string escaped(prefix);
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    escaped += "0123456789abcdef"[(value >> shift) & 0xF];
  return escaped;
}

// Calls visit(character, its bytes) for each character of text.
template <typename Visit>
void eachchar(std::string_view text, Visit visit) {
  while (!text.empty()) {
    Char c = nextchar(text);
    visit(c, text.substr(0, c.length));
    text.remove_prefix(c.length);
  }
}

}  // namespace

std::string validutf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  eachchar(text,
           [&](Char c, std::string_view bytes) { out += c.point < 0 ? kreplacement : bytes; });
  return out;
}

std::string jsonstring(std::string_view text) {
  std::string out = "\"";
  eachchar(text, [&](Char c, std::string_view bytes) {
    if (c.point < 0)
      out += kreplacement;
    else if (c.point == '"' || c.point == '\\')
      out.append(1, '\\').append(bytes);
    else if (iscontrol(c.point))
      out += hexescape("\\u", 4, static_cast<unsigned>(c.point));
    else
      out += bytes;
  });
  return out + "\"";
}

std::string xmltext(std::string_view text) {
  std::string out;
  eachchar(text, [&](Char c, std::string_view bytes) {
    switch (c.point) {
      case '&':
        out += "&amp;";
        return;
      case '<':
        out += "&lt;";
        return;
      case '>':
        out += "&gt;";
        return;
      case '"':
        out += "&quot;";
        return;
      default:
        break;
    }
    if (c.point < 0 || c.point == 0xFFFE || c.point == 0xFFFF)
      out += kreplacement;
    else if (iscontrol(c.point))
      out += hexescape("\\x", 2, static_cast<unsigned>(c.point));
    else
      out += bytes;
  });
  return out;
}

std::string visibletext(std::string_view text) {
  std::string out;
  eachchar(text, [&](Char c, std::string_view bytes) {
    if (c.point < 0)
      out += hexescape("\\x", 2, static_cast<unsigned char>(bytes[0]));
    else if (c.point == '\\')
      out += "\\\\";
    else if (c.point >= 0x80 && c.point <= 0x9F)
      out += hexescape("\\u", 4, static_cast<unsigned>(c.point));
    else if (iscontrol(c.point))
      out += hexescape("\\x", 2, static_cast<unsigned>(c.point));
    else
      out += bytes;
  });
  return out;
}

size_t displaywidth(std::string_view text) {
  size_t width = 0;
  eachchar(text, [&](Char, std::string_view) { ++width; });
  return width;
}
