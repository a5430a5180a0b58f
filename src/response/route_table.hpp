#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The route names that PATH_INFO is compared with, in their fixed order.
// Handlers refer to entries by position (the status page, the reboot route).
enum RoutePosition : std::size_t {
  kRouteLogon = 0,
  kRouteNavigator = 1,
  kRouteCardControl = 2,
  kRoutePollCard = 3,
  kRouteClick = 4,
  kRouteSet = 5,
  kRouteLogout = 6,
  kRoutePollNavigator = 7,
  kRouteUpload = 8,
  kRouteUploadStatus = 9,
  kRouteUploadUpdate = 10,
  kRouteReboot = 11,
  kRouteAccount = 12,
  kRouteDelCard = 13,
  kRouteSnmpConf = 14,
};

inline constexpr std::array<std::string_view, 15> kRouteTable = {
    "/logon",        "/navigator", "/cardcontrol",   "/pollcard", "/click",
    "/set",          "/logout",    "/pollnavigator", "/upload",   "/uploadstatus",
    "/uploadupdate", "/reboot",    "/account",       "/delcard",  "/snmpconf",
};

constexpr std::string_view RouteName(RoutePosition position) { return kRouteTable[position]; }
