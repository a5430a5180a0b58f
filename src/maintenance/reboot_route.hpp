#pragma once

#include <string>
#include <string_view>

// The two ends of the reboot route: the update status page that a reboot must
// be asked from, and the route's own URL, which both progress routes offer.

// The program's path on the card's web server, as the status page names it.
inline constexpr std::string_view kProgramPath = "/cgi-bin/Merovane";

// Whether a reboot request comes from the update status page: the referer
// must begin with the request's `scheme`, "://", the host, the script name and
// the status page's route, compared case-sensitively over the whole of that
// text (however long host and script are); anything may follow, such as the
// page's query string. A page of the other scheme is another site's page. A
// request without a referer, host or script name comes from nowhere known.
// A refused request is noted in the error log, with why: no referer, another
// page, or the status page of the other scheme.
bool RebootRequestedFromStatusPage(const char* referer, std::string_view scheme, const char* host,
                                   const char* script);

// The reboot route of the program at `program_path`.
std::string RebootUrl(std::string_view program_path);
