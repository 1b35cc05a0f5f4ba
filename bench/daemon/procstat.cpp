#include "procstat.h"

#include <fstream>
#include <sstream>

#include "tokens.h"

int64_t schedstatcpu(std::string_view text) {
  Tokens fields(text, ' ');
  std::string_view first;
  if (!fields.next(first) || !isdecimal(first.substr(0, first.find('\n')))) return -1;
  return parsecount(first);
}

int64_t privatedirtykb(std::string_view text) {
  Tokens lines(text, '\n');
  for (std::string_view line; lines.next(line);) {
    Tokens words(line, ' ');
    std::string_view key, value;
    if (words.next(key) && key == "Private_Dirty:" && words.next(value) && isdecimal(value))
      return parsecount(value);
  }
  return -1;
}

int64_t voluntaryswitches(std::string_view text) {
  Tokens lines(text, '\n');
  for (std::string_view line; lines.next(line);) {
    Tokens words(line, '\t');
    std::string_view key, value;
    if (words.next(key) && key == "voluntary_ctxt_switches:" && words.next(value) &&
        isdecimal(value))
      return parsecount(value);
  }
  return -1;
}

std::string readprocfile(pid_t pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
