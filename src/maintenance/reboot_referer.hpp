#pragma once

// Whether a reboot request comes from the update status page: the referer
// must begin with "http://", the host, the script name and the status page's
// route, compared case-sensitively over the whole of that text (however long
// host and script are); anything may follow, such as the page's query string.
// A request without a referer, host or script name comes from nowhere known.
bool RebootRequestedFromStatusPage(const char* referer, const char* host, const char* script);
