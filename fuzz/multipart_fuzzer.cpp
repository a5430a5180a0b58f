// Multipart bodies: the whole multipart parse, with a fuzzed content type
// (and so boundary), into entries of the request, then the typed lookups of
// every name it produced.
//
// Input: the first line is CONTENT_TYPE, the rest is the body.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"
#include "cgi/multipart.hpp"
#include "fuzz_support.hpp"

namespace {

void LookUp(std::string_view name) {
  std::string text;
  const CgiResult result = CgiGetString(name, text, 50);
  FUZZ_CHECK(result == CgiSuccess || result == CgiEmpty);
  FUZZ_CHECK(text.size() <= 49 && text.find('\0') == std::string::npos);
  std::int32_t number = 0;
  const CgiResult long_result = CgiGetLong(name, number, -1);
  FUZZ_CHECK(long_result != CgiNotFound && long_result != 3);
  double decimal = 0;
  FUZZ_CHECK(CgiGetDouble(name, decimal, -1.0) != CgiNotFound);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz_support::Split(fuzz_support::AsText(data, size), "\n", 2);
  const std::string_view body = pieces.size() > 1 ? pieces[1] : std::string_view();
  fuzz_support::ClearCgiVariables();
  fuzz_support::SetVariable("CONTENT_TYPE", pieces[0]);
  fuzz_support::SetStdin(body);

  // The part list as scanned: every part's data comes from the body.
  {
    CgiCreateEnvironment();
    CgiCaptureEnvironment();
    const std::optional<PartList> list = CgiScanMultipart(stdin, body.size());
    if (list) {
      FUZZ_CHECK(list->head.boundary && !list->head.boundary->empty());
      std::size_t data = 0;
      for (const MimePart& part : list->parts) {
        data += part.data.size();
        FUZZ_CHECK(part.media_type_code >= 0 && part.media_type_code <= 7);
        FUZZ_CHECK(part.transfer_encoding_code >= 0 && part.transfer_encoding_code <= 4);
        FUZZ_CHECK(!part.file_name || part.file_name->find_first_of("/\\") == std::string::npos);
      }
      FUZZ_CHECK(data <= body.size());
    }
    CgiFreeRequest();
  }

  // The whole parse, into entries.
  fuzz_support::SetStdin(body);
  CgiCreateEnvironment();
  CgiCaptureEnvironment();
  const int result = CgiParseMultipart(stdin, body.size());
  FUZZ_CHECK(result == 0 || result == -1);
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  FUZZ_CHECK(environment != nullptr);
  FUZZ_CHECK(environment->body_received == (result == 0 ? body.size() : 0));
  if (result == -1) {
    FUZZ_CHECK(environment->CollectionCount() == 0);
  } else {
    std::size_t values = 0;
    const CollectionTable& table = *environment->collections;
    for (std::size_t position = 0; position < table.Count(); ++position) {
      for (const FormEntry& entry : table.Entries(position)) {
        FUZZ_CHECK(entry.value_length == entry.raw_value.size() && !entry.url_encoded);
        FUZZ_CHECK(!entry.truncated);
        values += entry.raw_value.size();
      }
      FUZZ_CHECK(table.Find(table.First(position).name) == position);
      LookUp(table.First(position).name);
    }
    FUZZ_CHECK(values <= body.size());
  }
  CgiFreeRequest();
  return 0;
}
