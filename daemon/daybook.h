#pragma once
#include <ctime>

// The day bookkeeping's decisions, from dates and the clock alone.

enum class Recovery {
  fresh,     // no readable persistent day file: start at 0
  archived,  // its day is already the history's last line: start at 0
  resume,    // it holds today: load its totals
  archive,   // an earlier day missing from the history: append it, start today at 0
};

// The start-up recovery for the dates read from the persistent day file and
// the history file (with the readers' results) and the local time now.
Recovery chooserecovery(int persistentresult, const tm& persistentdate, int volumesresult,
                        const tm& volumesdate, const tm& now);

enum class CycleStep {
  none,           // same day, same minute
  daychange,      // another calendar date: archive the day and start a new one
  minutepersist,  // same day, another minute: save the day's totals
};

// What a cycle does before sampling, given the previous cycle's time now and
// the current time cur.
CycleStep choosecyclestep(const tm& now, const tm& cur);

// The relative sleep that ends at the next whole second of a clock reading;
// a reading exactly on a boundary sleeps one full second.
timespec sleeprequest(const timespec& reading);
