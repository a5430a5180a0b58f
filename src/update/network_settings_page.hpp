#pragma once

#include <string>
#include <string_view>

#include "update/set_state.hpp"

// The page that ends a set request without rejected values: it sends the
// browser on to the card's new address, or warns that it can't under DHCP.
// The address is `scheme`, "://" and the new address, with the request's port
// when that is not the scheme's default (RequestPort); when no new address
// was accepted, `fallback_host` (the host the request came to) in its place,
// and when that is empty too, the site's root on the address the browser
// used ("/").
void WriteNetworkSettingsPage(const SetState& state, std::string_view scheme,
                              std::string_view fallback_host);

// `text` made safe inside a single-quoted script string within a script
// element: anything but letters, digits and ".:-_[]" becomes a \xHH escape,
// so no request text can close the string or the element.
std::string ScriptStringEscaped(std::string_view text);
