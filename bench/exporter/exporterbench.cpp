// byteloom-exporter's cost per scrape. A ten-year, 16-label history whose
// today and rate files are rewritten every second, as the daemon does: the
// CPU time the server spends per /metrics scrape, against the same server
// answering with the same bytes as a fixed response (the floor), measured
// in one run; the same for files that can't be followed; then scrapes per
// second with 16 clients. Loopback only.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "exporterapp.h"
#include "httpserver.h"
#include "servedfiles.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int klabels = 16;
constexpr int kdays = 3653;

std::string labelname(int i) {
  return "if" + std::to_string(i);
}

void writefiles(const std::string& dir, int historydays) {
  std::string history, line;
  using namespace std::chrono;
  sys_days first = sys_days(year(2016) / 3 / 1);
  for (int day = 0; day < historydays; ++day) {
    year_month_day date(first + days(day));
    char stamp[16];
    snprintf(stamp, sizeof stamp, "[%04d-%02u-%02u] ", static_cast<int>(date.year()),
             static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    history += stamp;
    for (int i = 0; i < klabels; ++i)
      history += labelname(i) + " " + std::to_string(1'000'000'000LL + day * 7919LL * (i + 1)) +
                 " " + std::to_string(300'000'000LL + day * 104729LL) + " ";
    history += "\n";
  }
  std::string today, rate;
  for (int i = 0; i < klabels; ++i) {
    today += labelname(i) + " " + std::to_string(123456789 + i) + " " +
             std::to_string(9876543 + i) + " ";
    rate += "812.50 41.25 ";
  }
  std::ofstream(dir + "/history") << history;
  std::ofstream(dir + "/today") << today;
  std::ofstream(dir + "/day") << "[2026-03-01] " + today;
  std::ofstream(dir + "/rate") << rate;
}

FileSetup setupin(const std::string& dir) {
  FileSetup setup;
  for (int i = 0; i < klabels; ++i) setup.labels.push_back(labelname(i));
  setup.ratefile = dir + "/rate";
  setup.todayfile = dir + "/today";
  setup.dayfile = dir + "/day";
  setup.historyfile = dir + "/history";
  return setup;
}

// A child process serving on a free port with handler until killed; the port
// comes back through a pipe.
template <typename MakeHandler>
pid_t serve(MakeHandler makehandler, unsigned& port) {
  int pipefds[2];
  if (pipe(pipefds) != 0) exit(1);
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the benchmark
    close(pipefds[0]);
    HttpServer server(makehandler());
    ListenAddress address = *parselisten("127.0.0.1:0");
    std::string error;
    ServerSettings settings;
    if (!server.listen(address, settings, error)) _exit(1);
    unsigned bound = server.boundport();
    if (write(pipefds[1], &bound, sizeof bound) != sizeof bound) _exit(1);
    pause();
    _exit(0);
  }
  close(pipefds[1]);
  if (read(pipefds[0], &port, sizeof port) != sizeof port) port = 0;
  close(pipefds[0]);
  return pid;
}

// CPU time in ns of every thread of a process, from /proc/PID/task/*/schedstat.
int64_t processcpu(pid_t pid) {
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  int64_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(tasks)) {
    std::ifstream schedstat(entry.path() / "schedstat");
    int64_t ns = 0;
    schedstat >> ns;
    total += ns;
  }
  return total;
}

// A keep-alive client, as Prometheus scrapes.
class Client {
 public:
  explicit Client(unsigned port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) exit(1);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~Client() { close(fd_); }

  // One GET /metrics; the body's size, or 0 on a failure.
  size_t scrape() {
    static const char request[] =
        "GET /metrics HTTP/1.1\r\nHost: bench\r\nAccept: text/plain\r\n\r\n";
    if (send(fd_, request, sizeof request - 1, MSG_NOSIGNAL) < 0) return 0;
    std::string data;
    char buffer[65536];
    size_t headerend = std::string::npos, length = 0;
    for (;;) {
      ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return 0;
      data.append(buffer, static_cast<size_t>(got));
      if (headerend == std::string::npos &&
          (headerend = data.find("\r\n\r\n")) != std::string::npos) {
        size_t at = data.find("Content-Length: ");
        if (at == std::string::npos || at > headerend) return 0;
        length = std::strtoul(data.c_str() + at + 16, nullptr, 10);
      }
      if (headerend != std::string::npos && data.size() >= headerend + 4 + length) return length;
    }
  }

 private:
  int fd_ = -1;
};

// The server's CPU time per scrape over count sequential scrapes, in us.
double cpuperscrape(pid_t pid, unsigned port, int count) {
  Client client(port);
  for (int i = 0; i < 200; ++i) client.scrape();  // warm: the history is parsed
  int64_t before = processcpu(pid);
  for (int i = 0; i < count; ++i)
    if (client.scrape() == 0) {
      fprintf(stderr, "exporterbench: a scrape failed\n");
      exit(1);
    }
  return static_cast<double>(processcpu(pid) - before) / count / 1000.0;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Rewrites the today and rate files in place once a second, as the daemon
// does, until stop is set: a followed exporter rereads them after each.
std::thread rewriter(std::vector<std::string> dirs, std::atomic<bool>& stop) {
  return std::thread([dirs = std::move(dirs), &stop] {
    for (long second = 1; !stop; ++second) {
      for (const std::string& dir : dirs) {
        std::string today, rate;
        for (int i = 0; i < klabels; ++i) {
          today += labelname(i) + " " + std::to_string(123456789 + i + second) + " " +
                   std::to_string(9876543 + i) + " ";
          rate += std::to_string(second % 1000) + ".50 41.25 ";
        }
        std::ofstream(dir + "/today", std::ios::trunc) << today;
        std::ofstream(dir + "/rate", std::ios::trunc) << rate;
      }
      for (int tick = 0; tick < 10 && !stop; ++tick)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
}

// What one stat() of the history costs here: a scrape that reads the files
// at every request makes five such file system calls.
double status(const std::string& path) {
  struct stat info {};
  constexpr int kcalls = 20000;
  auto start = Clock::now();
  for (int i = 0; i < kcalls; ++i) stat(path.c_str(), &info);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kcalls;
}

double scrapespersecond(unsigned port, int clients, std::chrono::seconds duration) {
  std::atomic<long> done = 0;
  std::vector<std::thread> threads;
  auto until = Clock::now() + duration;
  for (int i = 0; i < clients; ++i)
    threads.emplace_back([&] {
      Client client(port);
      while (Clock::now() < until)
        if (client.scrape() > 0) ++done;
    });
  for (std::thread& thread : threads) thread.join();
  return static_cast<double>(done) / static_cast<double>(duration.count());
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 5000;
  char pattern[] = "/tmp/byteloom-exporter-bench-XXXXXX";
  std::string dir = mkdtemp(pattern);
  writefiles(dir, kdays);
  std::string shortdir = dir + "/short";
  std::filesystem::create_directory(shortdir);
  writefiles(shortdir, 1);
  // The same files with a today file that is a link, which can't be
  // followed: that exporter reads the files at every request.
  std::string linkdir = dir + "/linked", realtoday = dir + "/linked-today";
  std::filesystem::create_directory(linkdir);
  writefiles(linkdir, kdays);
  std::filesystem::rename(linkdir + "/today", realtoday);
  std::filesystem::create_symlink(realtoday, linkdir + "/today");

  // The cold cost: the first scrape parses the whole history.
  ServedFiles cold(setupin(dir));
  auto start = Clock::now();
  std::string body = formatmetrics(cold.metrics(*cold.read()), false);
  double parsems = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

  unsigned realport = 0, fixedport = 0;
  auto exporterin = [](const std::string& files) {
    return [files] {
      auto* served = new ServedFiles(setupin(files));
      auto* app = new ExporterApp(*served, {});
      return HttpHandler([app](const HttpRequest& request) { return app->handle(request); });
    };
  };
  unsigned shortport = 0, linkport = 0;
  pid_t real = serve(exporterin(dir), realport);
  pid_t shorthistory = serve(exporterin(shortdir), shortport);
  pid_t unfollowed = serve(exporterin(linkdir), linkport);
  pid_t fixed = serve(
      [&] {
        return HttpHandler([body](const HttpRequest&) {
          HttpReply reply;
          reply.contenttype = kprometheustype;
          reply.body = body;
          reply.headers = {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}};
          return reply;
        });
      },
      fixedport);
  if (realport == 0 || fixedport == 0 || shortport == 0 || linkport == 0) {
    fprintf(stderr, "exporterbench: a server did not start\n");
    return 1;
  }

  // Alternated in short rounds, so that a busy neighbour weighs on both
  // alike; the medians of the rounds are shown.
  constexpr int krounds = 9;
  std::atomic<bool> stop = false;
  std::thread daemonlike = rewriter({dir, shortdir, linkdir}, stop);
  std::vector<double> reals, fixeds, shorts, links, ratios;
  for (int round = 0; round < krounds; ++round) {
    reals.push_back(cpuperscrape(real, realport, count / krounds));
    fixeds.push_back(cpuperscrape(fixed, fixedport, count / krounds));
    shorts.push_back(cpuperscrape(shorthistory, shortport, count / krounds));
    links.push_back(cpuperscrape(unfollowed, linkport, count / krounds));
    ratios.push_back(reals.back() / fixeds.back());
  }
  double realus = median(reals), fixedus = median(fixeds), shortus = median(shorts),
         linkus = median(links);
  double realrate = scrapespersecond(realport, 16, std::chrono::seconds(3));
  double fixedrate = scrapespersecond(fixedport, 16, std::chrono::seconds(3));
  stop = true;
  daemonlike.join();
  for (pid_t server : {real, fixed, shorthistory, unfollowed}) {
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
  }
  double statcost = status(dir + "/history");
  std::filesystem::remove_all(dir);

  printf("history: %d days x %d labels; /metrics body %zu bytes\n", kdays, klabels, body.size());
  printf("first scrape (parses the history):    %8.1f ms\n", parsems);
  printf("server CPU per /metrics scrape:        %8.1f us\n", realus);
  printf("server CPU per fixed response:         %8.1f us\n", fixedus);
  std::sort(ratios.begin(), ratios.end());
  printf(
      "ratio, scrape to fixed response:       %8.2fx (target at most 1.5x; rounds %.2fx to "
      "%.2fx)\n",
      median(ratios), ratios.front(), ratios.back());
  printf(
      "server CPU per scrape, not followed:   %8.1f us (%.2fx the fixed response; reads the "
      "files at every request)\n",
      linkus, linkus / fixedus);
  printf("one stat() of a file here:             %8.1f us\n", statcost);
  printf("server CPU per scrape, one-day history:%8.1f us (ten years cost %.2fx that)\n", shortus,
         realus / shortus);
  printf("scrapes per second, 16 clients:        %8.0f (fixed response: %.0f, %.2fx)\n", realrate,
         fixedrate, realrate / fixedrate);
  return 0;
}
