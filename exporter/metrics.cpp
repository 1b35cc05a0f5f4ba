#include "metrics.h"

#include <charconv>
#include <cstdio>

namespace {

void appendnumber(std::string& out, int64_t value) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<size_t>(end - digits));
}

void appendsample(std::string& out, std::string_view name, std::string_view labels, int64_t value) {
  out.append(name).append(labels).append(1, ' ');
  appendnumber(out, value);
  out += '\n';
}

// Most labels are plain ASCII with nothing to escape.
bool plainvalue(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80 || c == '\\' || c == '"' || c == '\n') return false;
  return true;
}

void appendfamily(std::string& out, std::string_view name, std::string_view type,
                  std::string_view help) {
  out.append("# HELP ").append(name).append(1, ' ').append(help).append(1, '\n');
  out.append("# TYPE ").append(name).append(1, ' ').append(type).append(1, '\n');
}

// Samples in and out of every label that has the figure.
template <typename Pick>
void appendcounts(std::string& out, std::string_view name, const MetricsInput& input, Pick pick) {
  for (const LabelFigures& figures : input.labels) {
    std::optional<Counts> counts = pick(figures);
    if (!counts) continue;
    for (bool in : {true, false}) {
      out.append(name).append("{label=\"");
      if (plainvalue(figures.label))
        out.append(figures.label);
      else
        out.append(escapelabelvalue(figures.label));
      out.append(in ? "\",direction=\"in\"} " : "\",direction=\"out\"} ");
      appendnumber(out, in ? counts->in : counts->out);
      out += '\n';
    }
  }
}

std::string formattimestamp(double seconds) {
  char text[64];
  snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

std::string escapelabelvalue(std::string_view text) {
  std::string out;
  for (char c : validutf8(text)) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string formatmetrics(const MetricsInput& input, bool openmetrics) {
  std::string out;
  out.reserve(256 + input.labels.size() * 400);
  appendfamily(out, openmetrics ? "byteloom_bytes" : "byteloom_bytes_total", "counter",
               "Bytes the daemon accounted for the label: its history and the running day.");
  appendcounts(out, "byteloom_bytes_total", input,
               [](const LabelFigures& f) { return std::optional(f.total); });
  appendfamily(out, "byteloom_day_bytes", "gauge", "Bytes of the running day.");
  appendcounts(out, "byteloom_day_bytes", input, [](const LabelFigures& f) { return f.day; });
  appendfamily(out, "byteloom_month_bytes", "gauge",
               "Bytes of the running month: its days in the history and the running day.");
  appendcounts(out, "byteloom_month_bytes", input, [](const LabelFigures& f) { return f.month; });
  appendfamily(out, "byteloom_rate_bytes", "gauge",
               "Bytes of the last second, from the rate file.");
  appendcounts(out, "byteloom_rate_bytes", input, [](const LabelFigures& f) { return f.rate; });
  appendfamily(out, "byteloom_last_update_timestamp_seconds", "gauge",
               "When the daemon last wrote the today file, in seconds since the epoch.");
  if (input.lastupdate)
    out.append("byteloom_last_update_timestamp_seconds ")
        .append(formattimestamp(*input.lastupdate))
        .append(1, '\n');
  appendfamily(out, openmetrics ? "byteloom_read_errors" : "byteloom_read_errors_total", "counter",
               "Malformed lines and unreadable files met while reading the daemon's files.");
  for (const auto& [file, count] : input.readerrors)
    appendsample(out, "byteloom_read_errors_total", "{file=\"" + escapelabelvalue(file) + "\"}",
                 static_cast<int64_t>(count));
  if (openmetrics) out += "# EOF\n";
  return out;
}

bool wantsopenmetrics(std::string_view accept) {
  // Media ranges "type;param=...;q=0.5", comma separated; q=0 refuses a type.
  while (!accept.empty()) {
    size_t comma = accept.find(',');
    std::string_view range = accept.substr(0, comma);
    accept = comma == std::string_view::npos ? std::string_view{} : accept.substr(comma + 1);
    size_t start = range.find_first_not_of(" \t");
    if (start == std::string_view::npos) continue;
    range.remove_prefix(start);
    if (!range.starts_with("application/openmetrics-text")) continue;
    size_t q = range.find("q=");
    if (q == std::string_view::npos) return true;
    std::string_view weight = range.substr(q + 2);
    weight = weight.substr(0, weight.find_first_of("; \t"));
    if (weight.empty() || weight.find_first_not_of("0.") != std::string_view::npos) return true;
  }
  return false;
}
