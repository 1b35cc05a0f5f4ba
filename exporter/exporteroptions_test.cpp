#include "exporteroptions.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

namespace {

std::optional<ExporterOptions> parsed(std::vector<std::string_view> args,
                                      std::string* why = nullptr) {
  std::string error;
  std::optional<ExporterOptions> options = parseexporteroptions(args, error);
  if (why) *why = error;
  return options;
}

TEST(ExporterOptions, ValuesAndLimits) {
  auto options = parsed({"--listen", "0.0.0.0:9100", "--listen=[::1]:9999", "--config=/etc/b.conf",
                         "--history-file", "h", "--timeout", "30", "--connection-limit=8"});
  ASSERT_TRUE(options);
  EXPECT_EQ((std::vector<std::string>{"0.0.0.0:9100", "[::1]:9999"}), options->listen);
  EXPECT_EQ("/etc/b.conf", *options->setup.config);
  EXPECT_EQ("h", *options->setup.historyfile);
  EXPECT_EQ(30u, options->timeout);
  EXPECT_EQ(8u, options->connectionlimit);
  EXPECT_EQ(16384u, options->requestlimit);
  std::string why;
  EXPECT_FALSE(parsed({"--tls-cert", "c"}, &why));
  EXPECT_EQ("--tls-cert and --tls-key go together", why);
  EXPECT_FALSE(parsed({"--timeout", "0"}));
  EXPECT_FALSE(parsed({"--threads", "3x"}));
  EXPECT_FALSE(parsed({"--request-limit", "10"}));
  EXPECT_FALSE(parsed({"--history-file"}, &why));
  EXPECT_EQ("--history-file needs a value", why);
  EXPECT_FALSE(parsed({"--port", "1"}, &why));
  EXPECT_EQ("unknown option '--port'", why);
}

TEST(ListenAddress, NumericAddressesAndPortsOnly) {
  auto four = parselisten("127.0.0.1:9468");
  ASSERT_TRUE(four);
  auto* in = reinterpret_cast<const sockaddr_in*>(&four->address);
  EXPECT_EQ(AF_INET, in->sin_family);
  EXPECT_EQ(9468, ntohs(in->sin_port));
  EXPECT_EQ(htonl(INADDR_LOOPBACK), in->sin_addr.s_addr);
  auto six = parselisten("[::]:9100");
  ASSERT_TRUE(six);
  EXPECT_TRUE(six->ipv6);
  EXPECT_EQ(sizeof(sockaddr_in6), six->length);
  for (const char* bad :
       {"localhost:9468", "127.0.0.1", "127.0.0.1:", "127.0.0.1:65536", "::1:9468", "[::1]",
        "[]:80", "[127.0.0.1]:80", "1.2.3:80", ":9468", "127.0.0.1:+80"})
    EXPECT_FALSE(parselisten(bad)) << bad;
}

}  // namespace
