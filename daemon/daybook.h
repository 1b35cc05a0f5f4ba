#pragma once
#include <ctime>

// The day bookkeeping's decisions, from dates and the clock alone.

enum class Recovery {
  fresh,     // no readable persistent day file: start at 0
  archived,  // its day is already the history's last line: start at 0
  resume,    // it holds today, or a day the clock hasn't reached yet: load its totals
  archive,   // an earlier day missing from the history: append it, start today at 0
};

// The start-up recovery for the dates read from the persistent day file and
// the history file (with the readers' results) and the local time now.
Recovery chooserecovery(int persistentresult, const tm& persistentdate, int volumesresult,
                        const tm& volumesdate, const tm& now);

// The day a start counts into. A clock that boots at an old date and is set
// right later must not close the stored day, so a date earlier than the
// newest one the files hold (the persistent day file's or the history's last
// line's) is not a day of its own: the daemon counts into that stored day.
struct StartDay {
  tm day;         // the accounting day: now, or the stored day when the clock is behind
  bool behind;    // the clock is earlier than the stored day
  bool archived;  // the history already holds day's line: a change of day appends none
};

// The day to start in for the same readers' results and dates as chooserecovery.
StartDay choosestartday(int persistentresult, const tm& persistentdate, int volumesresult,
                        const tm& volumesdate, const tm& now);

// True when a's calendar date comes before b's.
bool datebefore(const tm& a, const tm& b);

enum class CycleStep {
  none,           // same day, same minute
  daychange,      // a later calendar date: archive the day and start a new one
  minutepersist,  // same day (or the clock behind it), another minute: save the day's totals
};

// What a cycle does before sampling, given the accounting day, the previous
// cycle's time previous and the current time cur. A date before the
// accounting day is the clock running behind, never a change of day.
CycleStep choosecyclestep(const tm& day, const tm& previous, const tm& cur);

// The relative sleep that ends at the next whole second of a clock reading;
// a reading exactly on a boundary sleeps one full second.
timespec sleeprequest(const timespec& reading);
