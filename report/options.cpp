#include "options.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <utility>

const char kusage[] =
    "usage: byteloom-report [VIEW] [--json | --svg FILE] [--label L]... [--units si|iec]\n"
    "                       [--config FILE] [--startup-script PATH]\n"
    "                       [--rate-file F] [--today-file F] [--day-file F] [--history-file F]\n"
    "views: (default) the days: [--days N | --since DATE] [--until DATE]\n"
    "       --months [N] | --years [N] | --top [N] [--days N | --since DATE --until DATE]\n"
    "       --live [--count N] | --oneline\n"
    "       --alert LIMIT [--period day|month] [--direction in|out|total] [--estimate]\n"
    "Shows the traffic that byteloom accounted: tables, JSON with exact byte counts,\n"
    "bar charts as SVG, the current rates live, one line per label for scripts, or\n"
    "an alert (exit status 3) when a day's or month's traffic exceeds LIMIT.\n";

namespace {

using std::chrono::sys_days;

std::optional<int> parsecountarg(std::string_view text, int low, int high) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

bool looksnumeric(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  return !text.empty() && text[0] >= '0' && text[0] <= '9';
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

  // A value only when one is written: after '=', or a number next.
  std::optional<std::string_view> optionalnumber() {
    if (inlinevalue) return std::exchange(inlinevalue, std::nullopt);
    if (at + 1 < args.size() && looksnumeric(args[at + 1])) return args[++at];
    return std::nullopt;
  }
};

struct Parser {
  Options options;
  std::optional<std::string> viewname;  // the option that chose the view
  std::optional<std::string> outputname;
  std::vector<std::string> alertonly;  // alert settings given
  std::string error;

  bool fail(std::string why) {
    error = std::move(why);
    return false;
  }

  // Sets into to value for the option name, unless another option did.
  template <typename T>
  bool setonce(std::optional<std::string>& setby, T& into, T value, std::string_view name) {
    if (setby && *setby != name)
      return fail(*setby + " and " + std::string(name) + " don't go together");
    setby = std::string(name);
    into = value;
    return true;
  }

  bool setview(View view, std::string_view name) {
    return setonce(viewname, options.view, view, name);
  }

  bool setoutput(Output output, std::string_view name) {
    return setonce(outputname, options.output, output, name);
  }

  bool number(std::string_view name, std::optional<std::string_view> value, int high, int& into) {
    if (!value) return true;
    std::optional<int> parsed = parsecountarg(*value, 1, high);
    if (!parsed)
      return fail(std::string(name) + " needs a whole number from 1 to " + std::to_string(high) +
                  ", not '" + std::string(*value) + "'");
    into = *parsed;
    return true;
  }

  bool date(std::string_view name, std::string_view value, std::optional<sys_days>& into) {
    into = parseisodate(value);
    if (!into)
      return fail(std::string(name) + " needs a date that exists, as YYYY-MM-DD, not '" +
                  std::string(value) + "'");
    return true;
  }

  bool choice(std::string_view name, std::string_view value,
              std::initializer_list<std::string_view> allowed, size_t& into) {
    size_t i = 0;
    for (std::string_view option : allowed) {
      if (option == value) {
        into = i;
        return true;
      }
      ++i;
    }
    std::string list;
    for (std::string_view option : allowed) list.append(list.empty() ? "" : "|").append(option);
    return fail(std::string(name) + " takes " + list + ", not '" + std::string(value) + "'");
  }

  bool limit(std::string_view value) {
    std::string why;
    std::optional<widecount> bytes = parselimit(value, why);
    if (!bytes) return fail("--alert: " + why);
    options.alert.limit = *bytes;
    return setview(View::alert, "--alert");
  }

  // Options that take no value, or a count only when one is written;
  // false in known for any other.
  bool flagoption(std::string_view name, Cursor& cursor, bool& known) {
    known = true;
    if (name == "--months") return view(View::months, name, cursor, kmaxmonths, options.periods);
    if (name == "--years") return view(View::years, name, cursor, kmaxyears, options.periods);
    if (name == "--top") return view(View::top, name, cursor, kmaxtop, options.top);
    if (cursor.inlinevalue && (name == "--json" || name == "--live" || name == "--oneline" ||
                               name == "--estimate" || name == "--help" || name == "-h"))
      return fail(std::string(name) + " takes no value");
    if (name == "--json") return setoutput(Output::json, name);
    if (name == "--live") return setview(View::live, name);
    if (name == "--oneline") return setview(View::oneline, name);
    if (name == "--estimate") {
      options.alert.estimate = true;
      alertonly.emplace_back(name);
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else {
      known = false;
    }
    return known;
  }

  // A view with an optional count after it.
  bool view(View chosen, std::string_view name, Cursor& cursor, int high, int& count) {
    return setview(chosen, name) && number(name, cursor.optionalnumber(), high, count);
  }

  // --units, --period and --direction: one of a few words.
  bool choiceoption(std::string_view name, std::string_view value) {
    size_t index = 0;
    if (name == "--units") {
      if (!choice(name, value, {"si", "iec"}, index)) return false;
      options.units = index == 0 ? Units::si : Units::iec;
      return true;
    }
    alertonly.emplace_back(name);
    if (name == "--period") {
      if (!choice(name, value, {"day", "month"}, index)) return false;
      options.alert.period = index == 0 ? Period::day : Period::month;
      return true;
    }
    if (!choice(name, value, {"in", "out", "total"}, index)) return false;
    options.alert.direction = static_cast<Direction>(index);
    return true;
  }

  bool valueoption(std::string_view name, std::string_view value) {
    if (applysetupoption(options.setup, name, value)) return true;
    if (name == "--days") return number(name, value, kmaxdays, options.days);
    if (name == "--count") return number(name, value, 1'000'000, options.count);
    if (name == "--since") return date(name, value, options.since);
    if (name == "--until") return date(name, value, options.until);
    if (name == "--alert") return limit(value);
    if (name == "--svg") {
      options.svgfile = std::string(value);
      return setoutput(Output::svg, name);
    }
    if (name == "--label") {
      options.labels.emplace_back(value);
      return true;
    }
    return choiceoption(name, value);
  }

  static bool takesvalue(std::string_view name) {
    static constexpr std::string_view kvalued[] = {"--label",  "--days",     "--count", "--svg",
                                                   "--since",  "--until",    "--alert", "--units",
                                                   "--period", "--direction"};
    for (const SetupOption& option : ksetupoptions)
      if (name == option.name) return true;
    return std::find(std::begin(kvalued), std::end(kvalued), name) != std::end(kvalued);
  }

  // Applies one option; false with error set when it can't be used.
  bool apply(std::string_view name, Cursor& cursor) {
    bool known = false;
    bool applied = flagoption(name, cursor, known);
    if (known) return applied;
    if (!takesvalue(name)) return fail("unknown option " + std::string(name));
    std::optional<std::string_view> value = cursor.value();
    if (!value) return fail(std::string(name) + " needs a value");
    return valueoption(name, *value);
  }

  // The combinations that make no sense, named.
  bool check() {
    View view = options.view;
    if (options.count > 0 && view != View::live) return fail("--count goes with --live");
    if (!alertonly.empty() && view != View::alert)
      return fail(alertonly.front() + " goes with --alert");
    if (options.output == Output::svg && view != View::days && view != View::months &&
        view != View::years)
      return fail("--svg draws the day, month and year views only");
    if (options.output == Output::json && (view == View::oneline || view == View::alert))
      return fail("--json doesn't go with " + *viewname);
    bool range = options.since || options.until;
    if ((range || options.days) && view != View::days && view != View::top)
      return fail("--days, --since and --until go with the day and top views");
    if (range && options.days) return fail("--days and --since/--until don't go together");
    if (options.since && options.until && *options.since > *options.until)
      return fail("--since is after --until");
    return true;
  }
};

}  // namespace

std::optional<Options> parseoptions(const std::vector<std::string_view>& args, std::string& error) {
  Parser parser;
  Cursor cursor{args, 0, std::nullopt};
  for (; cursor.at < args.size(); ++cursor.at) {
    std::string_view arg = args[cursor.at];
    size_t equals = arg.find('=');
    std::string_view name = arg;
    cursor.inlinevalue = std::nullopt;
    if (equals != std::string_view::npos && arg.starts_with("--")) {
      name = arg.substr(0, equals);
      cursor.inlinevalue = arg.substr(equals + 1);
    }
    if (!parser.apply(name, cursor)) {
      error = parser.error;
      return std::nullopt;
    }
  }
  if (!parser.check()) {
    error = parser.error;
    return std::nullopt;
  }
  parser.options.alert.labels = parser.options.labels;
  return parser.options;
}

std::optional<sys_days> parseisodate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  int y = 0, m = 0, d = 0;
  auto digits = [&](size_t from, size_t count, int& into) {
    auto [end, error] = std::from_chars(text.data() + from, text.data() + from + count, into);
    return error == std::errc() && end == text.data() + from + count && text[from] != '-' &&
           text[from] != '+';
  };
  if (!digits(0, 4, y) || !digits(5, 2, m) || !digits(8, 2, d)) return std::nullopt;
  std::chrono::year_month_day ymd{std::chrono::year(y),
                                  std::chrono::month(static_cast<unsigned>(m)),
                                  std::chrono::day(static_cast<unsigned>(d))};
  if (!ymd.ok()) return std::nullopt;
  return sys_days(ymd);
}

int effectivedays(const Options& options) {
  if (options.days > 0) return options.days;
  return options.output == Output::svg ? 30 : 7;
}

DayRange dayrange(const Options& options, sys_days today, sys_days oldest) {
  if (options.since || options.until)
    return {options.since.value_or(oldest), options.until.value_or(today)};
  if (options.view == View::top && options.days == 0) return {oldest, today};
  return lastdays(today, effectivedays(options));
}
