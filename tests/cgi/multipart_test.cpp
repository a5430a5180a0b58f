// Multipart form-data bodies parsed into entries, with their part headers.
#include "cgi/cgi_test_support.hpp"
#include "cgi/line_reader.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;

// A text field's entry, and a file's entry (application/octet-stream).
Entry Field(const std::string& name, const std::string& value) {
  return {name, value, value.size(), kText, "plain"};
}
Entry File(const std::string& value, const std::string& file_name = "f.bin") {
  return {"up", value, value.size(), kApplication, "octet-stream", kBinary, file_name};
}
const std::string kType = "multipart/form-data; boundary=xyz", kClose = "--xyz--\r\n";
std::string Disposition(const std::string& name) {
  return "Content-Disposition: form-data; name='" + name + "'\r\n";
}
std::string Part(const std::string& name, const std::string& content) {
  return "--xyz\r\n" + Disposition(name) + "\r\n" + content + "\r\n";
}
std::string FilePart(const std::string& content, const std::string& file_name = "f.bin") {
  return "--xyz\r\nContent-Disposition: form-data; name=\"up\"; filename=\"" + file_name +
         "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n";
}

// Each body is parsed under its declared length (its size unless given), of which no byte more is
// read; it is whole when every declared byte arrived and the close delimiter was among them.
TEST_F(CgiTest, MultipartBodyGivesOneEntryPerNamedPart) {
  std::string large;  // over 1 MiB of lines of varied length and byte value
  for (int i = 0; large.size() < 1024 * 1024; ++i)
    large += std::string(40 + i % 300, char(i * 7)) + '\n';
  large += "\r\nlast line";
  const std::string a1 = Part("a", "1"), b2 = Part("b", "2");
  const struct {
    std::string body;
    std::vector<Entry> entries;
    bool whole = true;
    std::string content_type = kType;
    std::optional<std::string> length = std::nullopt;
  } cases[] = {
      {a1 + b2 + kClose, {Field("a", "1"), Field("b", "2")}},
      {a1 + kClose,
       {Field("a", "1")},
       true,
       "Multipart/Form-Data; charset=utf-8; BOUNDARY=\"xyz\""},
      {"just text\r\n", {}, false},
      {FilePart("a\0b\xff"s) + kClose, {File("a\0b\xff"s)}},
      {FilePart("x\r\n") + kClose, {File("x")}},
      {FilePart("x\n") + kClose, {File("x\n")}},
      {FilePart("", "") + kClose, {File("", "")}},
      {a1 + FilePart(large) + b2 + kClose, {Field("a", "1"), File(large), Field("b", "2")}},
      {Part("t", "x\r\n") + kClose, {Field("t", "x\r\n")}},
      {Part("e", "") + kClose, {Field("e", "")}},
      {Part("", "1") + kClose, {Field("", "1")}},
      // The delimiter test looks at the line after the one taken.
      {"--xyz\r\n" + Disposition("a") + "\r\n" + b2 + kClose,
       {Field("a", "--xyz\r\n" + Disposition("b") + "\r\n2")}},
      {"preamble\r\n--xy\r\n" + a1 + kClose + "epilogue\r\n" + b2 + kClose, {Field("a", "1")}},
      {"--xyz  \r\n" + Disposition("a") + "\r\n1\r\n--xyz-- \r\n" + b2, {Field("a", "1")}},
      {a1 + "--xyz\r\n" + Disposition("b") + "\r\n2\r\n3",
       {Field("a", "1"), Field("b", "2\r\n3")},
       false},
      {"--xyz\r\nContent-Disposition: form-data\r\n\r\n0\r\n" + a1 + kClose, {Field("a", "1")}},
      // Fewer bytes than declared; a part beyond the declared length.
      {a1 + kClose, {Field("a", "1")}, false, kType, std::to_string((a1 + kClose).size() + 1)},
      {a1 + b2 + kClose, {Field("a", "1")}, false, kType, std::to_string(a1.size())}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content_type + " / " + c.length.value_or("-") + "\n" + c.body.substr(0, 200));
    ASSERT_EQ(ParsePost(c.body, c.content_type, c.length), 0);
    EXPECT_EQ(TableEntries(), c.entries);
    EXPECT_EQ(CgiBodyArrived().whole, c.whole);
    // The input is read up to the declared length, not a byte beyond (its descriptor is shared).
    const off_t declared = c.length ? std::atol(c.length->c_str()) : c.body.size();
    EXPECT_EQ(::lseek(STDIN_FILENO, 0, SEEK_CUR), std::min<off_t>(c.body.size(), declared));
  }
}

// Each header block heads a part holding "v"; the entry it gives, if any.
TEST_F(CgiTest, PartHeadersGiveTheEntryItsNameAndType) {
  const std::string form_data = "Content-Disposition: form-data; name=\"f\"\r\n";
  const auto entry = [](const std::string& name, Media media, const std::string& subtype,
                        Encoding encoding, std::optional<std::string> file = std::nullopt) {
    return std::vector<Entry>{{name, "v", 1, media, subtype, encoding, file}};
  };
  const auto f_text = entry("f", kText, "plain", k7Bit);  // what form_data alone gives
  const std::pair<std::string, std::vector<Entry>> cases[] = {
      {"Content-Type: text/plain; name=a\r\nContent-Disposition: form-data; name=b\r\n",
       entry("a", kText, "plain", kBinary)},
      {"content-TYPE: text/html; charset=utf-8; format=Flowed\r\n" + form_data,
       entry("f", kText, "html", kBinary)},
      {"Content-Type: a/b/c; charsets=x;\t\v\fNAME=n\r\n", entry("n", kAudio, "b/c", kBinary)},
      {"Content-Type: text\r\n" + form_data, entry("f", kText, "", kBinary)},
      // Without the blank after the colon the header is no Content-Type.
      {"Content-Type:application/zip\r\n" + form_data, f_text},
      // Keywords match by prefix, and a later header replaces an earlier one.
      {"Content-Type: APP/x\r\nContent-Transfer-Encoding: QUOTED\r\n" + form_data,
       entry("f", kApplication, "x", kQuotedPrintable)},
      {"Content-Type: textual/x\r\nContent-Transfer-Encoding: gzip\r\n" + form_data,
       entry("f", kOtherMedia, "x", k7Bit)},
      {"Content-Type: text/plain\r\nContent-Type: image/png\r\n" + form_data,
       entry("f", kImage, "png", kBinary)},
      // A joined parameter is none; the last name counts; a lone mark is no value.
      {"Content-Disposition: form-data;name=x\r\n", {}},
      {"Content-Disposition: form-data; names=a; name=\"\r\n", {}},
      // Either mark closes a quoted value; a file name loses its directory; a NUL ends a field.
      {"Content-Disposition: form-data; name='a \"b c' d\r\n",
       entry("a \"b", kText, "plain", k7Bit)},
      {"Content-Disposition: form-data; name='x\"; FILENAME=\"D:\\a b.txt\"\r\n",
       entry("x", kText, "plain", k7Bit, "a b.txt")},
      {"Content-Disposition: attachment; filename=/d/f.bin; Name='f 1'\r\n",
       entry("f 1", kText, "plain", k7Bit, "f.bin")},
      {"Content-Disposition: form-data; name=x\0; filename=f\r\n"s,
       entry("x", kText, "plain", k7Bit)},
      // Folded lines, after CR LF or a bare line feed.
      {"Content-Disposition: form-data;\r\n name='x';\r\n\tfilename=\"c:\\y\"\r\n",
       entry("x", kText, "plain", k7Bit, "y")},
      {"Content-Disposition: form-data;\r\n\n name=x\r\n", entry("x", kText, "plain", k7Bit)},
      {"Mime-Version: 1.0\r\n" + form_data, f_text},
  };
  for (const auto& [block, entries] : cases) {
    ASSERT_EQ(ParsePost("--xyz\r\n" + block + "\r\nv\r\n" + kClose, kType), 0);
    EXPECT_EQ(TableEntries(), entries) << block;
  }
}

TEST(LineReader, NeedsThreeSlotsAndEndsAtAReadError) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> directory(std::fopen("/", "r"),
                                                                  &std::fclose);
  EXPECT_FALSE(CgiNewLineReader(2, directory.get()));
  std::optional<LineReader> reader = CgiNewLineReader(3, directory.get());  // a directory: no read
  EXPECT_EQ(CgiNextLine(*reader), "");
  EXPECT_EQ(CgiNextLine(*reader), std::nullopt);
}
}  // namespace
