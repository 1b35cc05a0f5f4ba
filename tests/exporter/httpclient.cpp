#include "httpclient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

int connectloopback(unsigned port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

namespace {

HttpAnswer parseanswer(const std::string& raw) {
  HttpAnswer answer;
  size_t end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return answer;
  answer.status = atoi(raw.c_str() + 9);
  answer.headers = raw.substr(0, end);
  answer.body = raw.substr(end + 4);
  return answer;
}

}  // namespace

HttpAnswer httpexchange(unsigned port, const std::string& request,
                        std::chrono::milliseconds timeout) {
  int fd = connectloopback(port);
  if (fd < 0) return {};
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string raw;
  char buffer[65536];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      close(fd);
      return {};
    }
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    raw.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return parseanswer(raw);
}

HttpAnswer httpget(unsigned port, const std::string& path, const std::string& extra,
                   std::chrono::milliseconds timeout) {
  return httpexchange(
      port,
      "GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + extra + "\r\n",
      timeout);
}

std::optional<long long> samplevalue(const std::string& metrics, const std::string& series) {
  size_t at = metrics.find("\n" + series + " ");
  if (at == std::string::npos) return std::nullopt;
  return std::stoll(metrics.substr(at + series.size() + 2));
}

ExporterProcess::ExporterProcess(const std::string& binary, const std::vector<std::string>& args) {
  char pattern[] = "/tmp/byteloom-exporter-stderr-XXXXXX";
  int err = mkstemp(pattern);
  errfile_ = pattern;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(err, STDERR_FILENO);
    std::vector<std::string> words = {binary};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(err);
  const std::string marker = "listening on 127.0.0.1:";
  for (int tries = 0; tries < 250 && port_ == 0; ++tries) {
    std::string text = stderror();
    if (size_t at = text.find(marker); at != std::string::npos)
      port_ = static_cast<unsigned>(atoi(text.c_str() + at + marker.size()));
    else if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    } else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

ExporterProcess::~ExporterProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  unlink(errfile_.c_str());
}

std::string ExporterProcess::stderror() const {
  std::ifstream in(errfile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

long ExporterProcess::residentkb() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
  return -1;
}
