#pragma once
// Requests for the CGI library's tests: variables, standard input, the entries parsed.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/request_input.hpp"

namespace cgi_testing {
inline const std::string kUrlEncoded = "application/x-www-form-urlencoded";

// The codes of a part's media type and transfer encoding, by the keyword they stand for.
enum Media { kText, kImage, kAudio, kVideo, kApplication, kMultipart, kMessage, kOtherMedia };
enum Encoding { k7Bit, k8Bit, kBinary, kQuotedPrintable, kBase64 };

// An entry as a caller sees it; the defaults are those of URL-encoded text.
struct Entry {
  std::string name, value;
  std::size_t value_length;
  int content_type = 0;
  std::optional<std::string> subtype = std::nullopt;
  int transfer_encoding = 0;
  std::optional<std::string> file_name = std::nullopt;
  bool operator==(const Entry&) const = default;
};

// Every entry of the current request: collection after collection, each in arrival order.
inline std::vector<Entry> TableEntries() {
  std::vector<Entry> entries;
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  const auto text = [](auto view) {
    return view ? std::optional<std::string>(*view) : std::nullopt;
  };
  for (std::size_t i = 0; environment != nullptr && i < environment->CollectionCount(); ++i) {
    for (const FormEntry& e : environment->collections->Entries(i)) {
      entries.push_back({std::string(e.name), e.Value(), e.value_length, e.content_type_code,
                         text(e.subtype), e.transfer_encoding_code, text(e.file_name)});
    }
  }
  return entries;
}

// Parses `body` as a POST of `content_type`; CONTENT_LENGTH is its size unless given.
inline int ParsePost(std::string_view body, const std::string& content_type = kUrlEncoded,
                     std::optional<std::string> content_length = std::nullopt) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"},
                   {"CONTENT_TYPE", content_type},
                   {"CONTENT_LENGTH", content_length.value_or(std::to_string(body.size()))}});
  SetStdin(body);
  return CgiParseRequest();
}

class CgiTest : public ::testing::Test {  // releases the request after every test
 protected:
  void TearDown() override { CgiFreeRequest(); }
};
}  // namespace cgi_testing
