#include "sampling.h"

#include "iftable.h"
#include "listing.h"

int extractbytes(const char* text) {
  resetcounters();
  countlisting(text, iftable());
  return 0;
}
