#include "httpserver.h"

#include <microhttpd.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

namespace {

// With their lengths, so that an encoded NUL ("%00") stays in the value and
// is refused instead of cutting it short.
enum MHD_Result collectargument(void* cls, enum MHD_ValueKind, const char* key, size_t keysize,
                                const char* value, size_t valuesize) {
  auto* query = static_cast<QueryArguments*>(cls);
  // A client can't make the list, and so the request's memory, grow without end.
  if (query->size() < 32)
    query->emplace_back(key ? std::string(key, keysize) : "",
                        value ? std::string(value, valuesize) : "");
  return MHD_YES;
}

std::string_view header(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value ? std::string_view(value) : std::string_view();
}

void freebody(void* body) {
  delete static_cast<std::string*>(body);
}

// The reply's body is handed to the library without a copy.
enum MHD_Result sendreply(MHD_Connection* connection, HttpReply&& reply) {
  auto* body = new std::string(std::move(reply.body));
  MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
      body->size(), body->data(), freebody, body);
  if (!response) {
    delete body;
    return MHD_NO;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contenttype.c_str());
  for (const auto& [name, value] : reply.headers)
    MHD_add_response_header(response, name.c_str(), value.c_str());
  enum MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
  MHD_destroy_response(response);
  return queued;
}

bool declaresbody(MHD_Connection* connection) {
  return !header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH).empty() ||
         !header(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).empty();
}

// No endpoint takes a body, so one is never read. A request that has one,
// or another method than GET and HEAD, is answered on the first call, once
// the headers are in, and the library then closes the connection. A plain
// GET or HEAD is answered on the second call, which keeps the connection
// open for the next request.
enum MHD_Result answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                       const char*, const char*, size_t*, void** state) {
  static int headersseen;
  std::string_view verb = method;
  bool plain = (verb == "GET" || verb == "HEAD") && !declaresbody(connection);
  if (*state == nullptr && plain) {
    *state = &headersseen;
    return MHD_YES;
  }
  if (!plain && (verb == "GET" || verb == "HEAD")) {
    HttpReply refused;
    refused.status = 400;
    refused.body = "a GET or HEAD request has no body\n";
    return sendreply(connection, std::move(refused));
  }
  HttpRequest request;
  request.method = method;
  request.path = url;
  MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, collectargument, &request.query);
  request.accept = header(connection, MHD_HTTP_HEADER_ACCEPT);
  request.authorization = header(connection, MHD_HTTP_HEADER_AUTHORIZATION);
  return sendreply(connection, (*static_cast<HttpHandler*>(cls))(request));
}

}  // namespace

HttpServer::HttpServer(HttpHandler handler) : handler_(std::move(handler)) {}

HttpServer::~HttpServer() {
  for (void* daemon : daemons_) MHD_stop_daemon(static_cast<MHD_Daemon*>(daemon));
}

bool HttpServer::listen(const ListenAddress& address, const ServerSettings& settings,
                        std::string& error) {
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL;
  if (address.ipv6) flags |= MHD_USE_IPv6;
  bool tls = !settings.tlscert.empty();
  if (tls) flags |= MHD_USE_TLS;
  std::vector<MHD_OptionItem> options = {
      {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr_storage*>(&address.address)},
      {MHD_OPTION_THREAD_POOL_SIZE, settings.threads, nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, settings.connectionlimit, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, settings.timeout, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(settings.requestlimit), nullptr},
      {MHD_OPTION_LISTEN_BACKLOG_SIZE, 128, nullptr},
  };
  if (tls) {
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(settings.tlscert.c_str())});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(settings.tlskey.c_str())});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  errno = 0;
  MHD_Daemon* daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, answer, &handler_,
                                        MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
  if (!daemon) {
    error = std::string("cannot listen: ") + (errno ? strerror(errno) : "libmicrohttpd refused");
    return false;
  }
  daemons_.push_back(daemon);
  return true;
}

unsigned HttpServer::boundport() const {
  if (daemons_.empty()) return 0;
  const MHD_DaemonInfo* info =
      MHD_get_daemon_info(static_cast<MHD_Daemon*>(daemons_.back()), MHD_DAEMON_INFO_BIND_PORT);
  return info ? info->port : 0;
}
