#pragma once

#include <string_view>

// Forms posted to "/set" from other sites' pages. Any page the operator
// opens could post one, and the browser would send the card's credentials
// with it. Browsers name the page's origin in the "Origin:" header
// (HTTP_ORIGIN); the card's own pages have the request's scheme and the host
// the request was sent to (HTTP_HOST, port included). A request without an
// origin (a server that passes none, older browsers) is judged by the origin
// of its referer (HTTP_REFERER) by the same rule; one without either, or with
// a referer that is no absolute address (tools, scripts), is not judged.

// Refuses the request when it comes from another site: writes the
// "403 Forbidden" page, notes the refusal in the error log and returns true.
// The body of a refused request is read and dropped. Returns false, having
// written nothing, for every other request.
bool RefuseCrossSiteSet();

// The origin of the page a referer names: its scheme, "://" and authority,
// without path, query or fragment; empty for a text without "://".
std::string_view RefererOrigin(std::string_view referer);

// Whether `origin` names the site of a request that came by `scheme` to
// `host`, compared as browsers and servers spell them: scheme and host in any
// letter case, a host's trailing dot ignored, the scheme's default port the
// same as none, an IPv6 literal by its address. An https page is the card's
// own also on a request that came by plain HTTP (a TLS terminator in front of
// the server); over TLS a plain-HTTP page is not. An empty host is no site.
bool IsOwnOrigin(std::string_view origin, std::string_view scheme, std::string_view host);
