// The parse entry point (the method, the checks made before a body is read),
// the lookups of submitted values, and a request that runs out of memory.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdint>
#include <tuple>

#include "cgi/captured_variables.hpp"
#include "cgi/checked_alloc.hpp"
#include "cgi/cgi_test_support.hpp"

namespace {
using namespace cgi_testing;

// "q": the field comes from the query string, "p" from the body; nullptr: refused.
TEST_F(CgiTest, ChoosesQueryOrBodyByMethodPrefixInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {{"get", "q"},      {"GETX", "q"},   {"posting", "p"},
                                                       {"HEAD", nullptr}, {"GE", nullptr}, {nullptr, nullptr}};
  for (const auto& [method, parsed] : cases) {
    SCOPED_TRACE(method ? method : "(unset)");
    Variables request = {{"QUERY_STRING", "q=1"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", "3"}};
    if (method != nullptr) request.emplace_back("REQUEST_METHOD", method);
    SetCgiVariables(request);
    SetStdin("p=1");
    EXPECT_EQ(CgiParseRequest(), parsed ? 0 : -1);
    EXPECT_EQ(TableEntries(), (parsed ? std::vector<Entry>{{parsed, "1", 2}} : std::vector<Entry>{}));
    EXPECT_EQ(CgiCapturedValue(kQueryStringSlot), std::optional<std::string_view>("q=1"));  // captured anyway
  }
  SetCgiVariables({{"REQUEST_METHOD", "GET"}});
  EXPECT_EQ(CgiParseRequest(), 0);  // no query string: a request without fields
  EXPECT_EQ(TableEntries(), std::vector<Entry>{});
}

TEST_F(CgiTest, ChecksLengthAndTypeBeforeReadingTheBody) {
  const std::optional<std::string> unset;
  const std::string unknown = "Unknown Encoding.\n";
  const struct {
    std::optional<std::string> content_type, content_length;  // nullopt: unset
    int result;                                               // 0: the body was read and parsed
    std::string error = "";                                   // on standard error
  } cases[] = {
      {"Application/X-WWW-Form-UrlEncoded; charset=UTF-8", "3", 0}, {kUrlEncoded, unset, -1}, {unset, "3", -1},
      {kUrlEncoded, "-1", -1}, {kUrlEncoded, "2147483648", -1}, {"multipart/form-data; boundary=xyz", unset, -1},
      // Multipart without a boundary, with an empty one, with one joined to the type.
      {"Multipart/Form-Data", "3", -1}, {"multipart/form-data; boundary=", "3", -1},
      {"multipart/form-data;boundary=xyz", "3", -1}, {"text/plain", "3", -1, unknown},
      {kUrlEncoded.substr(0, 32), "3", -1, unknown}, {"", "3", -1, unknown}};  // an empty variable is present
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content_type.value_or("(unset)") + " / " + c.content_length.value_or("(unset)"));
    Variables request = {{"REQUEST_METHOD", "POST"}};
    if (c.content_type) request.emplace_back("CONTENT_TYPE", *c.content_type);
    if (c.content_length) request.emplace_back("CONTENT_LENGTH", *c.content_length);
    SetCgiVariables(request);
    SetStdin("a=1");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CgiParseRequest(), c.result);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.error);
    EXPECT_EQ(TableEntries(), (c.result == 0 ? std::vector<Entry>{{"a", "1", 2}} : std::vector<Entry>{}));
    char rest[8] = {};
    EXPECT_STREQ(std::fgets(rest, sizeof rest, stdin) ? rest : "", c.result == 0 ? "" : "a=1");  // unread if refused
  }
  SetCgiVariables({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", "3"}});
  ReplaceStdin(::open("/", O_RDONLY));  // reading a directory fails
  EXPECT_EQ(CgiParseRequest(), -1);
  EXPECT_EQ(TableEntries(), std::vector<Entry>{});
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
constexpr CgiResult kOk = CgiSuccess;
constexpr CgiResult kRange = CgiOutOfRange;
const Lookups kNotFound{CgiNotFound, "", CgiNotFound, 77, CgiNotFound, 7.25};

TEST_F(CgiTest, LookupsFindTheFirstValueOfExactlyThatName) {
  EXPECT_EQ(LookUp("oid-1"), kNotFound);  // before any parse
  const std::string long60 = std::string(30, 'x') + std::string(30, 'y');
  ASSERT_EQ(ParsePost("oid-10=10&oid-=-1&OID-1=1&oid-1+=s&empty=&nul=%00&long=" + long60 +
                      "&dup=first&dup=2&num=12abc&spaced=+-7&max=2147483647&big=2147483648"
                      "&below=-2147483649&dbl=2.5&huge=1e999"),
            0);
  const std::pair<const char*, Lookups> cases[] = {
      {"oid-1", kNotFound}, {"empty", {CgiEmpty, "", CgiEmpty, 77, CgiEmpty, 7.25}},
      {"nul", {CgiEmpty, "", kOk, 0, kOk, 0.0}},  // empty as text; its raw length says a value was sent
      {"long", {kOk, long60.substr(0, 49), kOk, 0, kOk, 0.0}}, {"dup", {kOk, "first", kOk, 0, kOk, 0.0}},
      {"num", {kOk, "12abc", kOk, 12, kOk, 12.0}}, {"spaced", {kOk, " -7", kOk, -7, kOk, -7.0}},
      {"max", {kOk, "2147483647", kOk, 2147483647, kOk, 2147483647.0}},
      {"big", {kOk, "2147483648", kRange, 77, kOk, 2147483648.0}},
      {"below", {kOk, "-2147483649", kRange, 77, kOk, -2147483649.0}},
      {"dbl", {kOk, "2.5", kOk, 2, kOk, 2.5}}, {"huge", {kOk, "1e999", kOk, 1, kRange, 7.25}}};
  for (const auto& [name, expected] : cases) EXPECT_EQ(LookUp(name), expected) << name;
  for (int frees = 1; frees <= 2; ++frees) {
    CgiFreeRequest();
    EXPECT_EQ(LookUp("dup"), kNotFound) << frees;
  }
}

// Enough names that the name index is rebuilt many times over.
TEST_F(CgiTest, LookupsFindEveryNameAmongMany) {
  constexpr int kNames = 100000;
  const auto name = [](int i) { return std::string("n").append(std::to_string(i)); };  // GCC 12 warns on "n" + ...
  std::string body = "n=first";
  for (int i = 0; i < kNames; ++i) body.append("&").append(name(i)).append("=").append(std::to_string(i));
  ASSERT_EQ(ParsePost(body.append("&n=last")), 0);
  for (int i = 0; i < kNames; ++i) ASSERT_EQ(LookUp(name(i)), Lookups(kOk, std::to_string(i), kOk, i, kOk, i));
  EXPECT_EQ(LookUp("n"), Lookups(kOk, "first", kOk, 0, kOk, 0.0));
  EXPECT_EQ(LookUp(name(kNames)), kNotFound);
}

#ifndef MEROVANE_SANITIZED
// A request of 2 GiB of zeros under the program's own limit of its present
// size and `headroom_mib` more; its child gets the previous limit back.
[[noreturn]] void ParseUnderLimit(const std::string& content_length, const char* input, std::size_t headroom_mib) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", content_length}});
  ReplaceStdin(::open(input, O_RDONLY));
  rlimit before{}, now{}, inherited{};
  unsigned long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (::getrlimit(RLIMIT_AS, &before) != 0 || statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) {
    std::_Exit(3);
  }
  std::set_new_handler(nullptr);  // the parse must install its own
  CgiLimitAddressSpace(pages * static_cast<unsigned long>(::sysconf(_SC_PAGESIZE)) / (1 << 20) + headroom_mib);
  if (::getrlimit(RLIMIT_AS, &now) != 0 || now.rlim_cur == before.rlim_cur || now.rlim_max != before.rlim_max) {
    std::_Exit(4);
  }
  const pid_t child = ::fork();
  if (child == 0) ::_exit(::getrlimit(RLIMIT_AS, &inherited) == 0 && inherited.rlim_cur == before.rlim_cur ? 0 : 5);
  int status = -1;
  if (::waitpid(child, &status, 0) != child || status != 0) std::_Exit(6);
  std::exit(CgiParseRequest());
}

TEST(MemoryLimitDeathTest, EndsOnTheMessageAndCommitsNothingForBytesThatNeverCame) {
  EXPECT_EXIT(ParseUnderLimit("2147483647", "/dev/zero", 64), ::testing::ExitedWithCode(1), "^Memory exhausted\\.\n$");
  EXPECT_EXIT(ParseUnderLimit("2147483647", "/dev/null", 256), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
