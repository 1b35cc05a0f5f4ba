#include "ownfiles.h"

#include <cstdio>

#include "fiveminlines.h"

#include "iftable.h"

namespace {

struct OwnFile {
  const char* role;
  Beside base;
  const char* suffix;
  bool readings;  // only written when the saved counter readings are
};

constexpr OwnFile kownfiles[] = {
    {"saved counter readings", Beside::day, kreadingssuffix, true},
    {"saved counter readings' temporary file", Beside::day, kreadingstempsuffix, true},
    {"rate file", Beside::rate, "", false},
    {"today file", Beside::today, "", false},
    {"persistent day file", Beside::day, "", false},
    {"history file", Beside::history, "", false},
    {"persistent day file's temporary file", Beside::day, kdaytempsuffix, false},
    {"history's torn-line file", Beside::history, ktornsuffix, false},
    {"five-minute file", Beside::history, kfiveminsuffix, false},
    {"five-minute file's temporary file", Beside::history, kfivemintempsuffix, false},
};

const char* configured(Beside base) {
  switch (base) {
    case Beside::rate:
      return outfile;
    case Beside::today:
      return outfileday;
    case Beside::day:
      return outpersistentfileday;
    case Beside::history:
      return outdayvolumes;
  }
  return "";
}

}  // namespace

std::string besidepath(Beside base, const char* suffix) {
  return std::string(configured(base)) + suffix;
}

std::vector<RolePath> ownfiles(bool savesreadings) {
  std::vector<RolePath> files;
  for (const OwnFile& file : kownfiles)
    if (savesreadings || !file.readings)
      files.push_back({file.role, resolvedpath(besidepath(file.base, file.suffix))});
  return files;
}

// Files that share a path would destroy each other: a history at the
// temporary file's path, for one, is replaced by the first persist.
int refuseclashes(std::span<const RolePath> files) {
  std::optional<std::pair<size_t, size_t>> clash = findclash(files);
  if (!clash) return 0;
  const RolePath& first = files[clash->first];
  fprintf(stderr, "byteloom: the %s and the %s are the same file: %s\n", first.role,
          files[clash->second].role, first.path.c_str());
  return -1;
}
