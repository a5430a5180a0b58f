#include "response/request_site.hpp"

#include <strings.h>

#include <cstdlib>
#include <string>

#include "response/header_text.hpp"

namespace {

bool Equals(const char* value, const char* text) {
  return value != nullptr && ::strcasecmp(value, text) == 0;
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
    const std::string_view text = host;
    const std::size_t colon = text.rfind(':');
    // A colon inside an IPv6 address's brackets is no port's.
    if (colon != std::string_view::npos && text.find(']', colon) == std::string_view::npos) {
      port = text.substr(colon + 1);
    }
  } else if (const char* server_port = std::getenv("SERVER_PORT"); server_port != nullptr) {
    port = server_port;
  }
  if (!IsPortNumber(port) || port == std::to_string(DefaultPort(scheme))) {
    return {};
  }
  return std::string(port);
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
