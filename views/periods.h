#pragma once
#include <map>
#include <string>
#include <vector>

#include "reportdays.h"

enum class Period { day, month, year };

// One calendar month or year of the month and year views.
struct PeriodRow {
  std::string name;      // "2026-03" or "2026"
  int recordeddays = 0;  // dates of it on record
  int calendardays = 0;
  bool running = false;                       // holds today
  bool future = false;                        // after today: shown, counted in no total
  std::vector<std::optional<Sums>> counts;    // per label; nullopt when absent
  std::vector<std::optional<Sums>> estimate;  // the running row's, per label; else empty
};

// The month or year view: a row per period, oldest first, then any periods
// of records dated after today, and the totals over the rows up to today.
struct PeriodReport {
  Period period = Period::month;
  std::vector<std::string> labels;
  std::vector<PeriodRow> rows;
  std::vector<Sums> totals;
};

// The day, month or year that holds date.
DayRange periodof(Period period, std::chrono::sys_days date);

// The traffic of a whole period from what it held so far: the days before
// today count whole, today by the share of its seconds that have passed.
widecount estimate(widecount sofar, DayRange period, LocalClock now);
Sums estimate(const Sums& sofar, DayRange period, LocalClock now);

// Folds day records one at a time into the rows of a month or year view, so
// a history can be folded while it is read. Columns are the configured
// labels, then others in the order they are met, or only the labels in only.
class PeriodFolder {
 public:
  PeriodFolder(Period period, int count, LocalClock now, std::vector<std::string> configured,
               std::vector<std::string> only);

  // Adds a day's items (anything with .label and .counts).
  template <typename ItemList>
  void addday(std::chrono::sys_days date, const ItemList& items) {
    if (date < first_) return;
    Slot& slot = date > now_.date ? future_[periodof(period_, date).first] : slotof(date);
    slot.dates.push_back(date);
    size_t guess = 0;
    for (const auto& item : items) {
      std::optional<size_t> column = columnof(item.label, guess);
      if (!column) continue;
      guess = *column + 1;
      met_[*column] = true;
      if (slot.counts.size() <= *column) slot.counts.resize(*column + 1);
      if (!slot.counts[*column]) slot.counts[*column] = Sums{};
      ::add(*slot.counts[*column], item.counts);
    }
  }

  // The view: every period from the first to the running one, then those
  // after today on record, with the totals and the running estimate.
  PeriodReport finish(Problems& problems);

 private:
  struct Slot {
    std::vector<std::chrono::sys_days> dates;
    std::vector<std::optional<Sums>> counts;
  };

  Slot& slotof(std::chrono::sys_days date);
  std::optional<size_t> columnof(std::string_view label, size_t guess);
  PeriodRow row(DayRange span, Slot* slot) const;
  void namemissing(Problems& problems) const;

  Period period_;
  LocalClock now_;
  std::chrono::sys_days first_;  // records before it are left out
  std::vector<std::string> columns_;
  bool fixedcolumns_;
  std::vector<std::string> configured_;
  std::vector<bool> met_;                         // per column: found in a record
  std::map<std::chrono::sys_days, Slot> slots_;   // by the period's first day
  std::map<std::chrono::sys_days, Slot> future_;  // records dated after today
};

// The last count months or years up to the running one (count 0: from the
// oldest on record), each label's sums, its days on record and the running
// period's estimate.
PeriodReport buildperiods(const Figures& figures, Period period, int count, LocalClock now,
                          const std::vector<std::string>& only, Problems& problems);
