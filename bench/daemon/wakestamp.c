/* Preload for the soak benchmark: after each return from clock_nanosleep on
 * the monotonic clock (the daemon's sleep to the next second), appends how
 * far past the whole second the process woke, in microseconds, to the file
 * named by WAKESTAMP_OUT. Children do not inherit it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef int (*sleepfn)(clockid_t, int, const struct timespec*, struct timespec*);

static int outfd = -1;

__attribute__((constructor)) static void openlog(void) {
  const char* path = getenv("WAKESTAMP_OUT");
  if (path != NULL) outfd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  unsetenv("LD_PRELOAD");
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* request,
                    struct timespec* remain) {
  static sleepfn real;
  if (real == NULL)
    *(void**)&real = dlsym(RTLD_NEXT, "clock_nanosleep"); /* ISO C: no cast to a function */
  int result = real(clock, flags, request, remain);
  if (clock == CLOCK_MONOTONIC && outfd >= 0) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[32];
    int len = snprintf(line, sizeof line, "%ld\n", now.tv_nsec / 1000);
    if (write(outfd, line, (size_t)len) < 0) outfd = -1;
  }
  return result;
}
