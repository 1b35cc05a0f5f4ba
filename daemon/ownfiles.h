#pragma once
#include <span>
#include <string>
#include <vector>

#include "pathclash.h"

// The files the daemon writes: the four the start-up script names and those
// it keeps beside them. A new file is a suffix here and a row in the table.

// Beside the persistent day file: its temporary file, the saved counter
// readings and theirs.
inline constexpr char kdaytempsuffix[] = ".tmp";
inline constexpr char kreadingssuffix[] = ".counters";
inline constexpr char kreadingstempsuffix[] = ".counters.tmp";
// Beside the history: the torn lines a power cut left at its end, and the
// five-minute file (kfiveminsuffix) with its temporary file for the thinning.
inline constexpr char ktornsuffix[] = ".torn";
inline constexpr char kfivemintempsuffix[] = ".5min.tmp";

// Which of the four configured paths a file lies beside.
enum class Beside { rate, today, day, history };

// The path of the file that lies beside a configured one with suffix.
std::string besidepath(Beside base, const char* suffix);

// Every file the daemon writes, by role, with its resolved path, in a fixed
// order; the saved readings only when savesreadings.
std::vector<RolePath> ownfiles(bool savesreadings);

// Names the first two files of files that are the same file on standard error
// ("byteloom: the ROLE and the ROLE are the same file: PATH"): -1; else 0.
int refuseclashes(std::span<const RolePath> files);
