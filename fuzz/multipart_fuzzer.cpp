// Multipart bodies under a fuzzed content type and boundary, then the lookups of every name.
// Input: the first line is CONTENT_TYPE, the rest is the body.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/multipart.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [type, body] = fuzz_support::Cut(fuzz_support::AsText(data, size), "\n");
  cgi_testing::SetCgiVariables({{"CONTENT_TYPE", std::string(type)}});
  cgi_testing::SetStdin(body);
  CgiCreateEnvironment();
  CgiCaptureEnvironment();
  CgiParseMultipart(stdin, body.size());
  // Every value is bytes of the body.
  FUZZ_CHECK(fuzz_support::LookUpEveryName() <= body.size());
  CgiFreeRequest();
  return 0;
}
