#include "basicauth.h"

#include <gtest/gtest.h>

namespace {

// As mkpasswd made them: yescrypt (its default) and SHA-512.
const char kyescrypt[] =
    "$y$j9T$YzD5SEu78ahi8rP4jcezH1$sy4h1VM/MjBETq9hHtjIiY86bUptvsDHAHV5WpJd7G9";
const char ksha512[] =
    "$6$abcdefghabcdefgh$PUHodUvU7iciu5oUq2D..A1LOL/blyHRNt.Lkkb5pQxVigg1UQ89ZNN8MvfO/qa/"
    "C8FDbbDCHbqFRevs49vz4/";

TEST(AuthFile, LinesCommentsAndBadLines) {
  Problems problems;
  std::vector<Credential> credentials =
      parseauthfile(std::string("# fleet\n\nprom:") + ksha512 + "\n  ops:" + kyescrypt +
                        "  \r\nnohash:\n:nouser\nplain\n",
                    "auth", problems);
  ASSERT_EQ(2u, credentials.size());
  EXPECT_EQ("prom", credentials[0].user);
  EXPECT_EQ(ksha512, credentials[0].hash);
  EXPECT_EQ(kyescrypt, credentials[1].hash);
  ASSERT_EQ(3u, problems.size());
  EXPECT_EQ("auth:5: not user:hash", describe(problems[0]));
}

TEST(AuthHeader, BasicSchemeAndBase64) {
  // "prom:pa:ss" - only the first colon separates the user.
  auto given = parsebasicauth("Basic cHJvbTpwYTpzcw==");
  ASSERT_TRUE(given);
  EXPECT_EQ("prom", given->first);
  EXPECT_EQ("pa:ss", given->second);
  EXPECT_FALSE(parsebasicauth("Bearer cHJvbTpwYTpzcw=="));
  EXPECT_FALSE(parsebasicauth("Basic cHJvbTpw*YTpzcw=="));
  EXPECT_FALSE(parsebasicauth("Basic bm9jb2xvbg=="));  // "nocolon"
  EXPECT_FALSE(parsebasicauth(""));
}

TEST(AuthCheck, RealHashesRightAndWrong) {
  std::vector<Credential> credentials = {{"prom", ksha512}, {"ops", kyescrypt}};
  EXPECT_TRUE(checkpassword(credentials, "prom", "secret"));
  EXPECT_TRUE(checkpassword(credentials, "ops", "pa:ss w\xc3\xb6rd"));
  EXPECT_FALSE(checkpassword(credentials, "prom", "Secret"));
  EXPECT_FALSE(checkpassword(credentials, "prom", ""));
  EXPECT_FALSE(checkpassword(credentials, "ops", "secret"));  // another user's password
  EXPECT_FALSE(checkpassword(credentials, "nobody", "secret"));
  EXPECT_FALSE(checkpassword({{"bad", "*"}}, "bad", ""));  // a locked hash matches nothing
  EXPECT_TRUE(equalconstanttime("abc", "abc"));
  EXPECT_FALSE(equalconstanttime("abc", "abd"));
  EXPECT_FALSE(equalconstanttime("abc", "abcd"));
  EXPECT_FALSE(equalconstanttime("", "a"));
}

}  // namespace
