#pragma once
#include <ctime>
#include <string>

// The five-minute file beside the history (its path and ".5min"): the day's
// running totals every five minutes, at 00:00, at start and at a clean stop.
// Its failures are named on standard error and never stop the daemon: a
// missing line only merges two intervals.

// The file's path and that of its rewrite's temporary file.
std::string fiveminfilepath();
std::string fivemintemppath();

// Once, after the paths are known: sizes the line buffer and the paths, so
// that a cycle allocates nothing. 0, or -1 without memory.
int preparefivemin();

// At start, after the day is recovered (day the accounting day, clock the
// local time): cuts off a torn last line, learns the last line's stamp, thins
// old dates, and writes the start line with the recovered figures.
void startfivemin(const tm& day, const tm& clock);

// After a cycle's minute write of the day file succeeded: the line of the
// five-minute boundary that the cycle crossed, if any, with those figures.
void fiveminboundary(const tm& day, const tm& previous, const tm& cur);

// After a change of day's history append and day file write: the new day's
// 00:00 line, then the daily thinning.
void fiveminnewday(const tm& newday);

// At a clean stop, after the day file is written.
void fiveminstop(const tm& day, const tm& clock);
