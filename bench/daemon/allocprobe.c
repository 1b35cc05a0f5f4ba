/* Test helper for the allocation counter: CYCLES cycles of two mallocs, one
 * calloc and a short clock_nanosleep; prints whether LD_PRELOAD is still set.
 * Usage: allocprobe CYCLES */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

/* Seen from outside, so the compiler keeps each malloc and free. */
void* volatile lastblock;

int main(int argc, char** argv) {
  int cycles = argc > 1 ? atoi(argv[1]) : 0;
  for (int i = 0; i < cycles; ++i) {
    void* blocks[] = {malloc(16), malloc(4096), calloc(4, 8)};
    for (int b = 0; b < 3; ++b) {
      lastblock = blocks[b];
      free(lastblock);
    }
    struct timespec pause = {0, 1000000};
    clock_nanosleep(CLOCK_MONOTONIC, 0, &pause, NULL);
  }
  printf("LD_PRELOAD %s\n", getenv("LD_PRELOAD") ? "set" : "unset");
  return 0;
}
