// "/set" with a form sent as multipart/form-data, the way browsers and curl
// send it: the same changes and the same page as the URL-encoded form.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "e2e/set_card.hpp"

namespace {
using namespace testing_support;

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string UrlEncoded(const Fields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    body.append(body.empty() ? "" : "&").append(name).append("=");
    for (const unsigned char c : value) {
      if (std::isalnum(c) || c == '-' || c == '.' || c == '_') {
        body.push_back(static_cast<char>(c));
      } else if (c == ' ') {
        body.push_back('+');
      } else {
        char escape[4];
        std::snprintf(escape, sizeof escape, "%%%02X", c);
        body.append(escape);
      }
    }
  }
  return body;
}

std::string Multipart(const std::string& boundary, const Fields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
  }
  return body + "--" + boundary + "--\r\n";
}

// As Chrome and Firefox send a form: "----WebKitFormBoundary" and 16 characters.
const std::string kBrowserBoundary = "----WebKitFormBoundaryR4xq0Gm7ZtW2bYhN";
// As `curl -F name=value ...` does: 24 dashes and 16 hexadecimal digits.
const std::string kCurlBoundary = "------------------------5c3e1a9f07b2d486";

struct FormCase {
  const char* label;
  std::vector<TestParam> params;
  Fields fields;
  Fields changes;  // oid and value of each change program run, in order
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.label; }

class BothEncodings : public ::testing::TestWithParam<FormCase> {};

TEST_P(BothEncodings, GiveTheSameChangesAndTheSamePage) {
  const FormCase& c = GetParam();
  const std::vector<std::pair<std::string, std::string>> sendings = {
      {"application/x-www-form-urlencoded", UrlEncoded(c.fields)},
      {"multipart/form-data; boundary=" + kBrowserBoundary, Multipart(kBrowserBoundary, c.fields)},
      {"multipart/form-data; boundary=" + kCurlBoundary, Multipart(kCurlBoundary, c.fields)}};
  std::string first_page;
  for (const auto& [content_type, body] : sendings) {
    SetCard card(c.params);
    const CgiRun run = card.PostOf(content_type, body);
    EXPECT_EQ(run.exit_status, 0) << content_type;
    EXPECT_EQ(run.err, "") << content_type;
    std::vector<std::string> expected;
    for (const auto& [oid, value] : c.changes) expected.push_back(card.ChangeRecord(oid, value));
    EXPECT_EQ(card.Changes(), expected) << content_type;
    if (first_page.empty()) {
      first_page = run.out;
      EXPECT_NE(first_page, "");
    } else {
      EXPECT_EQ(run.out, first_page) << content_type;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, BothEncodings,
    ::testing::Values(
        FormCase{"AllAccepted",
                 {{"frame_ip.conf", "IP Address", "9"}, {"name", "Name", "7"}, {"count", "Count", "4"},
                  {"mode", "Mode", "8"}},
                 {{"0oid-frame_ip.conf", "10"}, {"1oid-frame_ip.conf", "0"}, {"2oid-frame_ip.conf", "0"},
                  {"3oid-frame_ip.conf", "7"}, {"oid-name", "card one & two=3; \"x\""}, {"oid-count", "42"},
                  {"oid-mode", "2"}},
                 {{"frame_ip.conf", "10.0.0.7"}, {"name", "card one & two=3; \"x\""}, {"count", "42"},
                  {"mode", "2"}}},
        FormCase{"RejectedValuesShowTheForm",
                 {{"count", "Count", "4", "1", "5"}, {"name", "Name", "7", "1", "stored"}},
                 {{"oid-count", "12a"}, {"oid-name", ""}},
                 {}},
        FormCase{"FirstOfARepeatedNameAndACutValue",
                 {{"name", "Name", "7"}, {"note", "Note", "7"}},
                 {{"oid-name", "first"}, {"oid-note", std::string(60, 'n')}, {"oid-name", "second"}},
                 {{"name", "first"}, {"note", std::string(49, 'n')}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MultipartSet, BodyWithoutAUsableBoundaryWritesNothing) {
  for (const char* content_type : {"multipart/form-data", "multipart/form-data; boundary=\"\""}) {
    SetCard card({{"name", "Name", "7"}});
    const CgiRun run = card.PostOf(content_type, Multipart("xyz", {{"oid-name", "card"}}));
    EXPECT_EQ(run.out, "") << content_type;
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(card.sandbox().Records().empty()) << content_type;
  }
}

}  // namespace
