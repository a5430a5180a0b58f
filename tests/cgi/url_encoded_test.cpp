// URL-encoded text: decoding, and splitting bodies and query strings into entries.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_test_support.hpp"
#include "cgi/url_encoded.hpp"

namespace {
using namespace cgi_testing;

TEST(UrlDecode, DecodesEscapesAndKeepsMalformedOnes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"hello+world%21", "hello world!"}, {"%2B", "+"}, {"%2f%2F", "//"}, {"%e2%82%AC", "\xe2\x82\xac"},
      {"a%00b", "a"}, {std::string("a\0%41", 5), "a"},  // a NUL, escaped or raw, ends the text
      {"%", "%"}, {"a%4", "a%4"}, {"%4g", "%4g"}, {"%g4", "%g4"}, {"%%41", "%A"},
      {std::string("%4\0" "1", 4), "%4"}};  // an escape is never completed past a NUL
  for (const auto& [raw, decoded] : cases) {
    EXPECT_EQ(CgiUrlDecode(raw), decoded) << ::testing::PrintToString(raw);
  }
}

struct SplitCase {
  const char* label;
  std::string body;
  std::optional<std::string> content_length;  // the body's size unless given
  std::vector<Entry> entries;                 // in table order
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.label; }

class UrlEncodedBody : public CgiTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(UrlEncodedBody, SplitsIntoEntries) {
  ASSERT_EQ(ParsePost(GetParam().body, GetParam().content_length), 0);
  EXPECT_EQ(TableEntries(), GetParam().entries);
}

const std::string kLongValue(200000, 'v');  // read across several growing reads

INSTANTIATE_TEST_SUITE_P(
    Pairs, UrlEncodedBody,
    ::testing::Values(
        SplitCase{"TwoPairs", "a=1&b=2", {}, {{"a", "1", 2}, {"b", "2", 2}}},
        SplitCase{"EmptyValue", "a=", {}, {{"a", "", 1}}}, SplitCase{"EmptyName", "=x", {}, {{"", "x", 2}}},
        SplitCase{"TrailingSeparator", "a=1&", {}, {{"a", "1", 2}}},
        SplitCase{"DoubledSeparator", "a=1&&b=2", {}, {{"a", "1", 2}, {"&b", "2", 2}}},
        SplitCase{"EqualsInValue", "a=b=d", {}, {{"a", "b=d", 4}}},
        SplitCase{"LastPairWithoutEquals", "a=1&b", {}, {{"a", "1", 2}, {"b", "", 1}}},
        SplitCase{"SeparatorInName", "a=1&b&d=2", {}, {{"a", "1", 2}, {"b&d", "2", 2}}},
        SplitCase{"RepeatedName", "x=1&y=2&x=3", {}, {{"x", "1", 2}, {"x", "3", 2}, {"y", "2", 2}}},
        SplitCase{"DecodedNameAndValue", "a+b%3D=c+d%26", {}, {{"a b=", "c d&", 7}}},
        SplitCase{"LengthCountsRawBytes", "v=%41", {}, {{"v", "A", 4}}},
        SplitCase{"EscapedNul", "a%00b=a%00b", {}, {{"a", "a", 6}}},
        SplitCase{"NulByteBeforeMorePairs", std::string("a=1\0&b=2&c=3", 12), {},
                  {{"a", "1", 3}, {"b", "2", 2}, {"c", "3", 2}}},
        // A body shorter than its declared length reads as if zero-filled.
        SplitCase{"ShortBody", "a=1", "10", {{"a", "1", 9}}},
        SplitCase{"ShortBodyWithoutEquals", "a=1&bc", "9", {{"a", "1", 2}, {"bc", "", 1}}},
        SplitCase{"ShortBodyEndingInSeparator", "a=1&", "10", {{"a", "1", 2}, {"", "", 1}}},
        SplitCase{"LongerThanDeclared", "a=1&b=2", " 3xyz", {{"a", "1", 2}}},
        SplitCase{"LongValue", "v=" + kLongValue, {}, {{"v", kLongValue, 200001}}},
        SplitCase{"Empty", "", {}, {}}));

TEST_F(CgiTest, QueryStringOfAGetIsParsedTheSameWay) {
  SetCgiVariables({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "a=1&b=%41&a=2&c"}});
  ASSERT_EQ(CgiParseRequest(), 0);
  EXPECT_EQ(TableEntries(), (std::vector<Entry>{{"a", "1", 2}, {"a", "2", 2}, {"b", "A", 4}, {"c", "", 1}}));
  SetCgiVariables({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", ""}});
  EXPECT_EQ(CgiParseRequest(), 0);  // a request without fields
  EXPECT_EQ(TableEntries(), std::vector<Entry>{});
}

TEST_F(CgiTest, HundredThousandDistinctNamesKeepOrderAndExactMatch) {
  constexpr std::size_t kNames = 100000;
  std::string body;
  std::vector<Entry> expected;
  for (std::size_t i = 0; i < kNames; ++i) {
    const std::string number = std::to_string(i);
    body.append("n").append(number).append("=").append(number).append("&");
    expected.push_back({std::string("n").append(number), number, number.size() + 1});
  }
  body += "n5=again&N5=upper";
  expected.insert(expected.begin() + 6, Entry{"n5", "again", 6});
  expected.push_back({"N5", "upper", 6});
  ASSERT_EQ(ParsePost(body), 0);
  EXPECT_EQ(CgiCurrentEnvironment()->CollectionCount(), kNames + 1);
  EXPECT_TRUE(TableEntries() == expected);  // not printed: too long
}

}  // namespace
