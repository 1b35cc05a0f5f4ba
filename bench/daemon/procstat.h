#pragma once
#include <sys/types.h>
#include <cstdint>
#include <string>
#include <string_view>

// CPU time in ns of a process's main thread, from /proc/<pid>/schedstat text
// (its first field; children are not included). -1 when unreadable.
int64_t schedstatcpu(std::string_view text);

// The Private_Dirty figure in kB from /proc/<pid>/smaps_rollup text; -1 when absent.
int64_t privatedirtykb(std::string_view text);

// The voluntary context switches (times it went to sleep) of a process's main
// thread, from /proc/<pid>/status text; -1 when absent.
int64_t voluntaryswitches(std::string_view text);

// The whole of /proc/<pid>/<name>, or "" when the process is gone.
std::string readprocfile(pid_t pid, const char* name);
