#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "periods.h"
#include "problems.h"
#include "reportdays.h"
#include "setup.h"

// The running day from setup's today and persistent day files (read by the
// rules every reader of them follows), given the newest date of the
// history up to now (NewestDate); one dated after now is named.
std::optional<DayRecord> loadrunningday(const FileSetup& setup,
                                        std::optional<std::chrono::sys_days> archived,
                                        LocalClock now, Problems& problems);

// The month or year view straight from setup's files: the history is read
// and folded while it is read, in one pass, without keeping its lines.
PeriodReport loadperiods(const FileSetup& setup, Period period, int count, LocalClock now,
                         const std::vector<std::string>& only, Problems& problems);

// Reads the history, the persistent day file and the today file of setup
// (each once, whole) into the figures the views are built from; the running
// day is the one runningday() gives, and records dated after now are named.
Figures loadfigures(const FileSetup& setup, LocalClock now, Problems& problems);
