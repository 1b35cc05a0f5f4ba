#include "fiveminbook.h"

#include <algorithm>
#include <map>
#include <vector>

#include "datestamp.h"
#include "tokens.h"

namespace {

constexpr int kboundary = 5;
constexpr int kminutesperhour = 60;

// A line may follow last when it is of another date or a later minute.
std::optional<MinuteStamp> ifafter(const MinuteStamp& stamp,
                                   const std::optional<MinuteStamp>& last) {
  if (last && last->date == stamp.date && stamp.minute <= last->minute) return std::nullopt;
  return stamp;
}

// Calls visit(line) for every line of text, its newline included when it has one.
template <typename Visit>
void eachline(std::string_view text, Visit visit) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    size_t len = end == std::string_view::npos ? text.size() : end + 1;
    visit(text.substr(0, len));
    text.remove_prefix(len);
  }
}

// For each whole hour of a date, the last of its minutes at or before it.
std::vector<int> hourlyminutes(std::vector<int> minutes) {
  std::sort(minutes.begin(), minutes.end());
  std::vector<int> kept;
  for (int hour = 0; hour < 24; ++hour) {
    auto after = std::upper_bound(minutes.begin(), minutes.end(), hour * kminutesperhour);
    if (after == minutes.begin()) continue;
    if (kept.empty() || kept.back() != *(after - 1)) kept.push_back(*(after - 1));
  }
  return kept;
}

}  // namespace

std::optional<MinuteStamp> chooseboundarystamp(const tm& day, const tm& previous, const tm& cur,
                                               const std::optional<MinuteStamp>& last) {
  if (!samedate(cur, day)) return std::nullopt;  // its time means nothing for that day
  MinuteStamp now = minuteof(cur);
  MinuteStamp boundary{now.date, now.minute - now.minute % kboundary};
  if (!(minuteof(previous) < boundary)) return std::nullopt;
  return ifafter(boundary, last);
}

std::optional<MinuteStamp> choosedaystartstamp(const tm& newday,
                                               const std::optional<MinuteStamp>& last) {
  return ifafter({minuteof(newday).date, 0}, last);
}

std::optional<MinuteStamp> choosestartstamp(const tm& day, const tm& clock,
                                            const std::optional<MinuteStamp>& last) {
  if (!samedate(clock, day)) return std::nullopt;
  return ifafter(minuteof(clock), last);
}

// The clock reads whole seconds and the last cycle sampled after it read its
// time, so even a stop at hh:mm:00 has bytes of that minute: the minute after
// is the first one the figures are complete for.
std::optional<MinuteStamp> choosestopstamp(const tm& day, const tm& clock,
                                           const std::optional<MinuteStamp>& last) {
  if (!samedate(clock, day)) return std::nullopt;
  MinuteStamp stop = minuteof(clock);
  if (stop.minute + 1 >= kminutesperday) return std::nullopt;
  return ifafter({stop.date, stop.minute + 1}, last);
}

ThinnedFiveMin thinfivemin(std::string_view text, std::chrono::sys_days today) {
  using std::chrono::days;
  const auto dropbefore = today - days(kfivemindays);
  const auto thinbefore = today - days(kfullfivemindays);
  std::map<std::chrono::sys_days, std::vector<int>>
      thinned;  // a date's minutes, then its kept ones
  eachline(text, [&](std::string_view line) {
    if (auto stamp = readminutestamp(line);
        stamp && stamp->first.date >= dropbefore && stamp->first.date < thinbefore)
      thinned[stamp->first.date].push_back(stamp->first.minute);
  });
  for (auto& [date, minutes] : thinned) minutes = hourlyminutes(std::move(minutes));
  ThinnedFiveMin result;
  result.text.reserve(text.size());
  eachline(text, [&](std::string_view line) {
    auto stamp = readminutestamp(line);
    if (!stamp) result.unreadable += isblankline(line) ? 0 : 1;
    bool keep = true;
    if (stamp && stamp->first.date < dropbefore) keep = false;
    if (auto date = thinned.find(stamp ? stamp->first.date : today); stamp && date != thinned.end())
      keep = std::binary_search(date->second.begin(), date->second.end(), stamp->first.minute);
    if (keep)
      result.text.append(line);
    else
      ++result.dropped;
  });
  return result;
}
