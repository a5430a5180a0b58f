#include "update/incomplete_form.hpp"

#include <string_view>

#include "card/error_log.hpp"
#include "cgi/cgi_request.hpp"
#include "response/page_framing.hpp"
#include "response/response_output.hpp"

namespace {

constexpr std::string_view kRefusalStatus = "Status: 400 Bad Request\r\n";
constexpr std::string_view kRefusalNote =
    "The settings were not changed: the form arrived incomplete.<br/><br/>Please send it again.";
constexpr const char* kRefusalLog =
    "refused an incomplete set request: %llu of %lu bytes arrived\n";

}  // namespace

bool RefuseIncompleteSet() {
  const CgiBodyArrival arrival = CgiBodyArrived();
  if (arrival.whole) {
    return false;
  }
  response::Write(kRefusalStatus);
  MenuNotePage(kRefusalNote);
  WriteErrorLog(kRefusalLog, static_cast<unsigned long long>(arrival.received),
                static_cast<unsigned long>(arrival.declared));
  return true;
}
