/* Baseline for the daemon benchmark: the least a once-a-second sampler must
 * do. Each cycle it runs COMMAND with popen, captures the output into a
 * 16,384-byte buffer in 128-byte fgets chunks, rewrites RATEFILE and
 * TODAYFILE with one item per interface, and sleeps on the monotonic clock to
 * the next whole second plus PHASE_MS (so that, run beside the daemon, the two
 * never list the chains at the same moment). It parses nothing.
 * Usage: byteloom_cloop COMMAND RATEFILE TODAYFILE INTERFACES [PHASE_MS]
 * Runs until killed. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kcapturesize = 16384, kchunksize = 128 };

static char capture[kcapturesize];

static size_t capturecommand(const char* command) {
  FILE* pipe = popen(command, "r");
  if (!pipe) return 0;
  char chunk[kchunksize];
  size_t total = 0;
  capture[0] = '\0';
  while (fgets(chunk, sizeof chunk, pipe)) {
    size_t len = strlen(chunk);
    if (kcapturesize - total <= len + 1) break;
    memcpy(capture + total, chunk, len + 1);
    total += len;
  }
  pclose(pipe);
  return total;
}

static void rewrite(const char* path, int interfaces, size_t captured, int totals) {
  FILE* file = fopen(path, "w");
  if (!file) return;
  for (int i = 0; i < interfaces; ++i) {
    if (totals)
      fprintf(file, "if%d %lld %lld ", i, (long long)captured, 0LL);
    else
      fprintf(file, "%.2f %.2f ", (double)captured / 1000.0, 0.0);
  }
  fclose(file);
}

static void sleeptonextsecond(long phasens) {
  struct timespec reading;
  clock_gettime(CLOCK_MONOTONIC, &reading);
  long wait = phasens - reading.tv_nsec;
  if (wait <= 0) wait += 1000000000L;
  struct timespec request = {wait / 1000000000L, wait % 1000000000L};
  clock_nanosleep(CLOCK_MONOTONIC, 0, &request, NULL);
}

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: %s COMMAND RATEFILE TODAYFILE INTERFACES [PHASE_MS]\n", argv[0]);
    return 2;
  }
  int interfaces = atoi(argv[4]);
  long phasens = argc > 5 ? atol(argv[5]) % 1000 * 1000000L : 0;
  for (;;) {
    size_t captured = capturecommand(argv[1]);
    rewrite(argv[2], interfaces, captured, 0);
    rewrite(argv[3], interfaces, captured, 1);
    sleeptonextsecond(phasens);
  }
}
