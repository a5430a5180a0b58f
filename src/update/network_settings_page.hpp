#pragma once

#include <string>
#include <string_view>

#include "update/set_state.hpp"

// The page that ends a set request without rejected values: it sends the
// browser on to the card's new address, or warns that it can't under DHCP.
// `fallback_host` is where to send the browser when no new address was
// accepted (the address the request came to).
void WriteNetworkSettingsPage(const SetState& state, std::string_view fallback_host);

// `text` made safe inside a single-quoted script string within a script
// element: anything but letters, digits and ".:-_[]" becomes a \xHH escape,
// so no request text can close the string or the element.
std::string ScriptStringEscaped(std::string_view text);
