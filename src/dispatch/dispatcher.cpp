#include "dispatch/dispatcher.hpp"

#include <cstdlib>
#include <string_view>

#include "dispatch/header_text.hpp"
#include "dispatch/page_framing.hpp"
#include "dispatch/response_output.hpp"
#include "dispatch/route_table.hpp"
#include "maintenance/handlers.hpp"
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
    {kRouteReboot, HandleReboot},
    {kRouteCardControl, StaticPage},
    {kRouteUpload, StaticPage},
    {kRouteUploadStatus, HandleUploadStatus},
    {kRouteSet, HandleSet},
    {kRouteUploadUpdate, HandleUploadUpdate},
    {kRouteSnmpConf, StaticPage},
};

}  // namespace

void RedirectToProgram() {
  response::Write("Location: http://");
  response::Write(HeaderSafe(std::getenv("HTTP_HOST")));
  response::Write(HeaderSafe(std::getenv("SCRIPT_NAME")));
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
