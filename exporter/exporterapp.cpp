#include "exporterapp.h"

#include "fiveminutefile.h"
#include "intervalviews.h"
#include "localclock.h"
#include "metrics.h"
#include "svgchart.h"
#include "views.h"

namespace {

constexpr size_t kacceptedlimit = 32;

HttpReply text(int status, std::string body) {
  HttpReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

HttpReply json(std::string body) {
  HttpReply reply;
  reply.contenttype = "application/json";
  reply.body = std::move(body);
  return reply;
}

// The report's defaults: a week of days as JSON, a month in the chart, a
// year of months.
constexpr int kdefaultdays = 7;
constexpr int kdefaultchartdays = 30;
constexpr int kdefaultmonths = 12;
constexpr int kdefaulthours = 24;
constexpr int kdefaultfiveminutes = 12;

void addcommonheaders(HttpReply& reply) {
  reply.headers.emplace_back("Cache-Control", "no-store");
  reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
}

// The report's hour or five-minute view of a reading and the five-minute
// file as it is now (small: read at each request).
std::string intervalsjson(ServedFiles& files, const Reading& reading, Grain grain, int count,
                          std::optional<std::chrono::sys_days> date) {
  LocalClock now = localclock();
  Problems problems;
  std::string path = fiveminpath(files.setup().historyfile);
  std::optional<std::string> text = readfiveminutefile(path, problems);
  std::vector<FiveMinRecord> snapshots =
      text ? parsesnapshots(*text, path, problems) : std::vector<FiveMinRecord>{};
  return formatintervalsjson(files.figures(reading, now), snapshots, grain, now, count, date, {},
                             problems);
}

}  // namespace

ExporterApp::ExporterApp(ServedFiles& files, std::vector<Credential> credentials)
    : files_(files), credentials_(std::move(credentials)) {}

// A password check costs a slow hash, so a header that passed is kept and
// later compared as it is (in constant time) instead of hashed again.
bool ExporterApp::authorized(std::string_view header) {
  {
    std::lock_guard guard(lock_);
    bool known = false;
    for (const std::string& accepted : accepted_) known |= equalconstanttime(accepted, header);
    if (known) return true;
  }
  std::optional<std::pair<std::string, std::string>> given = parsebasicauth(header);
  if (!given || !checkpassword(credentials_, given->first, given->second)) return false;
  std::lock_guard guard(lock_);
  if (accepted_.size() >= kacceptedlimit) accepted_.erase(accepted_.begin());
  accepted_.emplace_back(header);
  return true;
}

HttpReply ExporterApp::handle(const HttpRequest& request) {
  Route found = route(request.method, request.path, request.query);
  HttpReply reply;
  if (found.status != 200) {
    reply = text(found.status, validutf8(found.message));
    if (found.allowedmethods) reply.headers.emplace_back("Allow", "GET, HEAD");
  } else if (!credentials_.empty() && !authorized(request.authorization)) {
    reply = text(401, "wrong or missing credentials\n");
    reply.headers.emplace_back("WWW-Authenticate", "Basic realm=\"byteloom\", charset=\"UTF-8\"");
  } else {
    reply = serve(found, request);
  }
  addcommonheaders(reply);
  return reply;
}

HttpReply ExporterApp::serve(const Route& found, const HttpRequest& request) {
  if (found.endpoint == Endpoint::page) {
    HttpReply reply;
    reply.contenttype = "text/html; charset=utf-8";
    reply.body = kpagehtml;
    reply.headers.emplace_back(
        "Content-Security-Policy",
        "default-src 'self'; img-src 'self' blob:; style-src 'self' 'unsafe-inline'");
    return reply;
  }
  if (found.endpoint == Endpoint::script) {
    HttpReply reply;
    reply.contenttype = "text/javascript; charset=utf-8";
    reply.body = kpagejs;
    return reply;
  }
  std::shared_ptr<const Reading> shared = files_.read();
  const Reading& reading = *shared;
  switch (found.endpoint) {
    case Endpoint::metrics: {
      bool openmetrics = wantsopenmetrics(request.accept);
      HttpReply reply;
      reply.contenttype = openmetrics ? kopenmetricstype : kprometheustype;
      reply.body = files_.metricstext(shared, openmetrics);
      return reply;
    }
    case Endpoint::days:
      return json(formatjson(files_.days(reading, found.count ? found.count : kdefaultdays)));
    case Endpoint::today:
      return json(formatjson(files_.days(reading, 1)));
    case Endpoint::months:
      return json(
          formatperiodsjson(files_.months(reading, found.count ? found.count : kdefaultmonths)));
    case Endpoint::hours:
      return json(intervalsjson(files_, reading, Grain::hour,
                                found.count ? found.count : kdefaulthours, found.date));
    case Endpoint::fiveminutes:
      return json(intervalsjson(files_, reading, Grain::fiveminutes,
                                found.count ? found.count : kdefaultfiveminutes, std::nullopt));
    case Endpoint::rates:
      return json(files_.ratesjson(reading));
    case Endpoint::chart: {
      HttpReply reply;
      reply.contenttype = "image/svg+xml";
      reply.body = formatsvg(files_.days(reading, found.count ? found.count : kdefaultchartdays));
      return reply;
    }
    default:
      return text(404, "not available in this build\n");
  }
}
