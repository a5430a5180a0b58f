// The parse entry point (method, checks before a body is read) and the lookups of submitted values.
#include <fcntl.h>

#include <cstdint>
#include <tuple>

#include "cgi/captured_variables.hpp"
#include "cgi/cgi_test_support.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;

// Every request brings the query "q=1" and the body "p=1": it gives the field
// "q" (from the query), "p" (from the body), or nothing (refused, body unread);
// a POST's CONTENT_LENGTH reads only in digits.
TEST_F(CgiTest, TakesQueryOrBodyByMethodAndChecksLengthAndTypeFirst) {
  const std::optional<std::string> no, multipart = "multipart/form-data; boundary=xyz";
  const std::string unknown = "Unknown Encoding.\n";
  using Text = std::optional<std::string>;  // nullopt: unset
  using enum CgiBodyArrival::Length;
  const struct {
    Text method, content_type, content_length;
    const char* field;
    std::string error = "";
    CgiBodyArrival::Length length = kDigits;
  } cases[] = {
      {"get", no, no, "q"},
      {"posting", kUrlEncoded, "3", "p"},
      {"GE", kUrlEncoded, "3", nullptr},
      {no, kUrlEncoded, "3", nullptr},
      {"POST", "Application/X-WWW-Form-UrlEncoded; charset=UTF-8", "3", "p"},
      {"POST", kUrlEncoded, no, nullptr, "", kAbsent},
      {"POST", no, "3", nullptr},
      {"POST", kUrlEncoded, "-1", nullptr, "", kNotDigits},
      {"POST", kUrlEncoded, " 3", nullptr, "", kNotDigits},
      {"POST", no, "x", nullptr, "", kNotDigits},
      {"POST", kUrlEncoded, "2147483648", nullptr, "", kNotDigits},
      {"POST", multipart, no, nullptr, "", kAbsent},
      {"POST", "Multipart/Form-Data", "3", nullptr},  // boundary: none, empty
      {"POST", multipart->substr(0, 30), "3", nullptr},
      {"POST", kUrlEncoded.substr(0, 32), "3", nullptr, unknown},
      {"POST", "", "3", nullptr, unknown},  // an empty variable is present
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method.value_or("-") + " " + c.content_type.value_or("-") + " " +
                 c.content_length.value_or("-"));
    Variables request = {{"QUERY_STRING", "q=1"}};
    if (c.method) request.emplace_back("REQUEST_METHOD", *c.method);
    if (c.content_type) request.emplace_back("CONTENT_TYPE", *c.content_type);
    if (c.content_length) request.emplace_back("CONTENT_LENGTH", *c.content_length);
    SetCgiVariables(request);
    SetStdin("p=1");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CgiParseRequest(), c.field ? 0 : -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.error);
    EXPECT_EQ(CgiBodyArrived().length, c.length);
    EXPECT_EQ(CgiBodyArrived().whole, c.length == kDigits);
    EXPECT_EQ(TableEntries(),
              (c.field ? std::vector<Entry>{{c.field, "1", 2}} : std::vector<Entry>{}));
    EXPECT_EQ(CgiCapturedValue(kQueryStringSlot),
              std::optional<std::string_view>("q=1"));  // captured anyway
    EXPECT_EQ(::lseek(STDIN_FILENO, 0, SEEK_CUR), c.field && *c.field == 'p' ? 3 : 0);
  }
  SetCgiVariables({{"REQUEST_METHOD", "GET"}});
  EXPECT_EQ(CgiParseRequest(), 0);  // no query string: a request without fields
  EXPECT_EQ(TableEntries(), std::vector<Entry>{});
  SetCgiVariables(
      {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", "3"}});
  ReplaceStdin(::open("/", O_RDONLY));  // reading a directory fails
  EXPECT_EQ(CgiParseRequest(), -1);
  EXPECT_EQ(TableEntries(), std::vector<Entry>{});
  // A non-blocking input whose data comes late is waited for.
  const std::jthread late = SetStdinInPieces("", "p=1", O_NONBLOCK);
  EXPECT_EQ(CgiParseRequest(), 0);
  EXPECT_EQ(TableEntries(), (std::vector<Entry>{{"p", "1", 2}}));
}

// One field looked up as text (capacity 50), as an integer (fallback 77) and
// as a double (fallback 7.25): each result code and value.
using Lookups = std::tuple<CgiResult, std::string, CgiResult, std::int32_t, CgiResult, double>;
Lookups LookUp(const std::string& name) {
  Lookups found{CgiSuccess, "stale", CgiSuccess, 12345, CgiSuccess, 12345.0};
  auto& [text_result, text, long_result, number, double_result, decimal] = found;
  text_result = CgiGetString(name, text, 50);
  long_result = CgiGetLong(name, number, 77);
  double_result = CgiGetDouble(name, decimal, 7.25);
  return found;
}
constexpr CgiResult kOk = CgiSuccess, kRange = CgiOutOfRange;
const Lookups kNotFound{CgiNotFound, "", CgiNotFound, 77, CgiNotFound, 7.25};

TEST_F(CgiTest, LookupsFindTheFirstValueOfExactlyThatName) {
  ASSERT_EQ(ParsePost("oid-10=10&oid-=-1&OID-1=1&oid-1+=s&empty=&nul=%00&dup=first&dup=2&num=12abc&"
                      "spaced=+-7&big=2147483648&below=-2147483649&dbl="
                      "2.5&huge=1e999"),
            0);
  const std::pair<const char*, Lookups> cases[] = {
      {"oid-1", kNotFound},
      {"empty", {CgiEmpty, "", CgiEmpty, 77, CgiEmpty, 7.25}},
      {"nul",
       {CgiEmpty, "", kOk, 0, kOk, 0.0}},  // empty as text; its raw length says a value was sent
      {"dup", {kOk, "first", kOk, 0, kOk, 0.0}},
      {"num", {kOk, "12abc", kOk, 12, kOk, 12.0}},
      {"spaced", {kOk, " -7", kOk, -7, kOk, -7.0}},
      {"big", {kOk, "2147483648", kRange, 77, kOk, 2147483648.0}},
      {"below", {kOk, "-2147483649", kRange, 77, kOk, -2147483649.0}},
      {"dbl", {kOk, "2.5", kOk, 2, kOk, 2.5}},
      {"huge", {kOk, "1e999", kOk, 1, kRange, 7.25}}};
  for (const auto& [name, expected] : cases) EXPECT_EQ(LookUp(name), expected) << name;
  CgiFreeRequest();                     // and again on tear-down
  EXPECT_EQ(LookUp("dup"), kNotFound);  // as before any parse
  // A part's data is read as text up to its first NUL.
  ASSERT_EQ(
      ParsePost("--xyz\r\nContent-Disposition: form-data; name=\"p\"\r\n\r\n7\0x\r\n--xyz--\r\n"s,
                "multipart/form-data; boundary=xyz"),
      0);
  EXPECT_EQ(LookUp("p"), (Lookups{kOk, "7", kOk, 7, kOk, 7.0}));
}

}  // namespace
