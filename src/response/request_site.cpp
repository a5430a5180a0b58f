#include "response/request_site.hpp"

#include <strings.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "response/header_text.hpp"

namespace {

bool Equals(const char* value, const char* text) {
  return value != nullptr && ::strcasecmp(value, text) == 0;
}

// HTTP_HOST's name and its port (empty when it names none); a colon inside
// an IPv6 address's brackets is no port's.
std::pair<std::string_view, std::string_view> SplitHost(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || text.find(']', colon) != std::string_view::npos) {
    return {text, {}};
  }
  return {text.substr(0, colon), text.substr(colon + 1)};
}

bool IsPortNumber(std::string_view text) {
  return !text.empty() && text.size() <= 5 &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string_view RequestScheme() {
  const char* https = std::getenv("HTTPS");
  const bool tls =
      Equals(https, "on") || Equals(https, "1") || Equals(std::getenv("REQUEST_SCHEME"), "https");
  return tls ? "https" : "http";
}

unsigned DefaultPort(std::string_view scheme) { return scheme == "https" ? 443 : 80; }

std::string RequestPort(std::string_view scheme) {
  std::string_view port;
  if (const char* host = std::getenv("HTTP_HOST"); host != nullptr && *host != '\0') {
    port = SplitHost(host).second;
  } else if (const char* server_port = std::getenv("SERVER_PORT"); server_port != nullptr) {
    port = server_port;
  }
  if (!IsPortNumber(port) || port == std::to_string(DefaultPort(scheme))) {
    return {};
  }
  return std::string(port);
}

std::string_view RequestHostName() {
  if (const char* host = std::getenv("HTTP_HOST"); host != nullptr && *host != '\0') {
    return SplitHost(host).first;
  }
  const char* server = std::getenv("SERVER_NAME");
  return server != nullptr ? server : "";
}

std::string RequestHost(std::string_view scheme) {
  const std::string host = HeaderSafe(std::getenv("HTTP_HOST"));
  if (!host.empty()) {
    return host;
  }
  std::string server = HeaderSafe(std::getenv("SERVER_NAME"));
  if (server.empty()) {
    return server;
  }
  if (server.find(':') != std::string::npos && !server.starts_with('[')) {
    server = "[" + server + "]";
  }
  const std::string port = HeaderSafe(std::getenv("SERVER_PORT"));
  return port.empty() || port == std::to_string(DefaultPort(scheme)) ? server : server + ":" + port;
}
