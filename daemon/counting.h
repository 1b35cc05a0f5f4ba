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
// saved readings, and looks for the IPv6 chains. 0, or -1 when the saved
// readings' files clash with the daemon's other files (named on standard error).
int startcounting(const CaptureLimits& limits);

// The IPv4 listing command: iptcmd, or the same listing without -Z.
const char* ipv4command();

// Zeroes the interval counters and counts a captured IPv4 listing; whole:
// the command ended by itself.
void countipv4(const char* listing, bool whole);

// After the IPv4 listing: lists and counts the IPv6 chains while they exist,
// into a capture of its own, and looks for them once a minute while they
// don't. A failed or stuck listing is named on standard error, never fatal.
void sampleipv6(const CaptureLimits& limits);

// Saves the readings whose growth the day totals include, through a temporary
// file; called before those totals are written anywhere. 0, -1 when the
// temporary file can't be opened, -2 when it can't be written or renamed
// (reported on standard error; the old file stays).
int savereadings();

// savereadings, then persisttodayvolume(date), with the results of either;
// the day file is left alone when the readings can't be saved, so that the
// two never disagree in a way that would count bytes twice.
int persistday(tm date);
