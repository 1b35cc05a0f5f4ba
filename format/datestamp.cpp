#include "datestamp.h"

#include <cstdio>

size_t formatdatestamp(char* buf, size_t cap, const tm& date) {
  if (cap == 0) return 0;
  int n = snprintf(buf, cap, "[%04d-%02d-%02d] ", date.tm_year + 1900, date.tm_mon + 1,
                   date.tm_mday);
  if (n < 0) return buf[0] = '\0', 0;
  return static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
}

int readdatestamp(const char* line, tm* date, size_t* itemsstart) {
  if (line[0] == '\0') return -2;
  int year = 0, month = 0, day = 0, consumed = -1;
  if (sscanf(line, "[%4d-%2d-%2d]%n", &year, &month, &day, &consumed) != 3) return -3;
  date->tm_year = year - 1900;
  date->tm_mon = month - 1;
  date->tm_mday = day;
  *itemsstart = consumed < 0 ? NOITEMS : static_cast<size_t>(consumed);
  return 0;
}

