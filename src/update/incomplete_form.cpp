#include "update/incomplete_form.hpp"

#include <cstdlib>
#include <string_view>

#include "card/error_log.hpp"
#include "cgi/cgi_request.hpp"
#include "response/header_text.hpp"
#include "response/page_framing.hpp"
#include "response/response_output.hpp"

namespace {

constexpr std::string_view kRefusalStatus = "Status: 400 Bad Request\r\n";
constexpr std::string_view kRefusalNote =
    "The settings were not changed: the form arrived incomplete.<br/><br/>Please send it again.";
constexpr const char* kRefusalLog =
    "refused an incomplete set request: %llu of %lu bytes arrived\n";
constexpr const char* kNotDigitsLog =
    "refused a set request whose CONTENT_LENGTH is not a length: \"%s\"\n";

constexpr std::string_view kNoLengthStatus = "Status: 411 Length Required\r\n";
constexpr std::string_view kNoLengthNote =
    "The settings were not changed: the request did not say the length of the form.<br/><br/>"
    "Please send it again.";
constexpr const char* kNoLengthLog = "refused a set request without CONTENT_LENGTH\n";

}  // namespace

bool RefuseIncompleteSet() {
  const CgiBodyArrival arrival = CgiBodyArrived();
  if (arrival.whole) {
    return false;
  }
  if (arrival.length == CgiBodyArrival::Length::kAbsent) {
    response::Write(kNoLengthStatus);
    MenuNotePage(kNoLengthNote);
    WriteErrorLog("%s", kNoLengthLog);
    return true;
  }
  response::Write(kRefusalStatus);
  MenuNotePage(kRefusalNote);
  if (arrival.length == CgiBodyArrival::Length::kNotDigits) {
    // One line whatever the variable holds.
    WriteErrorLog(kNotDigitsLog, HeaderSafe(std::getenv("CONTENT_LENGTH")).c_str());
  } else {
    WriteErrorLog(kRefusalLog, static_cast<unsigned long long>(arrival.received),
                  static_cast<unsigned long>(arrival.declared));
  }
  return true;
}
