#include "iftable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "startup.h"

IfInfo* ifinfoarrptr = nullptr;
int32_t ifinfoarrsize = 0;

char outfile[kpathsize];
char outfileday[kpathsize];
char outpersistentfileday[kpathsize];
char outdayvolumes[kpathsize];

namespace {

int reject(const std::string& why) {
  fprintf(stderr, "byteloom: %s\n", why.c_str());
  return -1;
}

// The parser has checked every path against kpathsize.
void copypath(char (&field)[kpathsize], const std::string& path) {
  memcpy(field, path.c_str(), path.size() + 1);
}

int installtable(const StartupOutput& output) {
  size_t n = output.table.size();
  free(ifinfoarrptr);
  ifinfoarrptr = static_cast<IfInfo*>(calloc(n > 0 ? n : 1, sizeof(IfInfo)));
  if (ifinfoarrptr == nullptr) return reject("cannot allocate the interface table");
  if (n > 0) memcpy(ifinfoarrptr, output.table.data(), n * sizeof(IfInfo));
  ifinfoarrsize = static_cast<int32_t>(n);
  copypath(outfile, output.ratefile);
  copypath(outfileday, output.todayfile);
  copypath(outpersistentfileday, output.dayfile);
  copypath(outdayvolumes, output.historyfile);
  return 0;
}

}  // namespace

int init_ifinfoarr(const char* text) {
  ifinfoarrsize = 0;
  std::string error;
  std::optional<StartupOutput> output = parsestartupoutput(text, error);
  if (!output) return reject(error);
  return installtable(*output);
}

void resetcounters() {
  for (IfInfo& record : iftable()) record.cur_in = record.cur_out = 0;
}

void resetdaycounters() {
  for (IfInfo& record : iftable()) record.day_in = record.day_out = 0;
}
