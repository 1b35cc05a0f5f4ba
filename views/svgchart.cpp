#include "svgchart.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "textsafe.h"

namespace {

constexpr double kwidth = 960;
constexpr double kleft = 84;
constexpr double kright = 24;
constexpr double kplotwidth = kwidth - kleft - kright;
constexpr double kheadheight = 76;
constexpr double kpanelheight = 200;
constexpr double kplottop = 28;  // within a panel
constexpr double kplotheight = 136;
constexpr size_t kmaxtitle = 90;  // characters that fit beside the panel's totals
constexpr char kincolour[] = "#2f6fbf";
constexpr char koutcolour[] = "#e07b28";
constexpr char kmissingcolour[] = "#ececec";
constexpr char kfuturecolour[] = "#c0392b";

std::string number(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.1f", value);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return s;
}

// Cuts a long label at a character boundary, so the title stays on the panel.
std::string shortened(const std::string& label) {
  if (label.size() <= kmaxtitle) return label;
  size_t cut = kmaxtitle - 1;
  while (cut > 0 && (static_cast<unsigned char>(label[cut]) & 0xC0) == 0x80) --cut;
  return label.substr(0, cut) + "\u2026";
}

std::string text(double x, double y, std::string_view content, const std::string& attributes = "") {
  return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\"" + attributes + ">" +
         xmltext(content) + "</text>\n";
}

std::string rect(double x, double y, double w, double h, const std::string& attributes) {
  return "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(w) +
         "\" height=\"" + number(h) + "\"" + attributes;
}

std::string line(double x1, double y1, double x2, double y2, const char* colour) {
  return "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) +
         "\" y2=\"" + number(y2) + "\" stroke=\"" + colour + "\"/>\n";
}

std::string shortdate(std::chrono::sys_days date) {
  static constexpr const char* kmonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::chrono::year_month_day ymd(date);
  return std::string(kmonths[static_cast<unsigned>(ymd.month()) - 1]) + " " +
         std::to_string(static_cast<unsigned>(ymd.day()));
}

std::string legend(const Chart& chart, double y) {
  struct Entry {
    const char* colour;
    const char* opacity;
    std::string name;
  };
  std::vector<Entry> entries{{kincolour, "1", "in (received)"},
                             {koutcolour, "1", "out (sent)"},
                             {kincolour, "0.4", chart.runningname},
                             {kmissingcolour, "1", "no record"}};
  if (std::any_of(chart.slots.begin(), chart.slots.end(),
                  [](const ChartSlot& s) { return s.future; }))
    entries.push_back({kfuturecolour, "1", "dated after today"});
  std::string out;
  double x = kleft;
  for (const Entry& entry : entries) {
    out += rect(
        x, y - 11, 14, 14,
        std::string(" fill=\"") + entry.colour + "\" fill-opacity=\"" + entry.opacity + "\"/>\n");
    out += text(x + 20, y, entry.name);
    x += 150;
  }
  return out;
}

std::string yaxis(const Axis& axis, double top) {
  std::string out;
  double bottom = top + kplotheight;
  for (double v = 0; v <= axis.top + axis.step / 2; v += axis.step) {
    double y = bottom - v / axis.top * kplotheight;
    out += line(kleft, y, kleft + kplotwidth, y, v == 0 ? "#555" : "#ddd");
    out += text(kleft - 6, y + 4, ticklabel(axis, v), " text-anchor=\"end\"");
  }
  return out;
}

double slotwidth(const Chart& chart) {
  return kplotwidth / static_cast<double>(chart.slots.size());
}

// Labels every step-th slot counted back from the newest, so the newest has one.
std::string xaxis(const Chart& chart, double top) {
  std::string out;
  double slot = slotwidth(chart);
  size_t step = static_cast<size_t>(std::ceil(56.0 / slot));
  double bottom = top + kplotheight;
  for (size_t d = 0; d < chart.slots.size(); ++d) {
    if ((chart.slots.size() - 1 - d) % step != 0) continue;
    double x = kleft + (static_cast<double>(d) + 0.5) * slot;
    out += line(x, bottom, x, bottom + 4, "#555");
    out += text(x, bottom + 17, chart.slots[d].tick, " text-anchor=\"middle\"");
  }
  return out;
}

double barheight(double bytes, const Axis& axis) {
  return bytes <= 0 ? 0 : std::max(bytes / axis.top * kplotheight, 1.0);
}

std::string bar(double x, double w, double bytes, const Axis& axis, double top, const char* colour,
                bool faded, const std::string& tip) {
  double h = barheight(bytes, axis);
  std::string opacity = faded ? " fill-opacity=\"0.4\"" : "";
  return rect(x, top + kplotheight - h, w, h, std::string(" fill=\"") + colour + "\"" + opacity) +
         "><title>" + xmltext(tip) + "</title></rect>\n";
}

std::string outline(double x, double w, double bytes, const Axis& axis, double top,
                    const char* colour, const std::string& tip) {
  double h = barheight(bytes, axis);
  return rect(x, top + kplotheight - h, w, h,
              std::string(" fill=\"none\" stroke=\"") + colour + "\" stroke-dasharray=\"3,2\"") +
         "><title>" + xmltext(tip) + "</title></rect>\n";
}

std::string tip(const Chart& chart, const std::string& label, const ChartSlot& slot,
                const char* way, widecount bytes) {
  return label + " " + slot.name + " " + way + ": " + humanbytes(bytes, chart.units) + " (" +
         widetext(bytes) + " bytes)";
}

std::string slotbars(const Chart& chart, size_t column, const Axis& axis, double top, size_t d) {
  const ChartSlot& slot = chart.slots[d];
  double slotw = slotwidth(chart);
  double x = kleft + static_cast<double>(d) * slotw;
  if (!slot.recorded)
    return rect(x, top, slotw, kplotheight, std::string(" fill=\"") + kmissingcolour + "\"/>\n");
  const std::optional<Sums>& counts = slot.counts[column];
  const std::string& label = chart.labels[column];
  std::string out;
  if (counts) {
    out += bar(x + slotw * 0.12, slotw * 0.36, static_cast<double>(counts->in), axis, top,
               slot.future ? kfuturecolour : kincolour, slot.running,
               tip(chart, label, slot, "in", counts->in));
    out += bar(x + slotw * 0.52, slotw * 0.36, static_cast<double>(counts->out), axis, top,
               slot.future ? kfuturecolour : koutcolour, slot.running,
               tip(chart, label, slot, "out", counts->out));
  }
  if (column < slot.estimate.size() && slot.estimate[column]) {
    const Sums& estimate = *slot.estimate[column];
    out += outline(x + slotw * 0.12, slotw * 0.36, static_cast<double>(estimate.in), axis, top,
                   kincolour, tip(chart, label, slot, "in, estimate", estimate.in));
    out += outline(x + slotw * 0.52, slotw * 0.36, static_cast<double>(estimate.out), axis, top,
                   koutcolour, tip(chart, label, slot, "out, estimate", estimate.out));
  }
  return out;
}

double largest(const Chart& chart, size_t column) {
  widecount most = 0;
  for (const ChartSlot& slot : chart.slots) {
    if (const std::optional<Sums>& c = slot.counts[column]) most = std::max({most, c->in, c->out});
    if (column < slot.estimate.size() && slot.estimate[column])
      most = std::max({most, slot.estimate[column]->in, slot.estimate[column]->out});
  }
  return static_cast<double>(most);
}

std::string panel(const Chart& chart, size_t column, double y) {
  const std::string& label = chart.labels[column];
  const Sums& total = chart.totals[column];
  Axis axis = niceaxis(largest(chart, column), chart.units);
  double top = y + kplottop;
  std::string out = "<g>\n<title>" + xmltext(label) + "</title>\n";
  out += text(kleft, y + 16, shortened(label), " font-weight=\"bold\" font-size=\"14\"");
  out += text(kleft + kplotwidth, y + 16,
              "total in " + humanbytes(total.in, chart.units) + ", out " +
                  humanbytes(total.out, chart.units),
              " text-anchor=\"end\" fill=\"#555\"");
  for (size_t d = 0; d < chart.slots.size(); ++d) out += slotbars(chart, column, axis, top, d);
  out += yaxis(axis, top) + xaxis(chart, top);
  return out + "</g>\n";
}

std::string span(const Chart& chart) {
  if (chart.slots.empty()) return "no figures";
  const ChartSlot* last = &chart.slots.front();
  for (const ChartSlot& slot : chart.slots)
    if (!slot.future) last = &slot;
  return chart.slots.front().name + " to " + last->name;
}

}  // namespace

Axis niceaxis(double maxbytes, Units units) {
  Axis axis;
  for (int i = 1; i <= 4 && maxbytes >= unitsize(units, i); ++i) {
    axis.unit = unitsize(units, i);
    axis.unitname = unitname(units, i);
  }
  double most = maxbytes / axis.unit;
  double raw = std::max(most / 4, 0.25);
  double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double step = 10 * magnitude;
  for (double factor : {1.0, 2.0, 2.5, 5.0})
    if (factor * magnitude >= raw * (1 - 1e-9)) {
      step = factor * magnitude;
      break;
    }
  if (axis.unit == 1) step = std::max(step, 1.0);
  while (axis.decimals < 3 && std::fabs(step * std::pow(10.0, axis.decimals) -
                                        std::round(step * std::pow(10.0, axis.decimals))) > 1e-6)
    ++axis.decimals;
  axis.step = step * axis.unit;
  axis.top = std::max(std::ceil(most / step - 1e-9), 1.0) * axis.step;
  return axis;
}

std::string ticklabel(const Axis& axis, double bytes) {
  char label[48];
  snprintf(label, sizeof label, "%.*f %s", axis.decimals, bytes / axis.unit, axis.unitname);
  return label;
}

Chart daychart(const Report& report, Units units) {
  Chart chart{"Daily traffic per label", "today, so far", report.labels, {}, report.totals, units};
  auto addslot = [&](const ReportDay& day) {
    chart.slots.push_back({shortdate(day.date),
                           formatdate(day.date),
                           day.recorded,
                           day.today,
                           day.future,
                           day.counts,
                           {}});
  };
  for (const ReportDay& day : report.days) addslot(day);
  for (const ReportDay& day : report.future) addslot(day);
  return chart;
}

Chart periodchart(const PeriodReport& report, Units units) {
  bool years = report.period == Period::year;
  Chart chart{years ? "Yearly traffic per label" : "Monthly traffic per label",
              years ? "this year, so far" : "this month, so far",
              report.labels,
              {},
              report.totals,
              units};
  for (const PeriodRow& row : report.rows)
    chart.slots.push_back({row.name, row.name, row.recordeddays > 0, row.running, row.future,
                           row.counts, row.estimate});
  return chart;
}

std::string formatsvg(const Chart& chart) {
  double height =
      kheadheight + kpanelheight * static_cast<double>(std::max<size_t>(chart.labels.size(), 1));
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kwidth) +
                    "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(kwidth) + " " +
                    number(height) +
                    "\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"12\">\n";
  out += rect(0, 0, kwidth, height, " fill=\"white\"/>\n");
  out +=
      text(kleft, 28, chart.title + ", " + span(chart), " font-weight=\"bold\" font-size=\"18\"");
  out += legend(chart, 56);
  if (!chart.slots.empty())
    for (size_t c = 0; c < chart.labels.size(); ++c)
      out += panel(chart, c, kheadheight + kpanelheight * static_cast<double>(c));
  return out + "</svg>\n";
}

std::string formatsvg(const Report& report, Units units) {
  return formatsvg(daychart(report, units));
}
