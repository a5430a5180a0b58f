#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "descriptors/descriptor_files.hpp"

// The card's address and its DHCP choice (0: off), the parameters that the
// network settings page follows.
inline constexpr std::string_view kAddressOid = "frame_ip.conf";
inline constexpr std::string_view kDhcpOid = "use_dhcp.conf";

// One accepted change: the program that applies it, the parameter and the
// value text as accepted. Kept whole: a cut prog or oid would run another
// program or touch another parameter than the descriptor names. The prog
// and the oid are the texts of the record in the request's param.xml, which
// is kept until the changes have been applied.
struct ParamChange {
  std::string_view prog;
  std::string_view oid;
  std::string value;
  const ParamRecord* record = nullptr;  // where its value in force is read
};

// What the walk over the parameter descriptors collects for one set request.
struct SetState {
  std::vector<ParamChange> changes;  // in param.xml order, every accepted value
  bool error = false;                // a rejected value has been reported
  std::string new_address;           // accepted value of "frame_ip.conf"
  int dhcp = 0;                      // accepted value of "use_dhcp.conf", as a number
};
