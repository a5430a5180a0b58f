#pragma once

#include <string>
#include <string_view>

// How the request reached the card: the scheme and host of the addresses the
// program sends the browser to (the redirect, the network settings page, the
// rebooting page) and of the pages it takes for its own.

// "https" when the server says the request came over TLS (HTTPS "on" in any
// letter case or "1", or REQUEST_SCHEME "https"), else "http".
std::string_view RequestScheme();

// The port that an address of `scheme` without one names: 443 for "https",
// 80 for "http".
unsigned DefaultPort(std::string_view scheme);

// The port the browser asked for, when it is not `scheme`'s default: that of
// HTTP_HOST (a host without one names the default), or without HTTP_HOST the
// server's (SERVER_PORT). Empty for the default port and for anything but
// digits.
std::string RequestPort(std::string_view scheme);

// The name of the host the browser asked for: HTTP_HOST without its port,
// or without HTTP_HOST the server's own (SERVER_NAME); empty when neither is
// known. Not header-safe: for comparing, not for writing.
std::string_view RequestHostName();

// The host the browser asked for (HTTP_HOST, port included). An HTTP/1.0
// request names none; the server then names itself (an IPv6 address in
// brackets, a port other than the scheme's default after it). Empty when
// neither is known. Header-safe.
std::string RequestHost(std::string_view scheme);
