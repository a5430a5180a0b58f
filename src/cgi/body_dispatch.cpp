#include "cgi/body_dispatch.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "cgi/ascii_text.hpp"
#include "cgi/bounded_input.hpp"
#include "cgi/captured_variables.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/multipart.hpp"
#include "cgi/url_encoded.hpp"

namespace {

constexpr std::string_view kUrlEncodedType = "application/x-www-form-urlencoded";
constexpr std::string_view kMultipartType = "multipart/form-data";

// The first read asks for this much at most; later reads at most double what
// has arrived, so the buffer stays within twice the bytes that arrived (and
// one first read) whatever length was declared.
constexpr std::size_t kFirstReadSize = 64 * 1024;

}  // namespace

std::optional<std::string> CgiReadBody(std::FILE* stream, std::uint32_t length) {
  std::string body;
  std::size_t received = 0;
  while (received < length) {
    const std::size_t wanted =
        std::min<std::size_t>(length - received, std::max(kFirstReadSize, received));
    body.resize(received + wanted);
    const std::optional<std::size_t> arrived =
        CgiReadInput(::fileno(stream), body.data() + received, wanted);
    if (!arrived) {
      return std::nullopt;
    }
    received += *arrived;
    if (*arrived == 0) {
      break;
    }
  }
  body.resize(received);
  return body;
}

int CgiParseBody(std::int32_t& status) {
  // A body of no known length is never read, and never whole.
  if (const CgiBodyArrival::Length spelling = CgiLengthSpelling();
      spelling != CgiBodyArrival::Length::kDigits) {
    CgiNoteBodyArrival(0, false, spelling);
    return -1;
  }
  const std::optional<std::uint32_t> declared = CgiDeclaredLength();
  const std::optional<std::string_view> type = CgiCapturedValue(kContentTypeSlot);
  if (!declared || !type) {
    return -1;
  }
  if (CgiStartsWithIgnoringCase(*type, kUrlEncodedType)) {
    std::optional<std::string> body = CgiReadBody(stdin, *declared);
    if (!body) {
      return -1;
    }
    CgiNoteBodyArrival(body->size(), body->size() == *declared);
    // The body becomes the entries' storage: it is not copied.
    CgiParseUrlEncoded(std::move(*body), *declared);
  } else if (CgiStartsWithIgnoringCase(*type, kMultipartType)) {
    if (CgiParseMultipart(stdin, *declared) != 0) {
      return -1;
    }
  } else {
    std::fputs("Unknown Encoding.\n", stderr);
    return -1;
  }
  status = static_cast<std::int32_t>(*declared);
  return 0;
}
