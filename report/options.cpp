#include "options.h"

#include <charconv>
#include <utility>

#include "intervals.h"

std::string reportusage() {
  constexpr std::string_view indent = "                       ";
  return "usage: byteloom-report [VIEW] [--json | --svg FILE] [--label L]... [--units si|iec]\n" +
         std::string(indent) + setupusage(indent) +
         "\n"
         "views: (default) the days: [--days N | --since DATE] [--until DATE]\n"
         "       --months [N] | --years [N] | --top [N] [--days N | --since DATE --until DATE]\n"
         "       --hours [N] | --hours --date DATE | --fiveminutes [N]\n"
         "       --live [--count N] | --oneline\n"
         "       --alert LIMIT [--period day|month] [--direction in|out|total] [--estimate]\n"
         "Shows the traffic that byteloom accounted, by day, month, year, hour or five\n"
         "minutes: tables, JSON with exact byte counts, bar charts as SVG, the current\n"
         "rates live, one line per label for scripts, or an alert (exit status 3) when\n"
         "a day's or month's traffic exceeds LIMIT.\n";
}

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

  // A view with an optional count after it.
  bool view(View chosen, std::string_view name, std::optional<std::string_view> value, int high,
            int& count) {
    return setview(chosen, name) && number(name, value, high, count);
  }

  // --units, --period and --direction: one of a few words.
  bool units(std::string_view name, std::string_view value) {
    size_t index = 0;
    if (!choice(name, value, {"si", "iec"}, index)) return false;
    options.units = index == 0 ? Units::si : Units::iec;
    return true;
  }

  bool period(std::string_view name, std::string_view value) {
    size_t index = 0;
    alertonly.emplace_back(name);
    if (!choice(name, value, {"day", "month"}, index)) return false;
    options.alert.period = index == 0 ? Period::day : Period::month;
    return true;
  }

  bool direction(std::string_view name, std::string_view value) {
    size_t index = 0;
    alertonly.emplace_back(name);
    if (!choice(name, value, {"in", "out", "total"}, index)) return false;
    options.alert.direction = static_cast<Direction>(index);
    return true;
  }

  // Applies one option; false with error set when it can't be used.
  bool apply(std::string_view name, Cursor& cursor);

  bool check();
};

// What an option takes after it.
enum class Takes { nothing, optionalcount, value };

// Every option of the report but the setup options, each named once here.
struct ReportOption {
  const char* name;
  Takes takes;
  bool (*apply)(Parser&, std::string_view name, std::optional<std::string_view> value);
};

constexpr ReportOption koptions[] = {
    {"--months", Takes::optionalcount,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.view(View::months, n, v, kmaxmonths, p.options.periods);
     }},
    {"--years", Takes::optionalcount,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.view(View::years, n, v, kmaxyears, p.options.periods);
     }},
    {"--top", Takes::optionalcount,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.view(View::top, n, v, kmaxtop, p.options.top);
     }},
    {"--hours", Takes::optionalcount,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.view(View::hours, n, v, kmaxhours, p.options.intervals);
     }},
    {"--fiveminutes", Takes::optionalcount,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.view(View::fiveminutes, n, v, kmaxfiveminutes, p.options.intervals);
     }},
    {"--json", Takes::nothing,
     [](Parser& p, std::string_view n, std::optional<std::string_view>) {
       return p.setoutput(Output::json, n);
     }},
    {"--live", Takes::nothing,
     [](Parser& p, std::string_view n, std::optional<std::string_view>) {
       return p.setview(View::live, n);
     }},
    {"--oneline", Takes::nothing,
     [](Parser& p, std::string_view n, std::optional<std::string_view>) {
       return p.setview(View::oneline, n);
     }},
    {"--estimate", Takes::nothing,
     [](Parser& p, std::string_view n, std::optional<std::string_view>) {
       p.options.alert.estimate = true;
       p.alertonly.emplace_back(n);
       return true;
     }},
    {"--help", Takes::nothing,
     [](Parser& p, std::string_view, std::optional<std::string_view>) {
       return p.options.help = true;
     }},
    {"-h", Takes::nothing,
     [](Parser& p, std::string_view, std::optional<std::string_view>) {
       return p.options.help = true;
     }},
    {"--days", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.number(n, v, kmaxdays, p.options.days);
     }},
    {"--count", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.number(n, v, 1'000'000, p.options.count);
     }},
    {"--since", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.date(n, *v, p.options.since);
     }},
    {"--until", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.date(n, *v, p.options.until);
     }},
    {"--date", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.date(n, *v, p.options.date);
     }},
    {"--alert", Takes::value,
     [](Parser& p, std::string_view, std::optional<std::string_view> v) { return p.limit(*v); }},
    {"--svg", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       p.options.svgfile = std::string(*v);
       return p.setoutput(Output::svg, n);
     }},
    {"--label", Takes::value,
     [](Parser& p, std::string_view, std::optional<std::string_view> v) {
       p.options.labels.emplace_back(*v);
       return true;
     }},
    {"--units", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.units(n, *v);
     }},
    {"--period", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.period(n, *v);
     }},
    {"--direction", Takes::value,
     [](Parser& p, std::string_view n, std::optional<std::string_view> v) {
       return p.direction(n, *v);
     }},
};

bool Parser::apply(std::string_view name, Cursor& cursor) {
  for (const SetupOption& option : ksetupoptions)
    if (name == option.name) {
      std::optional<std::string_view> value = cursor.value();
      if (!value) return fail(std::string(name) + " needs a value");
      return applysetupoption(options.setup, name, *value);
    }
  for (const ReportOption& option : koptions) {
    if (name != option.name) continue;
    std::optional<std::string_view> value;
    if (option.takes == Takes::nothing && cursor.inlinevalue)
      return fail(std::string(name) + " takes no value");
    if (option.takes == Takes::optionalcount) value = cursor.optionalnumber();
    if (option.takes == Takes::value && !(value = cursor.value()))
      return fail(std::string(name) + " needs a value");
    return option.apply(*this, name, value);
  }
  return fail("unknown option " + std::string(name));
}

// The combinations that make no sense, named.
bool Parser::check() {
  View view = options.view;
  if (options.count > 0 && view != View::live) return fail("--count goes with --live");
  if (!alertonly.empty() && view != View::alert)
    return fail(alertonly.front() + " goes with --alert");
  bool intervals = view == View::hours || view == View::fiveminutes;
  if (options.output == Output::svg && view != View::days && view != View::months &&
      view != View::years && !intervals)
    return fail("--svg draws the day, month, year, hour and five-minute views only");
  if (options.date && !intervals) return fail("--date goes with --hours and --fiveminutes");
  if (options.date && options.intervals)
    return fail(*viewname + " takes no count with --date: it shows the whole date");
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

int effectivedays(const Options& options) {
  if (options.days > 0) return options.days;
  return options.output == Output::svg ? 30 : 7;
}

int effectiveintervals(const Options& options) {
  if (options.intervals > 0) return options.intervals;
  return options.view == View::fiveminutes ? 12 : 24;
}

DayRange dayrange(const Options& options, sys_days today, sys_days oldest) {
  if (options.since || options.until)
    return {options.since.value_or(oldest), options.until.value_or(today)};
  if (options.view == View::top && options.days == 0) return {oldest, today};
  return lastdays(today, effectivedays(options));
}
