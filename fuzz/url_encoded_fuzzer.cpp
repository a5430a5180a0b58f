// URL-encoded text: the decoder, the body parse over a declared length that may be longer or
// shorter than what arrived (a query string is parsed the same way), and the lookups of every name
// the parse produced. What the entries hold is for the unit tables; here no text may break the
// parse or the lookups.
#include <cstdint>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/url_encoded.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz_support::AsText(data, size);
  // As it arrived; declared longer (read as a zero tail); declared shorter.
  for (const std::size_t length : {size, size + 1 + size % 5, size / 2}) {
    CgiCreateEnvironment();
    FUZZ_CHECK(CgiParseUrlEncoded(std::string(text), length) == 0);
    fuzz_support::LookUpEveryName();
    CgiFreeRequest();
  }
  return 0;
}
