#pragma once

// Forms posted to "/set" from other sites' pages. Any page the operator
// opens could post one, and the browser would send the card's credentials
// with it. Browsers name the page's origin in the "Origin:" header
// (HTTP_ORIGIN); the card's own pages have the origin "http://" or
// "https://" followed by the host the request was sent to (HTTP_HOST,
// port included). A request without an origin (scripts, older browsers) is
// not judged.

// Refuses the request when it comes from another site: writes the
// "403 Forbidden" page, notes the refusal in the error log and returns true.
// Returns false, having written nothing, for every other request.
bool RefuseCrossSiteSet();
