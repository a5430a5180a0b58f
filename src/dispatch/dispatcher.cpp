#include "dispatch/dispatcher.hpp"

#include <cstdlib>
#include <string>
#include <string_view>

#include "maintenance/handlers.hpp"
#include "response/header_text.hpp"
#include "response/page_framing.hpp"
#include "response/request_site.hpp"
#include "response/response_output.hpp"
#include "response/route_table.hpp"
#include "update/handle_set.hpp"

namespace {

struct RoutedPath {
  RoutePosition position;
  int (*handler)();
};

// The routes that have a handler; every other name of the route table, like
// any unknown path, is redirected. Handlers take nothing and their result is
// not used.
constexpr RoutedPath kRoutedPaths[] = {
    {kRouteReboot, HandleReboot}, {kRouteCardControl, StaticPage},
    {kRouteUpload, StaticPage},   {kRouteUploadStatus, HandleUploadStatus},
    {kRouteSet, HandleSet},       {kRouteUploadUpdate, HandleUploadUpdate},
    {kRouteSnmpConf, StaticPage},
};

}  // namespace

void RedirectToProgram() {
  const std::string_view scheme = RequestScheme();
  const std::string host = RequestHost(scheme);
  const std::string script = HeaderSafe(std::getenv("SCRIPT_NAME"));
  // No host known at all: a path alone, which the browser resolves against
  // the address it asked for ("http:///..." would name a host "cgi-bin").
  const std::string location = !host.empty()    ? std::string(scheme) + "://" + host + script
                               : script.empty() ? "/"
                                                : script;
  response::Write("Location: ");
  response::Write(location);
  response::Write("\r\n\r\n");
}

void Dispatch(const char* path_info) {
  if (path_info == nullptr) {
    StaticPage();
    return;
  }
  const std::string_view path(path_info);
  for (const RoutedPath& routed : kRoutedPaths) {
    if (path == RouteName(routed.position)) {
      routed.handler();
      return;
    }
  }
  RedirectToProgram();
}
