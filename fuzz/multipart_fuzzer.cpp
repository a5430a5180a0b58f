// Multipart bodies under a fuzzed content type (and so boundary): the whole parse, every part's
// header block through the header parsers, into entries of the request, then the lookups of every
// name it produced. Input: the first line is CONTENT_TYPE, the rest is the body.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/multipart.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz_support::Split(fuzz_support::AsText(data, size), "\n", 2);
  const std::string_view body = pieces.size() > 1 ? pieces[1] : std::string_view();
  fuzz_support::ClearCgiVariables();
  fuzz_support::SetVariable("CONTENT_TYPE", pieces[0]);
  fuzz_support::SetStdin(body);
  CgiCreateEnvironment();
  CgiCaptureEnvironment();
  const int result = CgiParseMultipart(stdin, body.size());
  const CgiEnvironment& environment = *CgiCurrentEnvironment();
  FUZZ_CHECK(result == 0 || (result == -1 && environment.CollectionCount() == 0));
  // The whole body counts as received only when it was parsed; every value is bytes of it.
  FUZZ_CHECK(environment.body_received == (result == 0 ? body.size() : 0));
  FUZZ_CHECK(fuzz_support::LookUpEveryName() <= body.size());
  CgiFreeRequest();
  return 0;
}
