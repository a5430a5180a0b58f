#include "update/cross_site.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "card/error_log.hpp"
#include "response/header_text.hpp"
#include "response/page_framing.hpp"
#include "response/request_site.hpp"
#include "response/response_output.hpp"
#include "response/unread_body.hpp"

namespace {

constexpr std::string_view kRefusalStatus = "Status: 403 Forbidden\r\n";
constexpr std::string_view kRefusalNote =
    "The settings were not changed: the form was sent from a page of another site.<br/><br/>Please "
    "use the card's "
    "own configuration page.";
constexpr const char* kRefusalLog = "refused a set request from origin %s to host %s\n";

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return lower;
}

// A host and port in one spelling: a name in lower case without its trailing
// dot, or an IPv6 literal as "[" its shortest text "]"; the port as a number.
struct Authority {
  std::string host;
  unsigned port = 0;
  bool operator==(const Authority&) const = default;
};

std::optional<std::string> CanonicalIpv6(std::string_view literal) {
  in6_addr address{};
  std::array<char, INET6_ADDRSTRLEN> text{};
  if (::inet_pton(AF_INET6, std::string(literal).c_str(), &address) != 1 ||
      ::inet_ntop(AF_INET6, &address, text.data(), text.size()) == nullptr) {
    return std::nullopt;
  }
  std::string canonical = "[";
  canonical += text.data();
  canonical += ']';
  return canonical;
}

// "host[:port]"; no port, or an empty one, is `default_port`. Anything but a
// name of letters, digits and "-._~", or a bracketed IPv6 literal, is no host.
std::optional<Authority> ParseAuthority(std::string_view text, unsigned default_port) {
  Authority authority;
  authority.port = default_port;
  std::size_t host_end = 0;
  if (text.starts_with('[')) {
    host_end = text.find(']');
    if (host_end == std::string_view::npos) {
      return std::nullopt;
    }
    std::optional<std::string> literal = CanonicalIpv6(text.substr(1, host_end - 1));
    if (!literal) {
      return std::nullopt;
    }
    authority.host = *literal;
    ++host_end;
  } else {
    host_end = std::min(text.find(':'), text.size());
    authority.host = Lowercase(text.substr(0, host_end));
    if (authority.host.ends_with('.')) {
      authority.host.pop_back();
    }
    for (const char c : authority.host) {
      if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-' && c != '.' && c != '_' &&
          c != '~') {
        return std::nullopt;
      }
    }
    if (authority.host.empty()) {
      return std::nullopt;
    }
  }
  std::string_view port = text.substr(host_end);
  if (port.empty()) {
    return authority;
  }
  if (!port.starts_with(':') || port.size() > 6) {
    return std::nullopt;
  }
  port.remove_prefix(1);
  if (port.empty()) {
    return authority;
  }
  unsigned number = 0;
  for (const char c : port) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
      return std::nullopt;
    }
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number > 65535) {
    return std::nullopt;
  }
  authority.port = number;
  return authority;
}

}  // namespace

bool IsOwnOrigin(std::string_view origin, std::string_view scheme, std::string_view host) {
  const std::size_t separator = origin.find("://");
  if (separator == std::string_view::npos) {
    return false;
  }
  const std::string origin_scheme = Lowercase(origin.substr(0, separator));
  if (origin_scheme != scheme && !(scheme == "http" && origin_scheme == "https")) {
    return false;
  }
  const unsigned port = DefaultPort(origin_scheme);
  const std::optional<Authority> sent = ParseAuthority(origin.substr(separator + 3), port);
  const std::optional<Authority> own = ParseAuthority(host, port);
  return sent && own && *sent == *own;
}

std::string_view RefererOrigin(std::string_view referer) {
  const std::size_t separator = referer.find("://");
  if (separator == std::string_view::npos) {
    return {};
  }
  return referer.substr(0, referer.find_first_of("/?#", separator + 3));
}

bool RefuseCrossSiteSet() {
  const char* origin = std::getenv("HTTP_ORIGIN");
  const char* referer = std::getenv("HTTP_REFERER");
  const char* host = std::getenv("HTTP_HOST");
  const std::string sent(origin != nullptr    ? origin
                         : referer != nullptr ? RefererOrigin(referer)
                                              : "");
  if ((origin == nullptr && sent.empty()) ||
      IsOwnOrigin(sent, RequestScheme(), host == nullptr ? "" : host)) {
    return false;
  }
  response::Write(kRefusalStatus);
  MenuNotePage(kRefusalNote);
  // One line whatever the request holds.
  WriteErrorLog(kRefusalLog, HeaderSafe(sent.c_str()).c_str(), HeaderSafe(host).c_str());
  // The form is not read; its body goes all the same, after the answer.
  response::Flush();
  DropUnreadBody(0);
  return true;
}
