#include <algorithm>

#include "intervalviews.h"
#include "textsafe.h"
#include "views.h"

namespace {

using Row = std::vector<std::string>;

constexpr size_t kpairgap = 4;
constexpr size_t kvaluegap = 2;
constexpr char kalllabels[] = "all labels";  // holds a space, so no label can be called that

// A table: leading columns (a date, a rank...), then an in and out pair per
// label; the pair names stand on a line above the column names.
struct Table {
  Row lead;
  Row pairs;
  std::vector<Row> rows;
  Units units = Units::si;
};

std::string cell(const std::optional<Sums>& counts, bool outbound, Units units) {
  if (!counts) return "-";
  return humanbytes(outbound ? counts->out : counts->in, units);
}

void addpairs(Row& row, const std::vector<std::optional<Sums>>& counts, bool withall, Units units) {
  for (const std::optional<Sums>& c : counts) {
    row.push_back(cell(c, false, units));
    row.push_back(cell(c, true, units));
  }
  if (!withall) return;
  std::optional<Sums> all = daysum(counts);
  row.push_back(cell(all, false, units));
  row.push_back(cell(all, true, units));
}

std::vector<std::optional<Sums>> present(const std::vector<Sums>& totals) {
  return {totals.begin(), totals.end()};
}

Table newtable(Row lead, const std::vector<std::string>& labels, Units units) {
  Table table{std::move(lead), {}, {}, units};
  for (const std::string& label : labels) table.pairs.push_back(visibletext(label));
  if (labels.size() > 1) table.pairs.push_back(kalllabels);
  return table;
}

std::string padded(const std::string& text, size_t width, bool right) {
  size_t shown = displaywidth(text);
  std::string padding(width > shown ? width - shown : 0, ' ');
  return right ? padding + text : text + padding;
}

std::string trimmedline(const std::string& line) {
  return line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
}

std::string gapbefore(size_t column, size_t lead) {
  if (column == 0) return "";
  if (column < lead) return std::string(kvaluegap, ' ');
  return std::string((column - lead) % 2 == 0 ? kpairgap : kvaluegap, ' ');
}

std::string renderrow(const Row& row, const std::vector<size_t>& widths, size_t lead) {
  std::string line;
  for (size_t c = 0; c < row.size(); ++c)
    line += gapbefore(c, lead) + padded(row[c], widths[c], c > 0);
  return trimmedline(line);
}

// Column widths for the rows, widened where a pair name is longer than its pair.
std::vector<size_t> columnwidths(const std::vector<Row>& rows, const Row& pairnames, size_t lead) {
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const Row& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], displaywidth(row[c]));
  for (size_t p = 0; p < pairnames.size(); ++p) {
    size_t& in = widths[lead + 2 * p];
    size_t& out = widths[lead + 1 + 2 * p];
    size_t span = in + kvaluegap + out;
    size_t name = displaywidth(pairnames[p]);
    if (name <= span) continue;
    in += (name - span) / 2;
    out += name - span - (name - span) / 2;
  }
  return widths;
}

std::string pairline(const Table& table, const std::vector<size_t>& widths) {
  size_t lead = table.lead.size();
  std::string line;
  for (size_t c = 0; c < lead; ++c) line.append(gapbefore(c, lead)).append(widths[c], ' ');
  for (size_t p = 0; p < table.pairs.size(); ++p)
    line.append(kpairgap, ' ')
        .append(padded(table.pairs[p], widths[lead + 2 * p] + kvaluegap + widths[lead + 1 + 2 * p],
                       false));
  return trimmedline(line);
}

std::string render(const Table& table) {
  std::vector<Row> rows{table.lead};
  for (size_t p = 0; p < table.pairs.size(); ++p) {
    rows[0].push_back("in");
    rows[0].push_back("out");
  }
  rows.insert(rows.end(), table.rows.begin(), table.rows.end());
  std::vector<size_t> widths = columnwidths(rows, table.pairs, table.lead.size());
  std::string text = pairline(table, widths);
  for (const Row& row : rows) text += renderrow(row, widths, table.lead.size());
  return text;
}

std::string dayname(const ReportDay& day) {
  return formatdate(day.date) + (day.future ? " future" : day.today ? " today" : "");
}

std::string periodlabel(const PeriodRow& row) {
  return row.name + (row.future ? " future" : row.running ? " running" : "");
}

}  // namespace

std::string formattable(const Report& report, Units units) {
  Table table = newtable({"day"}, report.labels, units);
  bool withall = report.labels.size() > 1;
  for (const ReportDay& day : report.days) {
    Row row{dayname(day)};
    addpairs(row, day.counts, withall, units);
    table.rows.push_back(row);
  }
  Row total{"total"};
  addpairs(total, present(report.totals), withall, units);
  table.rows.push_back(total);
  // Below the total: days after today are no part of the window or its sums.
  for (const ReportDay& day : report.future) {
    Row row{dayname(day)};
    addpairs(row, day.counts, withall, units);
    table.rows.push_back(row);
  }
  return render(table);
}

std::string formatperiodtable(const PeriodReport& report, Units units) {
  Table table =
      newtable({report.period == Period::year ? "year" : "month", "days"}, report.labels, units);
  bool withall = report.labels.size() > 1;
  for (const PeriodRow& period : report.rows) {
    Row row{periodlabel(period),
            std::to_string(period.recordeddays) + "/" + std::to_string(period.calendardays)};
    addpairs(row, period.counts, withall, units);
    table.rows.push_back(row);
    if (period.estimate.empty()) continue;
    Row estimate{"  estimate", ""};
    addpairs(estimate, period.estimate, withall, units);
    table.rows.push_back(estimate);
  }
  Row total{"total", ""};
  addpairs(total, present(report.totals), withall, units);
  table.rows.push_back(total);
  return render(table);
}

std::string formatintervaltable(const IntervalReport& report, Units units) {
  Table table = newtable({report.grain == Grain::hour ? "hour" : "five minutes"}, report.labels,
                         units);
  bool withall = report.labels.size() > 1;
  for (const IntervalRow& interval : report.rows) {
    Row row{intervalstart(interval) + (interval.running ? " running" : "")};
    addpairs(row, interval.counts, withall, units);
    table.rows.push_back(row);
  }
  Row total{"total"};
  addpairs(total, present(report.totals), withall, units);
  table.rows.push_back(total);
  return render(table);
}

std::string formattoptable(const TopReport& report, Units units) {
  Table table = newtable({"rank", "day", "in+out"}, report.labels, units);
  bool withall = report.labels.size() > 1;
  for (size_t i = 0; i < report.days.size(); ++i) {
    Row row{std::to_string(i + 1), dayname(report.days[i]), humanbytes(report.totals[i], units)};
    addpairs(row, report.days[i].counts, withall, units);
    table.rows.push_back(row);
  }
  return render(table);
}

std::vector<std::string> ratelabels(const std::vector<std::string>& labels, size_t count) {
  std::vector<std::string> names(
      labels.begin(), labels.begin() + static_cast<std::ptrdiff_t>(std::min(count, labels.size())));
  while (names.size() < count)
    names.push_back(std::string(1, '#').append(std::to_string(names.size() + 1)));
  return names;
}

std::string formatlive(const std::vector<std::string>& labels, const std::vector<Rate>& rates,
                       std::string_view clock, Units units) {
  std::vector<std::string> names = ratelabels(labels, rates.size());
  std::vector<Row> rows{{"label", "in", "out"}};
  for (size_t i = 0; i < rates.size(); ++i)
    rows.push_back({visibletext(names[i]), humanbytes(rates[i].inkb * 1000.0, units) + "/s",
                    humanbytes(rates[i].outkb * 1000.0, units) + "/s"});
  std::vector<size_t> widths = columnwidths(rows, {}, 1);
  std::string text = "rates at " + visibletext(clock) + "\n";
  for (const Row& row : rows) text += renderrow(row, widths, 1);
  return text;
}
