#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Something wrong in an input file. The report goes on without the bad part,
// so problems are collected and shown beside the figures instead of stopping.
struct Problem {
  std::string file;
  size_t line = 0;  // 0 when the problem concerns the whole file
  std::string message;
};

using Problems = std::vector<Problem>;

// "file:line: message", or "file: message" for a whole file.
inline std::string describe(const Problem& problem) {
  std::string text = problem.file;
  if (problem.line > 0) text.append(1, ':').append(std::to_string(problem.line));
  return text.append(": ").append(problem.message);
}
