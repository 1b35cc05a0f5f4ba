#include "options.h"

#include <charconv>
#include <utility>

const char kusage[] =
    "usage: byteloom-report [--json | --svg FILE | --live [--json] [--count N]]\n"
    "                       [--days N] [--label L]... [--config FILE] [--startup-script PATH]\n"
    "                       [--rate-file F] [--today-file F] [--day-file F] [--history-file F]\n"
    "Shows the traffic that byteloom accounted: a table of the last days (default),\n"
    "JSON with exact byte counts, a bar chart as SVG, or the current rates live.\n";

namespace {

std::optional<int> parsecountarg(std::string_view text, int low, int high) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

// The option's value: the text after '=' or the next argument.
struct Cursor {
  const std::vector<std::string_view>& args;
  size_t at = 0;
  std::optional<std::string_view> inlinevalue;

  std::optional<std::string_view> value() {
    if (inlinevalue) return std::exchange(inlinevalue, std::nullopt);
    if (at + 1 >= args.size()) return std::nullopt;
    return args[++at];
  }
};

bool setmode(Options& options, Mode mode, std::string& error) {
  if (options.mode != Mode::table && options.mode != mode) {
    error = "--json, --svg and --live don't go together (only --live --json does)";
    return false;
  }
  options.mode = mode;
  return true;
}

// Applies one option; false with error set when it is unknown or lacks a value.
bool applyoption(Options& options, std::string_view name, Cursor& cursor, std::string& error) {
  std::optional<std::string>* path = name == "--config"           ? &options.config
                                     : name == "--startup-script" ? &options.startupscript
                                     : name == "--rate-file"    ? &options.ratefile
                                     : name == "--today-file"   ? &options.todayfile
                                     : name == "--day-file"     ? &options.dayfile
                                     : name == "--history-file" ? &options.historyfile
                                                                : nullptr;
  bool takesvalue = path || name == "--svg" || name == "--days" || name == "--count" ||
                    name == "--label";
  std::optional<std::string_view> value;
  if (takesvalue && !(value = cursor.value())) {
    error = std::string(name) + " needs a value";
    return false;
  }
  if (!takesvalue && cursor.inlinevalue) {
    error = std::string(name) + " takes no value";
    return false;
  }
  if (path) {
    *path = std::string(*value);
  } else if (name == "--label") {
    options.labels.emplace_back(*value);
  } else if (name == "--days" || name == "--count") {
    std::optional<int> number = parsecountarg(*value, 1, name == "--days" ? kmaxdays : 1'000'000);
    if (!number) {
      error = std::string(name) + " needs a whole number from 1" +
              (name == "--days" ? " to " + std::to_string(kmaxdays) : "");
      return false;
    }
    (name == "--days" ? options.days : options.count) = *number;
  } else if (name == "--svg") {
    options.svgfile = *value;
    return setmode(options, Mode::svg, error);
  } else if (name == "--json") {
    options.json = true;
    if (options.mode != Mode::live) return setmode(options, Mode::json, error);
  } else if (name == "--live") {
    if (options.mode == Mode::json) options.mode = Mode::table;  // --json --live
    return setmode(options, Mode::live, error);
  } else if (name == "--help" || name == "-h") {
    options.help = true;
  } else {
    error = "unknown option " + std::string(name);
    return false;
  }
  return true;
}

}  // namespace

std::optional<Options> parseoptions(const std::vector<std::string_view>& args, std::string& error) {
  Options options;
  Cursor cursor{args, 0, std::nullopt};
  for (; cursor.at < args.size(); ++cursor.at) {
    std::string_view arg = args[cursor.at];
    size_t equals = arg.find('=');
    std::string_view name = arg.substr(0, equals);
    cursor.inlinevalue = std::nullopt;
    if (equals != std::string_view::npos && arg.starts_with("--")) cursor.inlinevalue = arg.substr(equals + 1);
    else name = arg;
    if (!applyoption(options, name, cursor, error)) return std::nullopt;
  }
  if (options.count > 0 && options.mode != Mode::live) {
    error = "--count goes with --live";
    return std::nullopt;
  }
  return options;
}

int effectivedays(const Options& options) {
  if (options.days > 0) return options.days;
  return options.mode == Mode::svg ? 30 : 7;
}
