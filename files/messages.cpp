#include "messages.h"

#include <cstdio>

#include "textsafe.h"

void printmessage(std::string_view program, std::string_view text) {
  std::string line(program);
  line.append(": ").append(visibletext(text)).append(1, '\n');
  fputs(line.c_str(), stderr);
}

void printproblems(std::string_view program, const Problems& problems) {
  for (const Problem& problem : problems) printmessage(program, describe(problem));
}

void printscripterrors(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) fprintf(stderr, "%s\n", visibletext(line).c_str());
}
