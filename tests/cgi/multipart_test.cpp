// Multipart form-data bodies parsed into entries, from CONTENT_TYPE and
// standard input as a POST request brings them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cgi/cgi_test_support.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;

// A text field's entry, and a file's entry (application/octet-stream).
Entry Field(const std::string& name, const std::string& value) { return {name, value, value.size(), 0, "plain"}; }
Entry File(const std::string& name, const std::string& value, const std::string& file_name) {
  return {name, value, value.size(), 4, "octet-stream", 2, file_name};
}

const std::string kType = "multipart/form-data; boundary=xyz";
const std::string kClose = "--xyz--\r\n";
std::string Disposition(const std::string& name) { return "Content-Disposition: form-data; name='" + name + "'\r\n"; }
std::string Part(const std::string& name, const std::string& content) {
  return "--xyz\r\n" + Disposition(name) + "\r\n" + content + "\r\n";
}
std::string FilePart(const std::string& content, const std::string& file_name = "f.bin") {
  return "--xyz\r\nContent-Disposition: form-data; name=\"up\"; filename=\"" + file_name +
         "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n";
}

TEST_F(CgiTest, MultipartBodyGivesOneEntryPerNamedPart) {
  const struct {
    std::string body;
    std::vector<Entry> entries;  // in table order
    std::string content_type = kType;
  } cases[] = {
      {Part("a", "1") + Part("b", "2") + kClose, {Field("a", "1"), Field("b", "2")}},
      {Part("a", "1") + kClose, {Field("a", "1")}, "Multipart/Form-Data; BOUNDARY='xyz'"},
      {Part("a", "1") + kClose, {Field("a", "1")}, "multipart/form-data; charset=utf-8; boundary=\"xyz\""},
      {FilePart("a\0b\xff"s) + kClose, {File("up", "a\0b\xff"s, "f.bin")}},
      {FilePart("x\r\n") + kClose, {File("up", "x", "f.bin")}},  // binary data loses its own final CR LF
      {FilePart("x\n") + kClose, {File("up", "x\n", "f.bin")}},
      {FilePart("", "") + kClose, {File("up", "", "")}},  // a browser's empty file input
      {Part("t", "x\r\n") + kClose, {Field("t", "x\r\n")}},
      {Part("e", "") + kClose, {Field("e", "")}},
      // The delimiter test looks at the line after the one taken.
      {"--xyz\r\n" + Disposition("a") + "\r\n" + Part("b", "2") + kClose,
       {Field("a", "--xyz\r\n" + Disposition("b") + "\r\n2")}},
      {"preamble\r\n--xy\r\n" + Part("a", "1") + kClose + "epilogue\r\n" + Part("b", "2") + kClose, {Field("a", "1")}},
      {"--xyz  \r\n" + Disposition("a") + "\r\n1\r\n--xyz-- \r\n" + Part("b", "2"), {Field("a", "1")}},
      {Part("a", "1") + "--xyz\r\n" + Disposition("b") + "\r\n2\r\n3", {Field("a", "1"), Field("b", "2\r\n3")}},
      {"--xyz\r\nContent-Disposition: form-data\r\n\r\n0\r\n" + Part("a", "1") + kClose, {Field("a", "1")}},
      {Part("", "1") + kClose, {Field("", "1")}},
      {"just text\r\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content_type + "\n" + c.body);
    ASSERT_EQ(ParsePost(c.body, c.content_type), 0);
    EXPECT_EQ(TableEntries(), c.entries);
  }
}

TEST_F(CgiTest, MultipartBodyIsReadPastItsDeclaredLength) {
  ASSERT_EQ(ParsePost(Part("a", "1") + Part("e", "") + kClose, kType, "1"), 0);
  EXPECT_EQ(TableEntries(), (std::vector<Entry>{Field("a", "1"), Field("e", "")}));
  std::int32_t value = 0;
  EXPECT_EQ(CgiGetLong("a", value, -1), CgiSuccess);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(CgiGetLong("e", value, -1), CgiEmpty);  // a multipart empty value has length 0
}

}  // namespace
