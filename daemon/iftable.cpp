#include "iftable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "text.h"

IfInfo* ifinfoarrptr = nullptr;
int32_t ifinfoarrsize = 0;

char outfile[PATHSIZE];
char outfileday[PATHSIZE];
char outpersistentfileday[PATHSIZE];
char outdayvolumes[PATHSIZE];

namespace {

constexpr int kpathlines = 4;

int reject(const char* what) {
  fprintf(stderr, "byteloom: %s\n", what);
  return -1;
}

int reject(const char* what, std::string_view item) {
  fprintf(stderr, "byteloom: %s: \"%.*s\"\n", what, static_cast<int>(item.size()), item.data());
  return -1;
}

// Copies text into a fixed field only when it fits whole: a cut name could
// silently match another interface or label.
template <size_t N>
bool copyfield(char (&field)[N], std::string_view text) {
  if (text.size() >= N) return false;
  memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
  return true;
}

int countspecs(std::string_view line) {
  Tokens specs(line, ' ');
  int n = 0;
  for (std::string_view spec; specs.next(spec);) ++n;
  return n;
}

int parsespec(std::string_view spec, IfInfo& record) {
  Tokens parts(spec, ':');
  std::string_view name, value, destination;
  if (!parts.next(name)) return reject("interface specification without a name", spec);
  if (!copyfield(record.ifname, name)) return reject("interface name longer than 15 characters", name);
  if (!parts.next(value)) return 0;
  if (!parts.next(destination))
    return reject("interface specification needs name:value:destination", spec);
  if (!copyfield(record.matchval, value)) return reject("match value longer than 7 characters", value);
  if (!copyfield(record.dest, destination))
    return reject("destination longer than 31 characters", destination);
  return 0;
}

int buildtable(std::string_view line) {
  int n = countspecs(line);
  free(ifinfoarrptr);
  ifinfoarrsize = 0;
  ifinfoarrptr = static_cast<IfInfo*>(calloc(n > 0 ? n : 1, sizeof(IfInfo)));
  if (ifinfoarrptr == nullptr) return reject("cannot allocate the interface table", line);
  Tokens specs(line, ' ');
  std::string_view spec;
  for (int i = 0; specs.next(spec); ++i)
    if (parsespec(spec, ifinfoarrptr[i]) != 0) return -1;
  ifinfoarrsize = n;
  return 0;
}

int readpaths(Tokens& lines) {
  char* paths[kpathlines] = {outfile, outfileday, outpersistentfileday, outdayvolumes};
  for (char* path : paths) {
    std::string_view line;
    if (!lines.next(line)) return reject("start-up output ends before its four file paths");
    if (line.size() >= PATHSIZE) return reject("file path longer than 511 characters", line);
    memcpy(path, line.data(), line.size());
    path[line.size()] = '\0';
  }
  return 0;
}

int assignlabels(std::string_view line) {
  Tokens labels(line, ' ');
  for (int i = 0; i < ifinfoarrsize; ++i) {
    IfInfo& record = ifinfoarrptr[i];
    std::string_view label;
    if (!labels.next(label)) {
      snprintf(record.label, sizeof record.label, "UNKNOWN-%d", i);
      continue;
    }
    if (!copyfield(record.label, label)) return reject("label longer than 255 characters", label);
  }
  return 0;
}

int parseoutput(const char* text) {
  Tokens lines(text, '\n');
  std::string_view line;
  if (!lines.next(line)) return reject("start-up output holds no interface line");
  if (buildtable(line) != 0 || readpaths(lines) != 0) return -1;
  if (!lines.next(line)) return reject("start-up output ends before its label line");
  return assignlabels(line);
}

}  // namespace

int init_ifinfoarr(const char* text) {
  if (parseoutput(text) == 0) return 0;
  ifinfoarrsize = 0;
  return -1;
}

void resetcounters() {
  for (IfInfo& record : iftable()) record.cur_in = record.cur_out = 0;
}

void resetdaycounters() {
  for (IfInfo& record : iftable()) record.day_in = record.day_out = 0;
}
