#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "wide.h"

// si: kB, MB, GB, TB in steps of 1,000 (as the rate file's kilobytes);
// iec: KiB, MiB, GiB, TiB in steps of 1,024.
enum class Units { si, iec };

// A byte count in human units: "812 B", "904.31 kB", "1.20 GB", "3.10 TiB".
// Past 1,000 TB (1,024 TiB) it stays in TB (TiB).
std::string humanbytes(double bytes, Units units = Units::si);

// The same for an exact count.
std::string humanbytes(widecount bytes, Units units);

// How many bytes a unit stands for (1000 or 1024 to the power).
double unitsize(Units units, int power);

// The unit's name: "B", "kB", ..., or "B", "KiB", ...
const char* unitname(Units units, int power);

// A byte limit: a number with an optional fraction and an optional unit
// ("500GB", "1.5TB", "200GiB", "1 kB", plain bytes); units are B, kB, MB, GB,
// TB, PB and KiB to PiB, any case. nullopt with the reason in error.
std::optional<widecount> parselimit(std::string_view text, std::string& error);
