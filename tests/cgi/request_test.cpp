// The parse entry point (capture of the CGI variables, the method choice, the
// checks made before a body is read) and the lookups of submitted values.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

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
  const struct {
    std::optional<std::string> content_type, content_length;  // nullopt: unset
    int result;                                               // 0: the body was read and parsed
    std::string error;                                        // on standard error
  } cases[] = {
      {"Application/X-WWW-Form-UrlEncoded; charset=UTF-8", "3", 0, ""},
      {kUrlEncoded, unset, -1, ""}, {unset, "3", -1, ""}, {kUrlEncoded, "-1", -1, ""},
      {kUrlEncoded, "2147483648", -1, ""}, {"multipart/form-data; boundary=xyz", unset, -1, ""},
      // Multipart without a boundary, with an empty one, with one joined to the type.
      {"Multipart/Form-Data", "3", -1, ""}, {"multipart/form-data; boundary=", "3", -1, ""},
      {"multipart/form-data;boundary=xyz", "3", -1, ""},
      {"text/plain", "3", -1, "Unknown Encoding.\n"}, {kUrlEncoded.substr(0, 32), "3", -1, "Unknown Encoding.\n"},
      {"", "3", -1, "Unknown Encoding.\n"}};  // an empty variable is present
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
Lookups LookUp(const char* name) {
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
  const std::string long60 = std::string(30, 'x') + std::string(30, 'y');
  ASSERT_EQ(ParsePost("oid-10=10&oid-=-1&OID-1=1&empty=&nul=%00&long=" + long60 +
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
}

TEST_F(CgiTest, NothingIsFoundBeforeTheParseOrAfterTheFree) {
  EXPECT_EQ(LookUp("t"), kNotFound);
  ASSERT_EQ(ParsePost("t=1"), 0);
  for (int frees = 1; frees <= 2; ++frees) {
    CgiFreeRequest();
    EXPECT_EQ(LookUp("t"), kNotFound) << frees;
  }
}

#if !defined(MEROVANE_SANITIZED) && !defined(MEROVANE_TEST_EMULATED)
// Limits this (child) process to the address space it uses now and `headroom`
// more. The sanitizer build's shadow memory cannot live under such a limit,
// and qemu-user does not apply it to the program it emulates.
void LimitAddressSpace(rlim_t headroom) {
  unsigned long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(3);
  std::fclose(statm);
  const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
  const rlimit bound{limit, limit};
  if (::setrlimit(RLIMIT_AS, &bound) != 0) std::_Exit(3);
}

// The 2 GiB declared length of the URL-encoded table's row, under a 256 MiB limit.
TEST(HugeDeclaredLengthDeathTest, CommitsNoMemoryForBytesThatNeverCame) {
  EXPECT_EXIT((LimitAddressSpace(256 << 20), std::exit(ParsePost("a=1&b=2%41", kUrlEncoded, "2147483647"))),
              ::testing::ExitedWithCode(0), "");
}

TEST(MemoryExhaustionDeathTest, EndsTheProcessWithTheMessage) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", "2147483647"}});
  ReplaceStdin(::open("/dev/zero", O_RDONLY));
  // No new-handler before the parse: it must install its own.
  EXPECT_EXIT((std::set_new_handler(nullptr), LimitAddressSpace(64 << 20), CgiParseRequest(), std::exit(0)),
              ::testing::ExitedWithCode(1), "^Memory exhausted\\.\n$");
}

// The program's own limit: a soft one that ends the request on the message,
// while a child the request forks (a change program) gets the previous back.
TEST(MemoryExhaustionDeathTest, TheProgramsLimitSparesItsChildren) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", "2147483647"}});
  ReplaceStdin(::open("/dev/zero", O_RDONLY));
  const auto limited_request = [] {
    rlimit before{};
    ::getrlimit(RLIMIT_AS, &before);
    unsigned long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(3);
    CgiLimitAddressSpace(pages * static_cast<unsigned long>(::sysconf(_SC_PAGESIZE)) / (1 << 20) + 64);
    rlimit now{};
    if (::getrlimit(RLIMIT_AS, &now) != 0 || now.rlim_cur == before.rlim_cur || now.rlim_max != before.rlim_max) {
      std::_Exit(4);
    }
    const pid_t child = ::fork();
    if (child == 0) {
      rlimit inherited{};
      ::getrlimit(RLIMIT_AS, &inherited);
      ::_exit(inherited.rlim_cur == before.rlim_cur ? 0 : 5);
    }
    int status = -1;
    if (::waitpid(child, &status, 0) != child || status != 0) std::_Exit(6);
    std::exit(CgiParseRequest());
  };
  EXPECT_EXIT(limited_request(), ::testing::ExitedWithCode(1), "^Memory exhausted\\.\n$");
}
#endif

}  // namespace
