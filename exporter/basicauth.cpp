#include "basicauth.h"

#include <crypt.h>

#include <algorithm>
#include <memory>

namespace {

int base64value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::string> decodebase64(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  std::string out;
  unsigned bits = 0, count = 0;
  for (char c : text) {
    int value = base64value(c);
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xff);
    }
  }
  return out;
}

std::string_view trim(std::string_view text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// crypt(3) of password with the salt and settings of hash; "" on failure.
std::string hashwith(std::string_view password, const std::string& hash) {
  auto data = std::make_unique<crypt_data>();
  const char* result = crypt_r(std::string(password).c_str(), hash.c_str(), data.get());
  if (!result || result[0] == '*') return "";
  return result;
}

}  // namespace

std::vector<Credential> parseauthfile(std::string_view text, std::string_view file,
                                      Problems& problems) {
  std::vector<Credential> credentials;
  size_t number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == line.size()) {
      problems.push_back({std::string(file), number, "not user:hash"});
      continue;
    }
    credentials.push_back(
        {std::string(line.substr(0, colon)), std::string(line.substr(colon + 1))});
  }
  return credentials;
}

std::optional<std::pair<std::string, std::string>> parsebasicauth(std::string_view header) {
  header = trim(header);
  if (header.size() < 6 || (header.substr(0, 6) != "Basic " && header.substr(0, 6) != "basic "))
    return std::nullopt;
  std::optional<std::string> decoded = decodebase64(trim(header.substr(6)));
  if (!decoded) return std::nullopt;
  size_t colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

bool equalconstanttime(std::string_view a, std::string_view b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  size_t length = std::max(a.size(), b.size());
  for (size_t i = 0; i < length; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    difference = static_cast<unsigned char>(difference | (x ^ y));
  }
  return difference == 0;
}

bool checkpassword(const std::vector<Credential>& credentials, std::string_view user,
                   std::string_view password) {
  const Credential* found = nullptr;
  for (const Credential& credential : credentials)
    if (equalconstanttime(credential.user, user) && !found) found = &credential;
  if (!found) {
    // Spend a hash of the same kind as a known user would cost.
    if (!credentials.empty()) hashwith(password, credentials.front().hash);
    return false;
  }
  std::string computed = hashwith(password, found->hash);
  return !computed.empty() && equalconstanttime(computed, found->hash);
}
