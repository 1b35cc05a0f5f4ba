#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ifrecord.h"

// What the start-up script's six lines say: the interface table (counters at
// zero, labels filled in) and the four file paths.
struct StartupOutput {
  std::vector<IfInfo> table;
  std::string ratefile;
  std::string todayfile;
  std::string dayfile;
  std::string historyfile;
};

// Reads the start-up script's output. nullopt when it is malformed or an item
// doesn't fit its field; error then says what, naming the item.
std::optional<StartupOutput> parsestartupoutput(std::string_view text, std::string& error);
