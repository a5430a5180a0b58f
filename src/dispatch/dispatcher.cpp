#include "dispatch/dispatcher.hpp"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "maintenance/feed_request.hpp"
#include "maintenance/handlers.hpp"
#include "response/header_text.hpp"
#include "response/page_framing.hpp"
#include "response/request_site.hpp"
#include "response/response_output.hpp"
#include "response/route_table.hpp"
#include "update/handle_set.hpp"

namespace {

// The set request reads its whole body through the request library (and drops
// it itself where it refuses before that).
constexpr std::uint64_t kWholeBody = std::numeric_limits<std::uint64_t>::max();

struct RoutedPath {
  RoutePosition position;
  int (*handler)();
  std::uint64_t body_read;  // the most of a POST body the handler reads
};

// The routes that have a handler; every other name of the route table, like
// any unknown path, is redirected. Handlers take nothing and their result is
// not used.
constexpr RoutedPath kRoutedPaths[] = {
    {kRouteReboot, HandleReboot, 0},    {kRouteCardControl, StaticPage, 0},
    {kRouteUpload, StaticPage, 0},      {kRouteUploadStatus, HandleUploadStatus, 0},
    {kRouteSet, HandleSet, kWholeBody}, {kRouteUploadUpdate, HandleUploadUpdate, kFeedBodyLimit},
    {kRouteSnmpConf, StaticPage, 0},
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

std::uint64_t Dispatch(const char* path_info) {
  if (path_info == nullptr) {
    StaticPage();
    return 0;
  }
  const std::string_view path(path_info);
  for (const RoutedPath& routed : kRoutedPaths) {
    if (path == RouteName(routed.position)) {
      routed.handler();
      return routed.body_read;
    }
  }
  RedirectToProgram();
  return 0;
}
