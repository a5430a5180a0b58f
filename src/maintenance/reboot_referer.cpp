#include "maintenance/reboot_referer.hpp"

#include <string>
#include <string_view>

#include "response/route_table.hpp"

bool RebootRequestedFromStatusPage(const char* referer, const char* host, const char* script) {
  if (referer == nullptr || host == nullptr || script == nullptr) {
    return false;
  }
  std::string expected = "http://";
  expected += host;
  expected += script;
  expected += RouteName(kRouteUploadStatus);
  return std::string_view(referer).starts_with(expected);
}
