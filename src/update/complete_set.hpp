#pragma once

#include <string_view>

#include "update/set_state.hpp"

// Ends a set request without rejected values: writes the network settings
// page, runs each change program in turn, then starts the refresh script
// detached. Returns 0 in the request process at once after the refresh was
// started, and again in the intermediate process once the refresh has ended;
// both then end through main.
// `scheme` and `fallback_host`: see WriteNetworkSettingsPage.
int CompleteSet(const SetState& state, std::string_view scheme, std::string_view fallback_host);
