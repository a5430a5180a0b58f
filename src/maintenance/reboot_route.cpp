#include "maintenance/reboot_route.hpp"

#include "response/route_table.hpp"

bool RebootRequestedFromStatusPage(const char* referer, std::string_view scheme, const char* host,
                                   const char* script) {
  if (referer == nullptr || host == nullptr || script == nullptr) {
    return false;
  }
  std::string expected(scheme);
  expected += "://";
  expected += host;
  expected += script;
  expected += RouteName(kRouteUploadStatus);
  return std::string_view(referer).starts_with(expected);
}

std::string RebootUrl(std::string_view program_path) {
  std::string url(program_path);
  url += RouteName(kRouteReboot);
  return url;
}
