#include "daybook.h"

#include "datestamp.h"

Recovery chooserecovery(int persistentresult, const tm& persistentdate, int volumesresult,
                        const tm& volumesdate, const tm& now) {
  if (persistentresult != 0) return Recovery::fresh;
  if (volumesresult == 0 && samedate(volumesdate, persistentdate)) return Recovery::archived;
  if (samedate(persistentdate, now)) return Recovery::resume;
  return Recovery::archive;
}

CycleStep choosecyclestep(const tm& now, const tm& cur) {
  // The whole calendar date counts: a day of month alone would miss a change
  // after a suspend that resumes on the same day of a later month.
  if (!samedate(cur, now)) return CycleStep::daychange;
  if (cur.tm_min != now.tm_min) return CycleStep::minutepersist;
  return CycleStep::none;
}

timespec sleeprequest(const timespec& reading) {
  if (reading.tv_nsec == 0) return {1, 0};
  return {0, 1'000'000'000L - reading.tv_nsec};
}
