#include "daybook.h"

#include "datestamp.h"

namespace {

// The newer of the two stored dates that could be read; false when neither.
bool neweststored(int persistentresult, const tm& persistentdate, int volumesresult,
                  const tm& volumesdate, tm* newest) {
  if (persistentresult != 0 && volumesresult != 0) return false;
  if (persistentresult != 0)
    *newest = volumesdate;
  else if (volumesresult != 0 || !datebefore(persistentdate, volumesdate))
    *newest = persistentdate;
  else
    *newest = volumesdate;
  return true;
}

}  // namespace

bool datebefore(const tm& a, const tm& b) {
  if (a.tm_year != b.tm_year) return a.tm_year < b.tm_year;
  if (a.tm_mon != b.tm_mon) return a.tm_mon < b.tm_mon;
  return a.tm_mday < b.tm_mday;
}

Recovery chooserecovery(int persistentresult, const tm& persistentdate, int volumesresult,
                        const tm& volumesdate, const tm& now) {
  if (persistentresult != 0) return Recovery::fresh;
  if (volumesresult == 0 && samedate(volumesdate, persistentdate)) return Recovery::archived;
  if (samedate(persistentdate, now)) return Recovery::resume;
  // A clock behind the day file's date hasn't left that day: it resumes, unless
  // the history already ends later, which makes the day file's day a past one.
  bool historylater = volumesresult == 0 && datebefore(persistentdate, volumesdate);
  if (datebefore(now, persistentdate) && !historylater) return Recovery::resume;
  return Recovery::archive;
}

StartDay choosestartday(int persistentresult, const tm& persistentdate, int volumesresult,
                        const tm& volumesdate, const tm& now) {
  tm stored{};
  if (!neweststored(persistentresult, persistentdate, volumesresult, volumesdate, &stored) ||
      !datebefore(now, stored))
    return {now, false, false};
  bool archived = volumesresult == 0 && samedate(volumesdate, stored);
  return {stored, true, archived};
}

CycleStep choosecyclestep(const tm& day, const tm& previous, const tm& cur) {
  // The whole calendar date counts: a day of month alone would miss a change
  // after a suspend that resumes on the same day of a later month.
  if (!samedate(cur, day) && !datebefore(cur, day)) return CycleStep::daychange;
  if (cur.tm_min != previous.tm_min) return CycleStep::minutepersist;
  return CycleStep::none;
}

timespec sleeprequest(const timespec& reading) {
  if (reading.tv_nsec == 0) return {1, 0};
  return {0, 1'000'000'000L - reading.tv_nsec};
}
