#include "cgi/cgi_request.hpp"

#include <optional>

#include "cgi/ascii_text.hpp"
#include "cgi/body_dispatch.hpp"
#include "cgi/captured_variables.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/checked_alloc.hpp"
#include "cgi/url_encoded.hpp"

CgiBodyArrival CgiBodyArrived() {
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr) {
    return {};
  }
  return {environment->body_received, CgiDeclaredLength().value_or(0), environment->body_whole,
          environment->body_length};
}

int CgiParseRequest() {
  // The library keeps its "Memory exhausted." exit whoever links it.
  CgiInstallMemoryGuard();
  CgiCreateEnvironment();
  CgiCaptureEnvironment();
  const std::optional<std::string_view> method = CgiCapturedValue(kRequestMethodSlot);
  if (!method) {
    return -1;
  }
  if (CgiStartsWithIgnoringCase(*method, "GET")) {
    // A GET without a query string is a request without fields, not a failure.
    int status = 0;
    CgiParseQueryString(status);
    return 0;
  }
  if (CgiStartsWithIgnoringCase(*method, "POST")) {
    std::int32_t declared = 0;
    return CgiParseBody(declared) == 0 && declared >= 0 ? 0 : -1;
  }
  return -1;
}
