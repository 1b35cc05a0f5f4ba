// byteloom-exporter: serves byteloom's figures over HTTP for Prometheus, as
// JSON and as a live page. It reads the daemon's files and never writes them.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "basicauth.h"
#include "exporterapp.h"
#include "exporteroptions.h"
#include "httpserver.h"
#include "messages.h"
#include "servedfiles.h"
#include "setup.h"

namespace {

std::optional<std::string> readtext(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return std::nullopt;
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

constexpr char kprogram[] = "byteloom-exporter";

// The credentials of --auth-file; false when it is given but unusable.
bool loadcredentials(const ExporterOptions& options, std::vector<Credential>& credentials) {
  if (!options.authfile) return true;
  std::optional<std::string> text = readtext(*options.authfile);
  Problems problems;
  if (text) credentials = parseauthfile(*text, *options.authfile, problems);
  printproblems(kprogram, problems);
  if (!text || credentials.empty()) {
    printmessage(kprogram, *options.authfile + ": no usable user:hash line");
    return false;
  }
  return true;
}

// The settings of every listening address; false when TLS files can't be read.
bool loadsettings(const ExporterOptions& options, ServerSettings& settings) {
  settings.threads = options.threads;
  settings.connectionlimit = options.connectionlimit;
  settings.timeout = options.timeout;
  settings.requestlimit = options.requestlimit;
  if (!options.tlscert) return true;
  std::optional<std::string> cert = readtext(*options.tlscert), key = readtext(*options.tlskey);
  if (!cert || !key) {
    printmessage(kprogram, "cannot read " + *(!cert ? options.tlscert : options.tlskey));
    return false;
  }
  settings.tlscert = *cert;
  settings.tlskey = *key;
  return true;
}

int waitforsignal() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  int received = 0;
  sigwait(&signals, &received);
  return 0;
}

int serve(const ExporterOptions& options) {
  std::vector<Credential> credentials;
  ServerSettings settings;
  if (!loadcredentials(options, credentials) || !loadsettings(options, settings)) return 1;
  // Found as the report finds it; a setup the daemon would refuse is refused.
  std::optional<FileSetup> setup = loadsetup(options.setup, kprogram);
  if (!setup) return 1;
  ServedFiles files(*setup);
  if (!files.following())
    printmessage(kprogram, "the files can't be followed with inotify; each request reads them");
  ExporterApp app(files, credentials);
  HttpServer server([&app](const HttpRequest& request) { return app.handle(request); });
  std::vector<std::string> addresses = options.listen;
  if (addresses.empty()) addresses.push_back("127.0.0.1:" + std::to_string(kdefaultport));
  for (const std::string& text : addresses) {
    std::string error;
    if (!server.listen(*parselisten(text), settings, error)) {
      printmessage(kprogram, text + ": " + error);
      return 1;
    }
    // The port actually bound, so that port 0 can be used and found.
    std::string bound = text.substr(0, text.rfind(':') + 1) + std::to_string(server.boundport());
    printmessage(kprogram, "listening on " + bound + (settings.tlscert.empty() ? "" : " (TLS)"));
  }
  return waitforsignal();
}

}  // namespace

int main(int argc, char** argv) {
  // Blocked before the server's threads start, so that they inherit the mask
  // and only sigwait receives them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  std::string error;
  std::optional<ExporterOptions> options =
      parseexporteroptions(std::vector<std::string_view>(argv + 1, argv + argc), error);
  if (!options) {
    printmessage(kprogram, error);
    fputs(exporterusage().c_str(), stderr);
    return 2;
  }
  if (options->help) {
    fputs(exporterusage().c_str(), stdout);
    return 0;
  }
  return serve(*options);
}
