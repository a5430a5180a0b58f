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
using Words = std::vector<std::string>;
constexpr std::nullopt_t kAbsent = std::nullopt;

TEST(SplitTokens, SplitsAtWhiteSpaceOutsideQuotedSections) {
  const std::vector<std::pair<std::string, Words>> cases = {
      {"Content-Type: text/plain; charset=x\r\n", {"Content-Type:", "text/plain;", "charset=x"}},
      {" \t a\v\fb \r\n", {"a", "b"}},
      {"name=\"field one\" b", {"name=\"field one\"", "b"}},
      {"name='a \"b c' d", {"name='a \"b", "c' d"}},  // either mark closes
      {"x=\"open to the end", {"x=\"open to the end"}},
      {"a b\0c d"s, {"a", "b"}},  // a NUL ends the text
      {" \r\n ", {}},
      {"", {}}};
  for (const auto& [text, words] : cases) {
    EXPECT_EQ(CgiSplitTokens(text), words) << ::testing::PrintToString(text);
  }
}

TEST(SplitParameter, TakesKeyAndUnquotedValue) {
  using Result = std::pair<std::optional<std::string>, std::optional<std::string>>;
  const std::vector<std::pair<std::string, Result>> cases = {
      {"name=\"x\";", {"name", "x"}},
      {"name='x\"", {"name", "x"}},  // the marks need not match
      {"name=\"x", {"name", "x"}},
      {"form-data;", {kAbsent, "form-data"}},
      {"a=b=c", {"a", "b=c"}},
      {"key=", {"key", ""}},
      {"key=\"\"", {"key", ""}},
      {"=", {"", ""}},
      {";", {kAbsent, ""}},
      {"\"", {kAbsent, kAbsent}},  // a lone mark is no value
      {"key=\";", {"key", kAbsent}},
      {" \t", {kAbsent, kAbsent}},
      {"", {kAbsent, kAbsent}}};
  for (const auto& [word, expected] : cases) {
    const MimeParameter parameter = CgiSplitParameter(word);
    EXPECT_EQ(std::pair(parameter.key, parameter.value), expected) << ::testing::PrintToString(word);
  }
}

TEST(ReplaceAll, MatchesTheFirstCharacterExactlyAndTheRestInAnyCase) {
  struct Case {
    std::string text, find, replacement, result;
    std::size_t count;
  };
  const std::vector<Case> cases = {
      {"a\r\nb\r\n", "\r\n", " ", "a b ", 2},
      {"xAB xab Xab", "xab", "-", "- - Xab", 2},
      {"aaaa", "aa", "b", "bb", 2},  // occurrences do not overlap
      {"aaa", "aa", "bbbb", "bbbba", 1},
      {"abc", "d", "e", "abc", 0},
      {"abc", "", "e", "abc", 0}};
  for (Case c : cases) {
    EXPECT_EQ(CgiCountMatches(c.text, c.find), c.count) << c.text << " / " << c.find;
    EXPECT_EQ(CgiReplaceAll(c.text, c.find, c.replacement), c.count);
    EXPECT_EQ(c.text, c.result);
  }
}

TEST(ClassifyHeader, KnowsFiveHeaderNamesInAnyCase) {
  const std::vector<std::pair<std::string, MimeHeaderKind>> cases = {
      {"content-TYPE: x", kContentTypeHeader},
      {"Content-Transfer-Encoding: binary", kTransferEncodingHeader},
      {"CONTENT-DISPOSITION: ", kDispositionHeader},
      {"Content-Description: a", kDescriptionHeader},
      {"MIME-Version: 1.0", kMimeVersionHeader},
      {"Content-Type:text/plain", kOtherHeader},  // the space belongs to the name
      {"Content-Typ", kOtherHeader},
      {"X-Other: 1", kOtherHeader}};
  for (const auto& [field, kind] : cases) {
    EXPECT_EQ(CgiClassifyHeader(field), kind) << field;
  }
}

TEST(ParseDisposition, TakesNamesAndDropsTheFileNamesDirectory) {
  using Result = std::tuple<std::optional<std::string>, std::optional<std::string>, std::optional<std::string>>;
  const std::vector<std::pair<std::string, Result>> cases = {
      {"Content-Disposition: form-data; name='field one'; filename='D:\\docs\\a b.txt' ",
       {"form-data", "a b.txt", "field one"}},
      {"Content-Disposition: form-data; name=\"field one\"; filename=\"D:\\docs\\a b.txt\" ",
       {"form-data", "a b.txt", "field one"}},
      {"Content-Disposition: attachment; FILENAME=/dir/sub/f.bin; Name=n ", {"attachment", "f.bin", "n"}},
      {"Content-Disposition: form-data; filename=\"\"; name=x", {"form-data", "", "x"}},
      {"Content-Disposition: form-data;name=x", {"x", kAbsent, kAbsent}},  // joined: no parameter
      {"Content-Disposition: form-data; names=a; size=3", {"form-data", kAbsent, "a"}},
      {"Content-Disposition: form-data; name=\"", {"form-data", kAbsent, kAbsent}},
      {"Content-Disposition: \"", {kAbsent, kAbsent, kAbsent}},
      {"Content-Disposition: ", {kAbsent, kAbsent, kAbsent}}};
  for (const auto& [field, expected] : cases) {
    const DispositionFields fields = CgiParseDisposition(field);
    EXPECT_EQ(std::tie(fields.disposition, fields.file_name, fields.name), expected) << field;
  }
}

TEST(ParseContentType, SplitsTypeAndTakesParametersByKeyPrefix) {
  struct Case {
    std::string field;
    std::optional<std::string> type, subtype, charset, name, boundary, format;
  };
  const std::vector<Case> cases = {
      {"content-type: TEXT/Plain; charset=utf-8 ", "TEXT", "Plain", "utf-8", kAbsent, kAbsent, kAbsent},
      {"Content-Type: multipart/form-data; boundary=\"a b\"", "multipart", "form-data", kAbsent, kAbsent, "a b",
       kAbsent},
      {"Content-Type: text; Name=n; format=flowed; other=1", "text", "", kAbsent, "n", kAbsent, "flowed"},
      {"Content-Type: a/b/c; charsets=x; boundaryx==q", "a", "b/c", "x", kAbsent, "=q", kAbsent},
      {"Content-Type: ", kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent},
      {"Content-Type: ' ", kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent}};
  for (const Case& c : cases) {
    const ContentTypeFields f = CgiParseContentType(c.field);
    EXPECT_EQ(std::tie(f.type, f.subtype, f.charset, f.name, f.boundary, f.format),
              std::tie(c.type, c.subtype, c.charset, c.name, c.boundary, c.format))
        << c.field;
  }
}

// The fields a header block gives a part.
struct PartFields {
  int media_type = 0;
  std::optional<std::string> subtype;
  int transfer_encoding = 0;
  int disposition = 0;
  int format = 0;
  std::optional<std::string> name = kAbsent;
  std::optional<std::string> file_name = kAbsent;
  std::optional<std::string> charset = kAbsent;
  std::optional<std::string> description = kAbsent;
  bool operator==(const PartFields&) const = default;
};

void PrintTo(const PartFields& f, std::ostream* os) {
  *os << "media " << f.media_type << " " << ::testing::PrintToString(f.subtype) << ", encoding "
      << f.transfer_encoding << ", disposition " << f.disposition << ", format " << f.format << ", name "
      << ::testing::PrintToString(f.name) << ", file " << ::testing::PrintToString(f.file_name) << ", charset "
      << ::testing::PrintToString(f.charset) << ", description " << ::testing::PrintToString(f.description);
}

struct BlockCase {
  const char* label;
  std::string block;  // the header lines, without the blank line after them
  PartFields fields;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.label; }

class HeaderBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(HeaderBlock, GivesThePartItsValuesAndLeavesTheBlankLine) {
  const Stream stream = StreamOf(GetParam().block + "\r\ndata\r\n");
  std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
  MimePart part = CgiNewPart();
  CgiParsePartHeaders(*reader, part);
  EXPECT_EQ((PartFields{part.media_type_code, part.subtype, part.transfer_encoding_code, part.disposition_code,
                        part.format_code, part.name, part.file_name, part.charset, part.description}),
            GetParam().fields);
  EXPECT_EQ(CgiNextLine(*reader), "\r\n");
}

const std::string kFormData = "Content-Disposition: form-data; name=\"f\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Blocks, HeaderBlock,
    ::testing::Values(
        BlockCase{"NoContentTypeIsPlainText", kFormData, {0, "plain", 0, 2, 0, "f"}},
        BlockCase{"OctetStreamIsBinary",
                  "Content-Disposition: form-data; name=\"up\"; filename=\"a.bin\"\r\n"
                  "Content-Type: application/octet-stream\r\n",
                  {4, "octet-stream", 2, 2, 0, "up", "a.bin"}},
        BlockCase{"ContentTypeNameWins",
                  "Content-Type: text/plain; name=a\r\nContent-Disposition: form-data; name=b\r\n",
                  {0, "plain", 2, 2, 0, "a"}},
        BlockCase{"DispositionNameWhenTypeHasNone",
                  "Content-Type: text/html; charset=utf-8; format=Flowed\r\nContent-Disposition: form-data; name=b\r\n",
                  {0, "html", 2, 2, 1, "b", kAbsent, "utf-8"}},
        BlockCase{"AttachmentDisposition", "Content-Disposition: attachment; name=x\r\n", {0, "plain", 0, 1, 0, "x"}},
        BlockCase{"UnknownDisposition", "Content-Disposition: other; name=x\r\n", {0, "plain", 0, 1, 0, "x"}},
        BlockCase{"EmptyDispositionIsInline", "Content-Disposition: \"\"; name=x\r\n", {0, "plain", 0, 0, 0, "x"}},
        BlockCase{"NoDisposition", "Mime-Version: 1.0\r\n", {0, "plain", 0, 1, 0}},
        BlockCase{"MissingSpaceAfterColonIsIgnored", "Content-Type:application/zip\r\n" + kFormData,
                  {0, "plain", 0, 2, 0, "f"}},
        BlockCase{"TypeKeywordsMatchAsPrefixes",
                  "Content-Type: APP/x\r\nContent-Transfer-Encoding: QUOTED\r\n" + kFormData,
                  {4, "x", 3, 2, 0, "f"}},
        BlockCase{"UnknownTypeAndEncoding",
                  "Content-Type: textual/x\r\nContent-Transfer-Encoding: gzip\r\n" + kFormData,
                  {7, "x", 0, 2, 0, "f"}},
        BlockCase{"EncodingWithoutType", "Content-Transfer-Encoding: base64\r\n" + kFormData,
                  {0, "plain", 4, 2, 0, "f"}},
        BlockCase{"FoldedHeader",
                  "Content-Disposition: form-data;\r\n name='x';\r\n\tfilename=\"c:\\y.txt\"\r\n",
                  {0, "plain", 0, 2, 0, "x", "y.txt"}},
        BlockCase{"BareLineFeedContinues", "Content-Disposition: form-data;\r\n\n name=x\r\n",
                  {0, "plain", 0, 2, 0, "x"}},
        BlockCase{"DescriptionTrimmed", "Content-Description:   a  short text \r\n" + kFormData,
                  {0, "plain", 0, 2, 0, "f", kAbsent, kAbsent, "a  short text"}},
        BlockCase{"LaterHeaderOverwrites",
                  "Content-Type: text/plain; charset=a\r\nContent-Type: image/png\r\n" + kFormData,
                  {1, "png", 2, 2, 0, "f"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReadHeaderField, JoinsContinuationsAndSaysWhichFieldIsLast) {
  const Stream stream = StreamOf("A: 1\r\n  2\r\nB: 3\r\n\r\nC: 4\r\n");
  std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
  std::string field;
  EXPECT_EQ(CgiReadHeaderField(*reader, field), 0);
  EXPECT_EQ(field, "A: 1   2 ");  // each CR LF one space; the continuation keeps its own
  EXPECT_EQ(CgiReadHeaderField(*reader, field), -1);
  EXPECT_EQ(field, "B: 3 ");
}

TEST(ReadHeaderField, InputEndingInsideTheBlockEndsIt) {
  const Stream stream = StreamOf("A: 1\r\n");
  std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
  std::string field;
  EXPECT_EQ(CgiReadHeaderField(*reader, field), 0);
  EXPECT_EQ(field, "A: 1 ");
  EXPECT_EQ(CgiReadHeaderField(*reader, field), -1);
  EXPECT_EQ(field, "");
}

}  // namespace
