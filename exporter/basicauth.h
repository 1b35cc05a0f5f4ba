#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "problems.h"

// One "user:hash" line of an authentication file.
struct Credential {
  std::string user;
  std::string hash;  // crypt(3), as mkpasswd makes it
};

// The lines of an authentication file; blank lines and "#" comments are
// skipped, a line without a user or a hash is reported and skipped.
std::vector<Credential> parseauthfile(std::string_view text, std::string_view file,
                                      Problems& problems);

// The user and password of an "Authorization: Basic ..." header value;
// nullopt for another scheme or bad base64.
std::optional<std::pair<std::string, std::string>> parsebasicauth(std::string_view header);

// Whether a and b are equal, in a time that depends on their lengths only.
bool equalconstanttime(std::string_view a, std::string_view b);

// Whether the password matches the user's hash. An unknown user costs a hash
// too, so the time doesn't tell which users exist.
bool checkpassword(const std::vector<Credential>& credentials, std::string_view user,
                   std::string_view password);
