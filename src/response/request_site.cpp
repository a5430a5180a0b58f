#include "response/request_site.hpp"

#include <strings.h>

#include <cstdlib>
#include <string>

#include "response/header_text.hpp"

namespace {

bool Equals(const char* value, const char* text) {
  return value != nullptr && ::strcasecmp(value, text) == 0;
}

}  // namespace

std::string_view RequestScheme() {
  const char* https = std::getenv("HTTPS");
  const bool tls =
      Equals(https, "on") || Equals(https, "1") || Equals(std::getenv("REQUEST_SCHEME"), "https");
  return tls ? "https" : "http";
}

unsigned DefaultPort(std::string_view scheme) { return scheme == "https" ? 443 : 80; }

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
