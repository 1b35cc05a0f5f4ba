#include "savedreadings.h"

#include <cstring>

#include "linebuilder.h"
#include "tokens.h"

namespace {

void putbook(LineBuilder& out, const SavedBook& saved) {
  const CounterBook& book = *saved.book;
  for (size_t i = 0; i < book.size; ++i) {
    const CounterEntry& entry = book.entries[i];
    out.add(saved.family);
    out.add(entry.outbound ? " out " : " in ");
    out.addnumber(entry.bytes);
    out.add(" ");
    out.add(book.ruleof(entry));
    out.add("\n");
  }
}

void copyfield(std::string_view text, char (&field)[40]) {
  field[text.copy(field, sizeof field - 1)] = '\0';
}

}  // namespace

size_t formatreadings(char* buf, size_t cap, const Lifetime& lifetime,
                      std::span<const SavedBook> books) {
  LineBuilder out(buf, cap);
  out.add("boot ");
  out.add(lifetime.boot);
  out.add("\nnetns ");
  out.add(lifetime.netns);
  out.add("\nuptime ");
  out.addnumber(lifetime.uptime);
  out.add("\n");
  for (const SavedBook& book : books) putbook(out, book);
  return out.length();
}

LoadedReadings parsereadings(std::string_view text, Lifetime& saved, CounterBook& ipv4,
                             CounterBook& ipv6) {
  LoadedReadings loaded;
  saved = {"", "", -1};
  if (text.empty() || text.back() != '\n') {
    loaded.problem = "it is empty or cut short";
    return loaded;
  }
  Tokens lines(text, '\n');
  for (std::string_view line; lines.next(line);) {
    BookLine entry;
    if (line.starts_with("boot ")) {
      copyfield(line.substr(5), saved.boot);
    } else if (line.starts_with("netns ")) {
      copyfield(line.substr(6), saved.netns);
    } else if (line.starts_with("uptime ") && isdecimal(line.substr(7))) {
      saved.uptime = parsecount(line.substr(7));
    } else if (parsebookline(line, entry) && (entry.family == "ipv4" || entry.family == "ipv6")) {
      CounterBook& book = entry.family == "ipv4" ? ipv4 : ipv6;
      if (!book.add(entry.outbound, entry.rule, entry.bytes)) ++loaded.dropped;
    } else {
      loaded.problem = "it holds a line that is not a reading";
      return loaded;
    }
  }
  return loaded;
}

const char* otherlifetime(const Lifetime& saved, const Lifetime& now) {
  bool sameboot = strcmp(saved.boot, "-") == 0 || strcmp(now.boot, "-") == 0 ||
                  strcmp(saved.boot, now.boot) == 0;
  if (!sameboot || saved.uptime < 0 || now.uptime < saved.uptime)
    return "they were taken before the system last started";
  if (strcmp(saved.netns, now.netns) != 0) return "they were taken in another network namespace";
  return nullptr;
}

bool parsebookline(std::string_view line, BookLine& parsed) {
  Tokens words(line, ' ');
  std::string_view direction, bytes;
  if (!words.next(parsed.family) || !words.next(direction) || !words.next(bytes)) return false;
  if ((direction != "in" && direction != "out") || !isdecimal(bytes) || bytes[0] == '-')
    return false;
  parsed.outbound = direction == "out";
  parsed.bytes = parsecount(bytes);
  size_t start =
      line.find_first_not_of(' ', static_cast<size_t>(bytes.data() + bytes.size() - line.data()));
  if (start == std::string_view::npos) return false;
  parsed.rule = line.substr(start);
  return true;
}
