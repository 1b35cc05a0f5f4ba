#include "svgchart.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "units.h"

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

std::string number(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.1f", value);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return s;
}

std::string xmltext(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
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

std::string legend(double y) {
  std::string out;
  struct Entry { const char* colour; const char* opacity; const char* name; };
  const Entry entries[] = {{kincolour, "1", "in (received)"},
                           {koutcolour, "1", "out (sent)"},
                           {kincolour, "0.4", "today, so far"},
                           {kmissingcolour, "1", "no record"}};
  double x = kleft;
  for (const Entry& entry : entries) {
    out += rect(x, y - 11, 14, 14, std::string(" fill=\"") + entry.colour + "\" fill-opacity=\"" +
                                       entry.opacity + "\"/>\n");
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

// Labels every step-th day counted back from the newest, so the newest has one.
std::string xaxis(const Report& report, double top) {
  std::string out;
  double slot = kplotwidth / static_cast<double>(report.days.size());
  size_t step = static_cast<size_t>(std::ceil(48.0 / slot));
  double bottom = top + kplotheight;
  for (size_t d = 0; d < report.days.size(); ++d) {
    if ((report.days.size() - 1 - d) % step != 0) continue;
    double x = kleft + (static_cast<double>(d) + 0.5) * slot;
    out += line(x, bottom, x, bottom + 4, "#555");
    out += text(x, bottom + 17, shortdate(report.days[d].date), " text-anchor=\"middle\"");
  }
  return out;
}

std::string bar(double x, double w, double bytes, const Axis& axis, double top, const char* colour,
                bool today, const std::string& tip) {
  double h = bytes <= 0 ? 0 : std::max(bytes / axis.top * kplotheight, 1.0);
  std::string opacity = today ? " fill-opacity=\"0.4\"" : "";
  return rect(x, top + kplotheight - h, w, h, std::string(" fill=\"") + colour + "\"" + opacity) +
         "><title>" + xmltext(tip) + "</title></rect>\n";
}

std::string tip(const std::string& label, const ReportDay& day, const char* way, int64_t bytes) {
  return label + " " + formatdate(day.date) + " " + way + ": " +
         humanbytes(static_cast<double>(bytes)) + " (" + std::to_string(bytes) + " bytes)";
}

std::string bars(const Report& report, size_t column, const Axis& axis, double top) {
  std::string out;
  double slot = kplotwidth / static_cast<double>(report.days.size());
  for (size_t d = 0; d < report.days.size(); ++d) {
    const ReportDay& day = report.days[d];
    double x = kleft + static_cast<double>(d) * slot;
    if (!day.recorded) {
      out += rect(x, top, slot, kplotheight, std::string(" fill=\"") + kmissingcolour + "\"/>\n");
      continue;
    }
    const std::optional<Counts>& counts = day.counts[column];
    if (!counts) continue;
    const std::string& label = report.labels[column];
    out += bar(x + slot * 0.12, slot * 0.36, static_cast<double>(counts->in), axis, top, kincolour,
               day.today, tip(label, day, "in", counts->in));
    out += bar(x + slot * 0.52, slot * 0.36, static_cast<double>(counts->out), axis, top,
               koutcolour, day.today, tip(label, day, "out", counts->out));
  }
  return out;
}

double largest(const Report& report, size_t column) {
  int64_t most = 0;
  for (const ReportDay& day : report.days)
    if (const std::optional<Counts>& c = day.counts[column]) most = std::max({most, c->in, c->out});
  return static_cast<double>(most);
}

std::string panel(const Report& report, size_t column, double y) {
  const std::string& label = report.labels[column];
  const Counts& total = report.totals[column];
  Axis axis = niceaxis(largest(report, column));
  double top = y + kplottop;
  std::string out = "<g>\n<title>" + xmltext(label) + "</title>\n";
  out += text(kleft, y + 16, shortened(label), " font-weight=\"bold\" font-size=\"14\"");
  out += text(kleft + kplotwidth, y + 16,
              "total in " + humanbytes(static_cast<double>(total.in)) + ", out " +
                  humanbytes(static_cast<double>(total.out)),
              " text-anchor=\"end\" fill=\"#555\"");
  out += bars(report, column, axis, top) + yaxis(axis, top) + xaxis(report, top);
  return out + "</g>\n";
}

}  // namespace

Axis niceaxis(double maxbytes) {
  static constexpr const char* knames[] = {"B", "kB", "MB", "GB"};
  Axis axis;
  for (int i = 1; i < 4 && maxbytes >= std::pow(1000.0, i); ++i) {
    axis.unit = std::pow(1000.0, i);
    axis.unitname = knames[i];
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

std::string formatsvg(const Report& report) {
  double height = kheadheight + kpanelheight * static_cast<double>(std::max<size_t>(report.labels.size(), 1));
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kwidth) +
                    "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(kwidth) + " " +
                    number(height) + "\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"12\">\n";
  out += rect(0, 0, kwidth, height, " fill=\"white\"/>\n");
  std::string range = report.days.empty() ? "no figures"
                      : formatdate(report.days.front().date) + " to " + formatdate(report.days.back().date);
  out += text(kleft, 28, "Daily traffic per label, " + range, " font-weight=\"bold\" font-size=\"18\"");
  out += legend(56);
  if (!report.days.empty())
    for (size_t c = 0; c < report.labels.size(); ++c)
      out += panel(report, c, kheadheight + kpanelheight * static_cast<double>(c));
  return out + "</svg>\n";
}
