// Multipart form-data bodies parsed into entries, from CONTENT_TYPE and
// standard input as a POST request brings them.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_test_support.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;

struct PartEntry {
  std::string name;
  std::string value;
  std::size_t value_length = 0;
  int content_type = 0;
  std::optional<std::string> subtype = "plain";
  int transfer_encoding = 0;
  std::optional<std::string> file_name = std::nullopt;
  bool operator==(const PartEntry&) const = default;
};

void PrintTo(const PartEntry& e, std::ostream* os) {
  *os << ::testing::PrintToString(e.name) << "=" << ::testing::PrintToString(e.value) << "/" << e.value_length
      << " type " << e.content_type << " " << ::testing::PrintToString(e.subtype) << " encoding "
      << e.transfer_encoding << " file " << ::testing::PrintToString(e.file_name);
}

// A field as a browser-free form sends it: value length and codes of plain text.
PartEntry Field(std::string name, std::string value) {
  const std::size_t length = value.size();
  return {std::move(name), std::move(value), length};
}

PartEntry File(std::string name, std::string value, std::string file_name) {
  const std::size_t length = value.size();
  return {std::move(name), std::move(value), length, 4, "octet-stream", 2, std::move(file_name)};
}

std::vector<PartEntry> AllEntries() {
  std::vector<PartEntry> entries;
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  for (std::size_t i = 0; environment != nullptr && i < environment->CollectionCount(); ++i) {
    for (const FormEntry& e : environment->collections->At(i).entries) {
      entries.push_back({e.name, e.value, e.value_length, e.content_type_code, e.subtype, e.transfer_encoding_code,
                         e.file_name});
    }
  }
  return entries;
}

const std::string kType = "multipart/form-data; boundary=xyz";

std::string Disposition(const std::string& name) { return "Content-Disposition: form-data; name='" + name + "'\r\n"; }
std::string Part(const std::string& name, const std::string& content) {
  return "--xyz\r\n" + Disposition(name) + "\r\n" + content + "\r\n";
}
std::string FilePart(const std::string& content) {
  return "--xyz\r\nContent-Disposition: form-data; name=\"up\"; filename=\"f.bin\"\r\n"
         "Content-Type: application/octet-stream\r\n\r\n" +
         content + "\r\n";
}
const std::string kClose = "--xyz--\r\n";

struct BodyCase {
  const char* label;
  std::string body;
  std::vector<PartEntry> entries;  // in table order
  std::string content_type = kType;
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.label; }

class MultipartBody : public CgiTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(MultipartBody, GivesOneEntryPerNamedPart) {
  ASSERT_EQ(ParsePostOf(GetParam().content_type, GetParam().body), 0);
  EXPECT_EQ(AllEntries(), GetParam().entries);
}

// A Chrome form with a text field, a select and an empty file input.
const std::string kBrowserType = "multipart/form-data; boundary=----WebKitFormBoundaryq3HbT8xVnR2cL0aZ";
const std::string kBrowserBody =
    "------WebKitFormBoundaryq3HbT8xVnR2cL0aZ\r\n"
    "Content-Disposition: form-data; name=\"oid-name\"\r\n"
    "\r\n"
    "card one\r\n"
    "------WebKitFormBoundaryq3HbT8xVnR2cL0aZ\r\n"
    "Content-Disposition: form-data; name=\"oid-mode\"\r\n"
    "\r\n"
    "2\r\n"
    "------WebKitFormBoundaryq3HbT8xVnR2cL0aZ\r\n"
    "Content-Disposition: form-data; name=\"firmware\"; filename=\"\"\r\n"
    "Content-Type: application/octet-stream\r\n"
    "\r\n"
    "\r\n"
    "------WebKitFormBoundaryq3HbT8xVnR2cL0aZ--\r\n";

// curl -F 'oid-name=card one' -F 'notes=<notes.txt' -F 'cfg=@a.cfg'
const std::string kCurlType = "multipart/form-data; boundary=------------------------8f4b0e2a6c1d9735";
const std::string kCurlBody =
    "--------------------------8f4b0e2a6c1d9735\r\n"
    "Content-Disposition: form-data; name=\"oid-name\"\r\n"
    "\r\n"
    "card one\r\n"
    "--------------------------8f4b0e2a6c1d9735\r\n"
    "Content-Disposition: form-data; name=\"notes\"\r\n"
    "\r\n"
    "line 1\nline 2\n\r\n"
    "--------------------------8f4b0e2a6c1d9735\r\n"
    "Content-Disposition: form-data; name=\"cfg\"; filename=\"a.cfg\"\r\n"
    "Content-Type: application/octet-stream\r\n"
    "\r\n"
    "k=v\r\n\r\n"
    "--------------------------8f4b0e2a6c1d9735--\r\n";

INSTANTIATE_TEST_SUITE_P(
    Bodies, MultipartBody,
    ::testing::Values(
        BodyCase{"TwoSimpleFields", Part("a", "1") + Part("b", "2") + kClose, {Field("a", "1"), Field("b", "2")}},
        BodyCase{"TypeInAnyCase", Part("a", "1") + kClose, {Field("a", "1")}, "Multipart/Form-Data; BOUNDARY=xyz"},
        BodyCase{"FileWithNulBytes", FilePart("a\0b\xff"s) + kClose, {File("up", "a\0b\xff"s, "f.bin")}},
        BodyCase{"FileEndingInCrLfLosesIt", FilePart("x\r\n") + kClose, {File("up", "x", "f.bin")}},
        BodyCase{"FileEndingInLineFeedKeepsIt", FilePart("x\n") + kClose, {File("up", "x\n", "f.bin")}},
        BodyCase{"TextEndingInCrLfKeepsIt", Part("t", "x\r\n") + kClose, {Field("t", "x\r\n")}},
        BodyCase{"EmptyField", Part("e", "") + kClose, {Field("e", "")}},
        BodyCase{"TwoLineValue", Part("v", "l1\r\nl2") + kClose, {Field("v", "l1\r\nl2")}},
        BodyCase{"DelimiterRightAfterHeadersIsData",
                 "--xyz\r\n" + Disposition("a") + "\r\n" + Part("b", "2") + kClose,
                 {Field("a", "--xyz\r\n" + Disposition("b") + "\r\n2")}},
        BodyCase{"SingleQuotedBoundary", Part("a", "1") + kClose, {Field("a", "1")},
                 "multipart/form-data; boundary='xyz'"},
        BodyCase{"DoubleQuotedBoundary", Part("a", "1") + kClose, {Field("a", "1")},
                 "multipart/form-data; charset=utf-8; boundary=\"xyz\""},
        BodyCase{"PreambleStrayLinesAndEpilogue",
                 "preamble\r\n--xy\r\n" + Part("a", "1") + kClose + "epilogue\r\n" + Part("b", "2") + kClose,
                 {Field("a", "1")}},
        BodyCase{"DelimiterLinesFollowedBySpaces",
                 "--xyz  \r\n" + Disposition("a") + "\r\n1\r\n--xyz-- \r\n" + Part("b", "2"), {Field("a", "1")}},
        BodyCase{"NoCloseDelimiter", Part("a", "1") + "--xyz\r\n" + Disposition("b") + "\r\n2\r\n3",
                 {Field("a", "1"), Field("b", "2\r\n3")}},
        BodyCase{"NoCloseDelimiterEndingInCrLf", Part("a", "1"), {Field("a", "1")}},
        BodyCase{"PartWithoutNameIsSkipped",
                 "--xyz\r\nContent-Disposition: form-data\r\n\r\n0\r\n" + Part("a", "1") + kClose, {Field("a", "1")}},
        BodyCase{"EmptyNameIsAName", Part("", "1") + kClose, {Field("", "1")}},
        BodyCase{"RepeatedNameKeepsBodyOrder", Part("x", "1") + Part("y", "2") + Part("x", "3") + kClose,
                 {Field("x", "1"), Field("x", "3"), Field("y", "2")}},
        BodyCase{"NoParts", "just text\r\n", {}},
        BodyCase{"Browser", kBrowserBody,
                 {Field("oid-name", "card one"), Field("oid-mode", "2"), File("firmware", "", "")},
                 kBrowserType},
        BodyCase{"CurlF", kCurlBody,
                 {Field("oid-name", "card one"), Field("notes", "line 1\nline 2\n"), File("cfg", "k=v", "a.cfg")},
                 kCurlType}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(CgiTest, MultipartBodyIsReadPastItsDeclaredLength) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kType}, {"CONTENT_LENGTH", "1"}});
  SetStdin(Part("a", "1") + Part("b", "2") + kClose);
  ASSERT_EQ(CgiParseRequest(), 0);
  EXPECT_EQ(AllEntries(), (std::vector<PartEntry>{Field("a", "1"), Field("b", "2")}));
  std::int32_t value = 0;
  EXPECT_EQ(CgiGetLong("b", value, -1), CgiSuccess);
  EXPECT_EQ(value, 2);
}

class UnusableBoundary : public CgiTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnusableBoundary, RefusesTheBodyUnread) {
  EXPECT_EQ(ParsePostOf(GetParam(), Part("a", "1") + kClose), -1);
  EXPECT_EQ(AllEntries(), std::vector<PartEntry>{});
  char rest[16] = {};
  EXPECT_STREQ(std::fgets(rest, sizeof rest, stdin), "--xyz\r\n");
}

INSTANTIATE_TEST_SUITE_P(ContentTypes, UnusableBoundary,
                         ::testing::Values("multipart/form-data", "multipart/form-data; boundary=",
                                           "multipart/form-data; boundary=\"\"", "multipart/form-data; boundary=\"",
                                           "multipart/form-data;boundary=xyz"));

}  // namespace
