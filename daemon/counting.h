#pragma once
#include <ctime>

#include "runcommand.h"

// How the daemon reads each family's chains. The legacy backend lists and
// zeroes a chain in one step; the nf_tables one lists it, then zeroes it in a
// second request, losing what arrives in between, so there the chains are
// listed without zeroing and each rule's growth is counted (counterbook.h).

// Which counting a backend gets, from what "iptables -V" printed.
enum class Counting { zeroing, growth };
Counting countingfor(const char* version);

// Once, after the start-up script and before the day is recovered: finds
// each family's backend and says on standard error how it counts, loads the
// saved readings, and looks for the IPv6 chains. 0, or -1 when two of the
// daemon's files are the same file (named on standard error).
int startcounting(const CaptureLimits& limits);

// Once a cycle: zeroes the interval counters, then for each family lists its
// chains and counts the listing, a listing cut short by the time limit or the
// stop flag by its whole lines (said on standard error). The IPv6 chains are
// counted while they exist and looked for once a minute while they don't; an
// IPv6 listing that fails is named on standard error, never fatal. -1 when
// the IPv4 listing can't be run or overflows its capture.
int samplefamilies(const CaptureLimits& limits);

// Saves the readings whose growth the day totals include, through a temporary
// file; called before those totals are written anywhere. 0, -1 when the
// temporary file can't be opened, -2 when it can't be written or renamed
// (reported on standard error; the old file stays).
int savereadings();

// savereadings, then persisttodayvolume(date), with the results of either;
// the day file is left alone when the readings can't be saved, so that the
// two never disagree in a way that would count bytes twice.
int persistday(tm date);
