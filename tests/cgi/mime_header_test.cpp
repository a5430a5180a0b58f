// MIME header fields of multipart parts: words and parameters, header
// blocks read from a line reader, and the values they give a part.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cgi/cgi_test_support.hpp"
#include "cgi/line_reader.hpp"
#include "cgi/mime_headers.hpp"
#include "cgi/mime_tokens.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;
using Text = std::optional<std::string>;
constexpr std::nullopt_t kAbsent = std::nullopt;

TEST(SplitTokens, SplitsAtWhiteSpaceOutsideQuotedSections) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {" Content-Type: text/plain;\t\v\fcharset=x\r\n", {"Content-Type:", "text/plain;", "charset=x"}},
      {"name=\"field one\" b", {"name=\"field one\"", "b"}},
      {"name='a \"b c' d", {"name='a \"b", "c' d"}},  // either mark closes
      {"x=\"open to the end", {"x=\"open to the end"}},
      {"a b\0c d"s, {"a", "b"}},  // a NUL ends the text
      {" \r\n ", {}}};
  for (const auto& [text, words] : cases) {
    EXPECT_EQ(CgiSplitTokens(text), words) << ::testing::PrintToString(text);
  }
}

TEST(SplitParameter, TakesKeyAndUnquotedValue) {
  const std::pair<std::string, std::pair<Text, Text>> cases[] = {
      {"name=\"x\";", {"name", "x"}}, {"name='x\"", {"name", "x"}},  // the marks need not match
      {"name=\"x", {"name", "x"}},    {"form-data;", {kAbsent, "form-data"}},
      {"a=b=c", {"a", "b=c"}},        {"key=\"\"", {"key", ""}},
      {"\"", {kAbsent, kAbsent}},  // a lone mark is no value
      {"key=\";", {"key", kAbsent}},  {" \t", {kAbsent, kAbsent}}};
  for (const auto& [word, expected] : cases) {
    const MimeParameter parameter = CgiSplitParameter(word);
    EXPECT_EQ(std::pair(parameter.key, parameter.value), expected) << word;
  }
}

TEST(ParseDisposition, TakesNamesAndDropsTheFileNamesDirectory) {
  const std::pair<std::string, std::tuple<Text, Text, Text>> cases[] = {
      {"Content-Disposition: form-data; name='field one'; filename='D:\\docs\\a b.txt' ",
       {"form-data", "a b.txt", "field one"}},
      {"Content-Disposition: attachment; FILENAME=/dir/sub/f.bin; Name=n ", {"attachment", "f.bin", "n"}},
      {"Content-Disposition: form-data; filename=\"\"; name=x", {"form-data", "", "x"}},
      {"Content-Disposition: form-data;name=x", {"x", kAbsent, kAbsent}},  // joined: no parameter
      {"Content-Disposition: form-data; names=a; size=3", {"form-data", kAbsent, "a"}},
      {"Content-Disposition: form-data; name=\"", {"form-data", kAbsent, kAbsent}},
      {"Content-Disposition: ", {kAbsent, kAbsent, kAbsent}}};
  for (const auto& [field, expected] : cases) {
    const DispositionFields fields = CgiParseDisposition(field);
    EXPECT_EQ(std::tie(fields.disposition, fields.file_name, fields.name), expected) << field;
  }
}

TEST(ParseContentType, SplitsTypeAndTakesParametersByKeyPrefix) {
  const std::pair<std::string, std::tuple<Text, Text, Text, Text, Text, Text>> cases[] = {
      {"Content-Type: text; Name=n; format=flowed; other=1", {"text", "", kAbsent, "n", kAbsent, "flowed"}},
      {"Content-Type: a/b/c; charsets=x; boundaryx==q", {"a", "b/c", "x", kAbsent, "=q", kAbsent}},
      {"Content-Type: ", {kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent}}};
  for (const auto& [field, expected] : cases) {
    const ContentTypeFields f = CgiParseContentType(field);
    EXPECT_EQ(std::tie(f.type, f.subtype, f.charset, f.name, f.boundary, f.format), expected) << field;
  }
}

// The values a header block gives a part: media type code, subtype, transfer
// encoding, disposition and format codes, name, file name and charset.
using PartFields = std::tuple<int, Text, int, int, int, Text, Text, Text>;

TEST(ParsePartHeaders, GivesThePartItsValuesAndLeavesTheBlankLine) {
  const std::string form_data = "Content-Disposition: form-data; name=\"f\"\r\n";
  const std::string folded = "Content-Disposition: form-data;\r\n name='x';\r\n\tfilename=\"c:\\y.txt\"\r\n";
  const std::pair<std::string, PartFields> cases[] = {  // the header lines, without the blank line after them
      {"Content-Type: text/plain; name=a\r\nContent-Disposition: form-data; name=b\r\n",
       {0, "plain", 2, 2, 0, "a", kAbsent, kAbsent}},
      {"content-TYPE: text/html; charset=utf-8; format=Flowed\r\nContent-Disposition: form-data; name=b\r\n",
       {0, "html", 2, 2, 1, "b", kAbsent, "utf-8"}},
      {"Content-Disposition: other; name=x\r\n", {0, "plain", 0, 1, 0, "x", kAbsent, kAbsent}},
      {"Content-Disposition: \"\"; name=x\r\n", {0, "plain", 0, 0, 0, "x", kAbsent, kAbsent}},
      {"Mime-Version: 1.0\r\n", {0, "plain", 0, 1, 0, kAbsent, kAbsent, kAbsent}},
      {"Content-Type:application/zip\r\n" + form_data, {0, "plain", 0, 2, 0, "f", kAbsent, kAbsent}},  // no space
      {"Content-Type: APP/x\r\nContent-Transfer-Encoding: QUOTED\r\n" + form_data,  // keywords match as prefixes
       {4, "x", 3, 2, 0, "f", kAbsent, kAbsent}},
      {"Content-Type: textual/x\r\nContent-Transfer-Encoding: gzip\r\n" + form_data,
       {7, "x", 0, 2, 0, "f", kAbsent, kAbsent}},
      {"Content-Transfer-Encoding: base64\r\n" + form_data, {0, "plain", 4, 2, 0, "f", kAbsent, kAbsent}},
      {folded, {0, "plain", 0, 2, 0, "x", "y.txt", kAbsent}},
      {"Content-Disposition: form-data;\r\n\n name=x\r\n",  // a bare line feed continues the field
       {0, "plain", 0, 2, 0, "x", kAbsent, kAbsent}},
      {"Content-Type: text/plain; charset=a\r\nContent-Type: image/png\r\n" + form_data,  // the later one holds
       {1, "png", 2, 2, 0, "f", kAbsent, kAbsent}}};
  for (const auto& [block, fields] : cases) {
    SCOPED_TRACE(block);
    const Stream stream = StreamOf(block + "\r\ndata\r\n");
    std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
    MimePart part = CgiNewPart();
    CgiParsePartHeaders(*reader, part);
    EXPECT_EQ(std::tie(part.media_type_code, part.subtype, part.transfer_encoding_code, part.disposition_code,
                       part.format_code, part.name, part.file_name, part.charset),
              fields);
    EXPECT_EQ(CgiNextLine(*reader), "\r\n");
  }
}

TEST(ReadHeaderField, JoinsContinuationsAndSaysWhichFieldIsLast) {
  // The second field ends at a blank line, or at the end of the input.
  for (const auto& [tail, last] : {std::pair("B: 3\r\n\r\nC: 4\r\n", "B: 3 "), std::pair("B: 3", "B: 3")}) {
    const Stream stream = StreamOf("A: 1\r\n  2\r\n"s + tail);
    std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
    std::string field;
    EXPECT_EQ(CgiReadHeaderField(*reader, field), 0);
    EXPECT_EQ(field, "A: 1   2 ");  // each CR LF one space; the continuation keeps its own
    EXPECT_EQ(CgiReadHeaderField(*reader, field), -1);
    EXPECT_EQ(field, last);
  }
}

}  // namespace
