#pragma once
#include <string>

// A byte count in B, kB, MB or GB (steps of 1,000, as the rate file's
// kilobytes): "812 B", "904.31 kB", "1.20 GB". Past 1,000 GB it stays in GB.
std::string humanbytes(double bytes);
