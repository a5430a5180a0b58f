// Multipart form-data bodies parsed into entries, from CONTENT_TYPE and
// standard input as a POST request brings them, with their part headers.
#include "cgi/cgi_test_support.hpp"
#include "cgi/line_reader.hpp"

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

// Over 1 MiB of lines of varied length holding every byte value, NUL included.
std::string Lines() {
  std::string text;
  for (std::size_t line = 0; text.size() < 1024 * 1024; ++line, text.push_back('\n')) {
    for (std::size_t i = 0; i < 40 + line % 300; ++i) text.push_back(static_cast<char>((line * 7 + i) % 256));
  }
  return text + "\r\nlast line";
}

// Each body is parsed under its true length, a shorter and a longer one, and
// a length without digits: the declared length plays no part in the entries.
TEST_F(CgiTest, MultipartBodyGivesOneEntryPerNamedPart) {
  const std::string large = Lines();
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
      {Part("a", "1") + FilePart(large) + Part("b", "2") + kClose,
       {Field("a", "1"), File("up", large, "f.bin"), Field("b", "2")}},
      {Part("t", "x\r\n") + kClose, {Field("t", "x\r\n")}},
      {Part("l", std::string(100000, 'y')) + kClose, {Field("l", std::string(100000, 'y'))}},  // past stdio's buffer
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
    for (const std::string& length : {std::to_string(c.body.size()), "1"s, std::to_string(c.body.size() * 9), "x"s}) {
      SCOPED_TRACE(c.content_type + " / " + length + "\n" + c.body.substr(0, 200));
      ASSERT_EQ(ParsePost(c.body, c.content_type, length), 0);
      EXPECT_EQ(TableEntries(), c.entries);
    }
  }
  ASSERT_EQ(ParsePost(Part("e", "") + Part("o", "1") + kClose, kType), 0);
  std::int32_t value = 0;
  EXPECT_EQ(CgiGetLong("e", value, -1), CgiEmpty);  // a multipart value's length counts its bytes only
  EXPECT_EQ(CgiGetLong("o", value, -1), CgiSuccess);
}

// Each header block heads a part holding "v"; the entry it gives, if any.
TEST_F(CgiTest, PartHeadersGiveTheEntryItsNameAndType) {
  const std::string form_data = "Content-Disposition: form-data; name=\"f\"\r\n";
  const auto text = [](const std::string& name, const std::string& subtype = "plain", int encoding = 0) {
    return std::vector<Entry>{{name, "v", 1, 0, subtype, encoding}};
  };
  const auto typed = [](int type, const std::string& subtype, int encoding, const std::string& name = "f") {
    return std::vector<Entry>{{name, "v", 1, type, subtype, encoding}};
  };
  const std::pair<std::string, std::vector<Entry>> cases[] = {
      {"Content-Type: text/plain; name=a\r\nContent-Disposition: form-data; name=b\r\n", text("a", "plain", 2)},
      {"content-TYPE: text/html; charset=utf-8; format=Flowed\r\n" + form_data, text("f", "html", 2)},
      {"Content-Type: a/b/c; charsets=x;\t\v\fNAME=n\r\n", typed(2, "b/c", 2, "n")},
      {"Content-Type: text\r\n" + form_data, text("f", "", 2)},
      {"Content-Type:application/zip\r\n" + form_data, text("f")},  // no space: no such header
      {"Content-Type: APP/x\r\nContent-Transfer-Encoding: QUOTED\r\n" + form_data, typed(4, "x", 3)},  // prefixes
      {"Content-Type: textual/x\r\nContent-Transfer-Encoding: gzip\r\n" + form_data, typed(7, "x", 0)},
      {"Content-Transfer-Encoding: base64\r\n" + form_data, text("f", "plain", 4)},
      {"Content-Type: text/plain\r\nContent-Type: image/png\r\n" + form_data, typed(1, "png", 2)},  // the later holds
      {"Content-Disposition: other; name=x\r\n", text("x")},
      {"Content-Disposition: form-data;name=x\r\n", {}},  // joined: no parameter
      {"Content-Disposition: form-data; names=a; size=3\r\n", text("a")},
      {"Content-Disposition: form-data; names=a; name=\"\r\n", {}},  // the last one counts; a lone mark is no value
      {"Content-Disposition: form-data; name='a \"b c' d\r\n", text("a \"b")},  // either mark closes
      {"Content-Disposition: form-data; name='x\"; FILENAME=\"D:\\docs\\a b.txt\"\r\n",
       {{"x", "v", 1, 0, "plain", 0, "a b.txt"}}},
      {"Content-Disposition: attachment; filename=/dir/sub/f.bin; Name='field one'\r\n",
       {{"field one", "v", 1, 0, "plain", 0, "f.bin"}}},
      {"Content-Disposition: form-data; name=x\0; filename=f\r\n"s, text("x")},  // a NUL ends the field
      {"Content-Disposition: form-data;\r\n name='x';\r\n\tfilename=\"c:\\y\"\r\n",  // folded
       {{"x", "v", 1, 0, "plain", 0, "y"}}},
      {"Content-Disposition: form-data;\r\n\n name=x\r\n", text("x")},  // a bare line feed continues too
      {"Mime-Version: 1.0\r\n" + form_data, text("f")}};
  for (const auto& [block, entries] : cases) {
    SCOPED_TRACE(block);
    ASSERT_EQ(ParsePost("--xyz\r\n" + block + "\r\nv\r\n" + kClose, kType), 0);
    EXPECT_EQ(TableEntries(), entries);
  }
}

TEST(LineReader, NeedsThreeSlotsAndEndsAtAReadError) {
  const Stream text = StreamOf("a\n");
  EXPECT_FALSE(CgiNewLineReader(2, text.get()));
  const Stream directory(std::fopen("/", "r"));  // reading a directory fails
  std::optional<LineReader> reader = CgiNewLineReader(3, directory.get());
  EXPECT_EQ(CgiNextLine(*reader), "");
  EXPECT_EQ(CgiNextLine(*reader), std::nullopt);
}

}  // namespace
