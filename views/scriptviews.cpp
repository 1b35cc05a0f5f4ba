#include "scriptviews.h"

#include "textsafe.h"

namespace {

using std::chrono::sys_days;

// Each label's sums over the records dated in range.
std::vector<std::optional<Sums>> sumsover(const Figures& figures,
                                          const std::vector<std::string>& labels, DayRange range) {
  std::vector<std::optional<Sums>> sums(labels.size());
  for (const ReportDay& day : folddates(figures, labels, range))
    for (size_t i = 0; i < labels.size(); ++i)
      if (day.counts[i]) {
        if (!sums[i]) sums[i] = Sums{};
        add(*sums[i], *day.counts[i]);
      }
  return sums;
}

std::string fields(const std::optional<Sums>& sums) {
  Sums s = sums.value_or(Sums{});
  std::string text;
  for (widecount value : {s.in, s.out, s.in + s.out}) text.append(1, ';').append(widetext(value));
  return text;
}

std::string onelinelabel(const std::string& label) {
  std::string out;
  for (char c : visibletext(label)) out += c == ';' ? std::string("\\x3b") : std::string(1, c);
  return out;
}

widecount pick(const Sums& sums, Direction direction) {
  return direction == Direction::in    ? sums.in
         : direction == Direction::out ? sums.out
                                       : sums.in + sums.out;
}

const char* directionname(Direction direction) {
  return direction == Direction::in ? "in" : direction == Direction::out ? "out" : "total";
}

std::string periodname(Period period, sys_days date) {
  std::string name = formatdate(date);
  return period == Period::day ? "day " + name : "month " + name.substr(0, 7);
}

}  // namespace

std::string formatoneline(const Figures& figures, LocalClock now,
                          const std::vector<std::string>& only, Problems& problems) {
  DayRange alltime{sys_days::min(), now.date};
  std::vector<std::string> labels = columnlabels(figures, alltime, only, problems);
  std::vector<std::optional<Sums>> today = sumsover(figures, labels, {now.date, now.date});
  std::vector<std::optional<Sums>> month =
      sumsover(figures, labels, {periodof(Period::month, now.date).first, now.date});
  std::vector<std::optional<Sums>> all = sumsover(figures, labels, alltime);
  std::string text;
  for (size_t i = 0; i < labels.size(); ++i)
    text += onelinelabel(labels[i]) + ";" + formatdate(now.date) + fields(today[i]) +
            fields(month[i]) + fields(all[i]) + "\n";
  return text;
}

widecount alerttraffic(const Figures& figures, LocalClock now, const AlertRule& rule,
                       Problems& problems) {
  DayRange period = periodof(rule.period, now.date);
  std::vector<std::string> labels =
      columnlabels(figures, {period.first, now.date}, rule.labels, problems);
  std::optional<Sums> sums = daysum(sumsover(figures, labels, {period.first, now.date}));
  widecount traffic = pick(sums.value_or(Sums{}), rule.direction);
  return rule.estimate ? estimate(traffic, period, now) : traffic;
}

std::optional<std::string> judgealert(const Figures& figures, LocalClock now, const AlertRule& rule,
                                      Units units, Problems& problems) {
  widecount traffic = alerttraffic(figures, now, rule, problems);
  if (traffic <= rule.limit) return std::nullopt;
  std::string line = periodname(rule.period, now.date);
  line.append(1, ' ')
      .append(directionname(rule.direction))
      .append(rule.estimate ? " estimate " : " ");
  line.append(humanbytes(traffic, units)).append(" exceeds ").append(humanbytes(rule.limit, units));
  line.append(" (")
      .append(widetext(traffic))
      .append(" > ")
      .append(widetext(rule.limit))
      .append(" bytes)");
  if (!rule.labels.empty()) {
    line += " for";
    for (const std::string& label : rule.labels) line.append(1, ' ').append(visibletext(label));
  }
  return line + "\n";
}
