#include <algorithm>

#include "units.h"
#include "views.h"

namespace {

using Row = std::vector<std::string>;

constexpr size_t kpairgap = 4;
constexpr size_t kvaluegap = 2;
constexpr char kalllabels[] = "all labels";  // holds a space, so no label can be called that

std::string cell(const std::optional<Counts>& counts, bool outbound) {
  if (!counts) return "-";
  return humanbytes(static_cast<double>(outbound ? counts->out : counts->in));
}

void addpair(Row& row, const std::optional<Counts>& counts) {
  row.push_back(cell(counts, false));
  row.push_back(cell(counts, true));
}

Row dayrow(const ReportDay& day, bool withall) {
  Row row{formatdate(day.date) + (day.today ? " today" : "")};
  for (const std::optional<Counts>& counts : day.counts) addpair(row, counts);
  if (withall) addpair(row, daysum(day));
  return row;
}

Row totalrow(const Report& report, bool withall) {
  Row row{"total"};
  Counts all;
  for (const Counts& counts : report.totals) {
    addpair(row, counts);
    all.in += counts.in;
    all.out += counts.out;
  }
  if (withall) addpair(row, all);
  return row;
}

std::string padded(const std::string& text, size_t width, bool right) {
  std::string padding(width > text.size() ? width - text.size() : 0, ' ');
  return right ? padding + text : text + padding;
}

std::string gapbefore(size_t column) {
  if (column == 0) return "";
  return std::string(column % 2 == 1 ? kpairgap : kvaluegap, ' ');
}

std::string renderrow(const Row& row, const std::vector<size_t>& widths) {
  std::string line;
  for (size_t c = 0; c < row.size(); ++c) line += gapbefore(c) + padded(row[c], widths[c], c > 0);
  return line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
}

// Column widths for the rows, widened where a label is longer than its pair.
std::vector<size_t> columnwidths(const std::vector<Row>& rows, const Row& pairnames) {
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const Row& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  for (size_t p = 0; p < pairnames.size(); ++p) {
    size_t& in = widths[1 + 2 * p];
    size_t& out = widths[2 + 2 * p];
    size_t span = in + kvaluegap + out;
    if (pairnames[p].size() <= span) continue;
    size_t extra = pairnames[p].size() - span;
    in += extra / 2;
    out += extra - extra / 2;
  }
  return widths;
}

std::string labelline(const Row& pairnames, const std::vector<size_t>& widths) {
  std::string line(widths[0], ' ');
  for (size_t p = 0; p < pairnames.size(); ++p)
    line += std::string(kpairgap, ' ') +
            padded(pairnames[p], widths[1 + 2 * p] + kvaluegap + widths[2 + 2 * p], false);
  return line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
}

}  // namespace

std::string formattable(const Report& report) {
  bool withall = report.labels.size() > 1;
  Row pairnames = report.labels;
  if (withall) pairnames.push_back(kalllabels);
  std::vector<Row> rows{{"day"}};
  for (size_t p = 0; p < pairnames.size(); ++p) {
    rows[0].push_back("in");
    rows[0].push_back("out");
  }
  for (const ReportDay& day : report.days) rows.push_back(dayrow(day, withall));
  rows.push_back(totalrow(report, withall));
  std::vector<size_t> widths = columnwidths(rows, pairnames);
  std::string text = labelline(pairnames, widths);
  for (const Row& row : rows) text += renderrow(row, widths);
  return text;
}

std::vector<std::string> ratelabels(const std::vector<std::string>& labels, size_t count) {
  std::vector<std::string> names(labels.begin(), labels.begin() + std::min(count, labels.size()));
  while (names.size() < count) names.push_back(std::string(1, '#').append(std::to_string(names.size() + 1)));
  return names;
}

std::string formatlive(const std::vector<std::string>& labels, const std::vector<Rate>& rates,
                       std::string_view clock) {
  std::vector<std::string> names = ratelabels(labels, rates.size());
  std::vector<Row> rows{{"label", "in", "out"}};
  for (size_t i = 0; i < rates.size(); ++i)
    rows.push_back({names[i], humanbytes(rates[i].inkb * 1000.0) + "/s",
                    humanbytes(rates[i].outkb * 1000.0) + "/s"});
  std::vector<size_t> widths = columnwidths(rows, {});
  std::string text = "rates at " + std::string(clock) + "\n";
  for (const Row& row : rows) text += renderrow(row, widths);
  return text;
}
