/* Allocation counter, loaded with LD_PRELOAD into a program that sleeps once
 * a cycle with clock_nanosleep (byteloom and the C baseline loop).
 *
 * Every allocation call is counted, split by who called it: "own" when the
 * caller lies in the program itself or in libstdc++ (which allocates only
 * when the program asks it to), "libc" otherwise. After ALLOCOUNT_WARMUP
 * sleeps (default 3) the counts start from zero; at every later sleep the
 * file ALLOCOUNT_OUT is overwritten with one line:
 *   cycles N own A libc B
 * The preload removes itself from the environment so that the shell and
 * iptables started by the program are not counted. free is not wrapped:
 * the blocks come from glibc's own allocator through its __libc_ entries. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);

enum { kmaxranges = 16 };

struct range {
  uintptr_t start, end;
};

static struct range ownranges[kmaxranges];
static int ownrangecount;
static unsigned long owncalls, libccalls, ownatstart, libcatstart;
static long cycles, warmup = 3;
static int reportfd = -1;
static int (*realsleep)(clockid_t, int, const struct timespec*, struct timespec*);

static int isown(const char* name, int first) {
  return first || strstr(name, "libstdc++") != NULL;
}

static int collectranges(struct dl_phdr_info* info, size_t size, void* data) {
  (void)size;
  int* first = data;
  if (isown(info->dlpi_name, *first)) {
    for (int i = 0; i < info->dlpi_phnum && ownrangecount < kmaxranges; ++i) {
      const ElfW(Phdr)* header = &info->dlpi_phdr[i];
      if (header->p_type != PT_LOAD || !(header->p_flags & PF_X)) continue;
      uintptr_t start = info->dlpi_addr + header->p_vaddr;
      ownranges[ownrangecount++] = (struct range){start, start + header->p_memsz};
    }
  }
  *first = 0;
  return 0;
}

static void count(const void* caller) {
  uintptr_t address = (uintptr_t)caller;
  for (int i = 0; i < ownrangecount; ++i) {
    if (address >= ownranges[i].start && address < ownranges[i].end) {
      ++owncalls;
      return;
    }
  }
  ++libccalls;
}

#define COUNTCALLER() count(__builtin_return_address(0))

__attribute__((constructor)) static void start(void) {
  int first = 1;
  dl_iterate_phdr(collectranges, &first);
  /* Through a data pointer: ISO C has no cast from dlsym's result to a function. */
  *(void**)&realsleep = dlsym(RTLD_NEXT, "clock_nanosleep");
  const char* path = getenv("ALLOCOUNT_OUT");
  if (path) reportfd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const char* skip = getenv("ALLOCOUNT_WARMUP");
  if (skip) warmup = atol(skip);
  unsetenv("LD_PRELOAD");
}

/* Writes value in decimal at the end of buf; returns where it starts. */
static char* decimal(char* end, unsigned long value) {
  do {
    *--end = (char)('0' + value % 10);
    value /= 10;
  } while (value);
  return end;
}

static size_t append(char* line, size_t len, const char* text, unsigned long value) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* first = decimal(end, value);
  size_t textlen = strlen(text);
  memcpy(line + len, text, textlen);
  memcpy(line + len + textlen, first, (size_t)(end - first));
  return len + textlen + (size_t)(end - first);
}

/* Fixed-size writes with no allocation, from the program's own thread. */
static void report(void) {
  char line[128];
  size_t len = append(line, 0, "cycles ", (unsigned long)(cycles - warmup));
  len = append(line, len, " own ", owncalls - ownatstart);
  len = append(line, len, " libc ", libccalls - libcatstart);
  line[len++] = '\n';
  if (ftruncate(reportfd, 0) == 0 && pwrite(reportfd, line, len, 0) < 0) return;
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* request,
                    struct timespec* remain) {
  ++cycles;
  if (cycles == warmup) ownatstart = owncalls, libcatstart = libccalls;
  if (cycles > warmup && reportfd >= 0) report();
  return realsleep(clock, flags, request, remain);
}

void* malloc(size_t size) {
  COUNTCALLER();
  return __libc_malloc(size);
}

void* calloc(size_t count_, size_t size) {
  COUNTCALLER();
  return __libc_calloc(count_, size);
}

void* realloc(void* block, size_t size) {
  COUNTCALLER();
  return __libc_realloc(block, size);
}

void* memalign(size_t alignment, size_t size) {
  COUNTCALLER();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  COUNTCALLER();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** block, size_t alignment, size_t size) {
  COUNTCALLER();
  *block = __libc_memalign(alignment, size);
  return *block ? 0 : 12; /* ENOMEM */
}

/* operator new and new[], plain, nothrow and aligned: counted at the
 * program's own call site. A failed throwing new aborts: the benchmark
 * never runs out of memory, and C cannot throw std::bad_alloc. */
static void* newblock(size_t size, int mustsucceed) {
  void* block = __libc_malloc(size ? size : 1);
  if (!block && mustsucceed) abort();
  return block;
}

static void* newaligned(size_t size, size_t alignment, int mustsucceed) {
  void* block = __libc_memalign(alignment, size ? size : 1);
  if (!block && mustsucceed) abort();
  return block;
}

void* _Znwm(size_t size) {
  COUNTCALLER();
  return newblock(size, 1);
}

void* _Znam(size_t size) {
  COUNTCALLER();
  return newblock(size, 1);
}

void* _ZnwmRKSt9nothrow_t(size_t size, const void* tag) {
  (void)tag;
  COUNTCALLER();
  return newblock(size, 0);
}

void* _ZnamRKSt9nothrow_t(size_t size, const void* tag) {
  (void)tag;
  COUNTCALLER();
  return newblock(size, 0);
}

void* _ZnwmSt11align_val_t(size_t size, size_t alignment) {
  COUNTCALLER();
  return newaligned(size, alignment, 1);
}

void* _ZnamSt11align_val_t(size_t size, size_t alignment) {
  COUNTCALLER();
  return newaligned(size, alignment, 1);
}
