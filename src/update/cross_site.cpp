#include "update/cross_site.hpp"

#include <cstdlib>
#include <string>
#include <string_view>

#include "card/error_log.hpp"
#include "response/header_text.hpp"
#include "response/page_framing.hpp"
#include "response/response_output.hpp"

namespace {

constexpr std::string_view kRefusalStatus = "Status: 403 Forbidden\r\n";
constexpr std::string_view kRefusalNote =
    "The settings were not changed: the form was sent from a page of another site.<br/><br/>Please "
    "use the card's "
    "own configuration page.";
constexpr const char* kRefusalLog = "refused a set request from origin %s to host %s\n";

// Whether `origin` is set and is not the request's own origin.
bool FromAnotherSite(const char* origin, const char* host) {
  if (origin == nullptr) {
    return false;
  }
  if (host == nullptr) {
    return true;
  }
  const std::string_view sent(origin);
  return sent != "http://" + std::string(host) && sent != "https://" + std::string(host);
}

}  // namespace

bool RefuseCrossSiteSet() {
  const char* origin = std::getenv("HTTP_ORIGIN");
  const char* host = std::getenv("HTTP_HOST");
  if (!FromAnotherSite(origin, host)) {
    return false;
  }
  response::Write(kRefusalStatus);
  MenuNotePage(kRefusalNote);
  // One line whatever the request holds.
  WriteErrorLog(kRefusalLog, HeaderSafe(origin).c_str(), HeaderSafe(host).c_str());
  return true;
}
