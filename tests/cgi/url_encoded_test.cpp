// URL-encoded bodies split into entries, their values decoded.
#include <fstream>

#include "cgi/cgi_test_support.hpp"
#include "cgi/checked_alloc.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;
TEST_F(CgiTest, UrlEncodedBodySplitsIntoEntries) {
  const std::string long_value(200000, 'v');  // read across several growing reads
  // More names than the first index holds: names from before and after its growth come again.
  std::string names = "n0=0";
  std::vector<Entry> named = {{"n0", "0", 2}, {"n0", "a", 2}};
  for (int i = 1; i < 36; ++i) {
    const std::string number = std::to_string(i);
    names.append("&n").append(number).append("=").append(number);
    named.push_back({"n" + number, number, number.size() + 1});
    if (i == 33) named.push_back({"n33", "b", 2});
  }
  names += "&n0=a&n33=b";
  const struct {
    std::string body;
    std::optional<std::string> content_length;
    std::vector<Entry> entries;
    bool whole = true;  // every declared byte arrived
  } cases[] = {
      {"a=&=x", {}, {{"a", "", 1}, {"", "x", 2}}},
      {"a=1&", {}, {{"a", "1", 2}}},
      {"a=b=d", {}, {{"a", "b=d", 4}}},
      {"a=1&&b=2", {}, {{"a", "1", 2}, {"&b", "2", 2}}},
      {"a=1&b", {}, {{"a", "1", 2}, {"b", "", 1}}},
      {"a=1&b&d=2", {}, {{"a", "1", 2}, {"b&d", "2", 2}}},
      {"x=1&y=2&x=3", {}, {{"x", "1", 2}, {"x", "3", 2}, {"y", "2", 2}}},
      {"a+b%3D=c+d%26", {}, {{"a b=", "c d&", 7}}},  // the length counts raw bytes
      {"a%00b=a%00b", {}, {{"a", "a", 6}}},
      {"h=hello+world%21&p=%2B&s=%2f%2F%7e",
       {},
       {{"h", "hello world!", 15}, {"p", "+", 4}, {"s", "//~", 10}}},
      // A malformed escape stays as it stands, and is never completed past a NUL.
      {"a=a%4&b=%4g&c=%g4&d=%%41&e=%4\0001"s,
       {},
       {{"a", "a%4", 4}, {"b", "%4g", 4}, {"c", "%g4", 4}, {"d", "%A", 5}, {"e", "%4", 5}}},
      {"a=1\0&b=2&c=3"s, {}, {{"a", "1", 3}, {"b", "2", 2}, {"c", "3", 2}}},
      // A body shorter than its declared length reads as if zero-filled; a longer one is cut.
      {"a=1", "10", {{"a", "1", 9}}, false},
      {"a=1&", "10", {{"a", "1", 2}, {"", "", 1}}, false},
      {"a=1&b=2%41", "2147483647", {{"a", "1", 2}, {"b", "2A", 2147483647u - 6 + 1}}, false},
      {"v=" + long_value, {}, {{"v", long_value, 200001}}},
      {names, {}, named},
      {"", {}, {}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(ParsePost(c.body, kUrlEncoded, c.content_length), 0);
    EXPECT_EQ(TableEntries(), c.entries) << ::testing::PrintToString(c.body.substr(0, 20));
    EXPECT_EQ(CgiBodyArrived().whole, c.whole) << ::testing::PrintToString(c.body.substr(0, 20));
  }
  // Memory follows the bytes that arrived: under 16 MiB more address space than the process
  // holds, these names declared as 100,000,000 bytes parse (the sanitizer build sets no limit).
  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  EXPECT_EXIT(CgiLimitAddressSpace((pages * ::sysconf(_SC_PAGESIZE) >> 20) + 16);
              ParsePost(names, kUrlEncoded, "100000000");
              std::exit(TableEntries().size() == named.size() ? 0 : 2),
              ::testing::ExitedWithCode(0), "");
}

}  // namespace
