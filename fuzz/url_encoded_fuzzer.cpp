// URL-encoded text: the body parse over a declared length that may be longer
// or shorter than what arrived, the decoder, the query-string parse, and the
// typed lookups of every name that the parse produced.
#include <algorithm>
#include <cstdint>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"
#include "cgi/url_encoded.hpp"
#include "fuzz_support.hpp"

namespace {
using fuzz_support::AsText;

// The lookups never fail hard and never deliver more than was asked for.
void LookUp(std::string_view name) {
  std::string text;
  for (const std::size_t capacity : {std::size_t{0}, std::size_t{1}, std::size_t{50}}) {
    const CgiResult result = CgiGetString(name, text, capacity);
    FUZZ_CHECK(text.size() + 1 <= std::max<std::size_t>(capacity, 1));
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(result == CgiSuccess || result == CgiNotFound || result == CgiEmpty);
  }
  std::int32_t number = 0;
  const CgiResult long_result = CgiGetLong(name, number, -1);
  FUZZ_CHECK(long_result != 3);
  double decimal = 0;
  const CgiResult double_result = CgiGetDouble(name, decimal, -1.0);
  FUZZ_CHECK(double_result != 3);
}

// Every entry of the request, checked against the raw text it came from.
void CheckEntries(std::string_view raw, std::size_t length) {
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  FUZZ_CHECK(environment != nullptr && environment->collections);
  const auto separators = static_cast<std::size_t>(std::count(raw.begin(), raw.end(), '&'));
  std::size_t entries = 0;
  const CollectionTable& table = *environment->collections;
  for (std::size_t position = 0; position < table.Count(); ++position) {
    const std::vector<FormEntry> collection = table.Entries(position);
    FUZZ_CHECK(!collection.empty());
    FUZZ_CHECK(table.Find(table.First(position).name) == position);
    for (const FormEntry& entry : collection) {
      ++entries;
      const std::string value = entry.Value();
      FUZZ_CHECK(entry.name == collection.front().name);
      // Decoding never lengthens a text, and a value length counts raw bytes.
      FUZZ_CHECK(entry.value_length >= 1 && value.size() + 1 <= entry.value_length);
      FUZZ_CHECK(entry.raw_value.size() + 1 <= entry.value_length);
      FUZZ_CHECK(entry.value_length <= length + 1);
      FUZZ_CHECK(entry.name.find('\0') == std::string::npos &&
                 value.find('\0') == std::string::npos);
      FUZZ_CHECK(!entry.subtype && !entry.file_name && entry.content_type_code == 0 &&
                 !entry.truncated);
    }
    LookUp(collection.front().name);
  }
  FUZZ_CHECK(entries <= separators + 1);
  FUZZ_CHECK(length > 0 || entries == 0);
}

void ParseWithLength(std::string_view text, std::size_t length) {
  CgiCreateEnvironment();
  FUZZ_CHECK(CgiParseUrlEncoded(std::string(text), length) == 0);
  CheckEntries(text.substr(0, length), length);
  LookUp("oid-p");
  LookUp("");
  CgiFreeRequest();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);

  const std::string decoded = CgiUrlDecode(text);
  FUZZ_CHECK(decoded.size() <= text.size() && decoded.find('\0') == std::string::npos);

  // As it arrived; declared longer than what arrived (a zero tail); declared
  // shorter (the rest of what arrived is not part of the body).
  ParseWithLength(text, size);
  ParseWithLength(text, size + 1 + size % 5);
  ParseWithLength(text, size / 2);

  // The same text as a query string, through the whole request parse.
  fuzz_support::ClearCgiVariables();
  fuzz_support::SetVariable("REQUEST_METHOD", "GET");
  fuzz_support::SetVariable("QUERY_STRING", text);
  FUZZ_CHECK(CgiParseRequest() == 0);
  LookUp("a");
  CgiFreeRequest();
  // Lookups with no request at all.
  std::string text_out = "x";
  FUZZ_CHECK(CgiGetString("a", text_out, 50) == CgiNotFound && text_out.empty());
  return 0;
}
