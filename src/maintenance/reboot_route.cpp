#include "maintenance/reboot_route.hpp"

#include "card/error_log.hpp"
#include "response/header_text.hpp"
#include "response/route_table.hpp"

namespace {

bool NamesStatusPage(std::string_view referer, std::string_view scheme, std::string_view host,
                     std::string_view script) {
  std::string expected(scheme);
  expected += "://";
  expected += host;
  expected += script;
  expected += RouteName(kRouteUploadStatus);
  return referer.starts_with(expected);
}

}  // namespace

bool RebootRequestedFromStatusPage(const char* referer, std::string_view scheme, const char* host,
                                   const char* script) {
  if (referer == nullptr) {
    WriteErrorLog("refused a reboot request without a referer\n");
    return false;
  }
  if (host != nullptr && script != nullptr) {
    if (NamesStatusPage(referer, scheme, host, script)) {
      return true;
    }
    if (NamesStatusPage(referer, scheme == "https" ? "http" : "https", host, script)) {
      WriteErrorLog("refused a reboot request from the status page of another scheme: %s\n",
                    HeaderSafe(referer).c_str());
      return false;
    }
  }
  WriteErrorLog("refused a reboot request from another page: %s\n", HeaderSafe(referer).c_str());
  return false;
}

std::string RebootUrl(std::string_view program_path) {
  std::string url(program_path);
  url += RouteName(kRouteReboot);
  return url;
}
