// The parse entry point: capture of the CGI variables, the method choice,
// the checks made before a body is read, and the entry interface that the
// body parsers fill.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cgi/captured_variables.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/cgi_test_support.hpp"

namespace {
using namespace cgi_testing;

class RequestMethod : public CgiTest, public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

// The second of each pair: the field found, "q" from the query string, "p"
// from the body, or none for a refused method (nullptr: REQUEST_METHOD unset).
TEST_P(RequestMethod, ChoosesQueryOrBodyByPrefixInAnyCase) {
  const auto [method, parsed] = GetParam();
  Variables request = {{"QUERY_STRING", "q=1"}, {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                       {"CONTENT_LENGTH", "3"}};
  if (method != nullptr) request.emplace_back("REQUEST_METHOD", method);
  SetCgiVariables(request);
  SetStdin("p=1");
  EXPECT_EQ(CgiParseRequest(), parsed ? 0 : -1);
  EXPECT_EQ(TableEntries(), (parsed ? std::vector<Entry>{{parsed, "1", 2}} : std::vector<Entry>{}));
  EXPECT_EQ(CgiCapturedValue(kQueryStringSlot), std::optional<std::string_view>("q=1"));  // captured anyway
}

INSTANTIATE_TEST_SUITE_P(Prefixes, RequestMethod,
                         ::testing::Values(std::pair("GET", "q"), std::pair("get", "q"), std::pair("GETX", "q"),
                                           std::pair("post", "p"), std::pair("posting", "p"),
                                           std::pair("HEAD", nullptr), std::pair("GE", nullptr),
                                           std::pair("", nullptr), std::pair(nullptr, nullptr)));

TEST_F(CgiTest, CapturesCopiesAndCountsAnEmptyVariableAsPresent) {
  SetCgiVariables({{"REQUEST_METHOD", "HEAD"}, {"HTTP_COOKIE", ""}, {"SERVER_SOFTWARE", "srv"}, {"HTTP_ACCEPT", "x"}});
  EXPECT_EQ(CgiParseRequest(), -1);
  SetCgiVariables({});
  EXPECT_EQ(CgiCapturedValue(0), std::optional<std::string_view>(""));
  EXPECT_EQ(CgiCapturedValue(1), std::nullopt);
  EXPECT_EQ(CgiCapturedValue(13), std::optional<std::string_view>("HEAD"));
  EXPECT_EQ(CgiCapturedValue(18), std::optional<std::string_view>("srv"));
  EXPECT_EQ(CgiCurrentEnvironment()->present_count, 3u);  // HTTP_ACCEPT is not one of them
}

struct BodyCase {
  const char* label;
  std::optional<std::string> content_type;    // nullopt: unset
  std::optional<std::string> content_length;  // nullopt: unset
  int result;                                 // 0: the body was read and parsed
  std::string error;                          // on standard error
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.label; }

class BodyDispatch : public CgiTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(BodyDispatch, ChecksLengthAndTypeBeforeReading) {
  const BodyCase& c = GetParam();
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

const std::string kUrlEncoded = "application/x-www-form-urlencoded";
INSTANTIATE_TEST_SUITE_P(
    Refusals, BodyDispatch,
    ::testing::Values(BodyCase{"AnyCaseWithCharset", "Application/X-WWW-Form-UrlEncoded; charset=UTF-8", "3", 0, ""},
                      BodyCase{"LengthUnset", kUrlEncoded, std::nullopt, -1, ""},
                      BodyCase{"TypeUnset", std::nullopt, "3", -1, ""},
                      BodyCase{"NegativeLength", kUrlEncoded, "-1", -1, ""},
                      BodyCase{"LengthBeyond32Bits", kUrlEncoded, "2147483648", -1, ""},
                      BodyCase{"LengthOfElevenDigits", kUrlEncoded, "99999999999", -1, ""},
                      BodyCase{"MultipartWithoutBoundary", "Multipart/Form-Data", "3", -1, ""},
                      BodyCase{"MultipartLengthUnset", "multipart/form-data; boundary=xyz", std::nullopt, -1, ""},
                      BodyCase{"TextPlain", "text/plain", "3", -1, "Unknown Encoding.\n"},
                      BodyCase{"TypeCutShort", kUrlEncoded.substr(0, 32), "3", -1, "Unknown Encoding.\n"}));

TEST_F(CgiTest, AReadErrorParsesNothing) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", "3"}});
  SetStdinPath("/");  // reading a directory fails
  EXPECT_EQ(CgiParseRequest(), -1);
  EXPECT_EQ(TableEntries(), std::vector<Entry>{});
}

TEST_F(CgiTest, EntriesFromAnotherParserKeepTheirBytes) {
  FormEntry entry{"file", std::string("7\0x", 3), 3, 4, "octet-stream", 2, "a.bin", false};
  EXPECT_EQ(CgiAppendEntry(entry), -1);  // no request
  CgiCreateEnvironment();
  EXPECT_EQ(CgiAppendEntry(entry), -1);  // no table yet
  ASSERT_EQ(CgiCreateCollectionTable(1), 0);
  ASSERT_EQ(CgiAppendEntry(entry), 0);
  ASSERT_EQ(CgiAppendEntry(CgiNewEntry()), 0);
  std::ptrdiff_t index = 5;
  EXPECT_EQ(CgiFindCollection("other", index), 1);
  EXPECT_EQ(index, 2);  // the collection count
  const FormEntry* first = nullptr;
  ASSERT_EQ(CgiFirstEntry("file", first), 0);
  EXPECT_EQ(std::tie(first->value, first->subtype, first->file_name),
            std::tie(entry.value, entry.subtype, entry.file_name));
  std::int32_t number = 0;
  EXPECT_EQ(CgiGetLong("", number, 9), CgiEmpty);  // a multipart empty value has length 0
}

// A 2 GiB declared length with a 10-byte body: entries as over the
// zero-filled length. True when they are right.
bool HugeDeclaredLengthParses() {
  const int result = ParsePost("a=1&b=2%41", "2147483647");
  const std::vector<Entry> expected = {{"a", "1", 2}, {"b", "2A", 2147483647u - 6 + 1}};
  const bool right = result == 0 && TableEntries() == expected;
  CgiFreeRequest();
  return right;
}

TEST(HugeDeclaredLength, ParsesAsZeroFilled) { EXPECT_TRUE(HugeDeclaredLengthParses()); }

#ifndef MEROVANE_SANITIZED
// Limits this (child) process to the address space it uses now and `headroom`
// more. The sanitizer build's shadow memory cannot live under such a limit.
void LimitAddressSpace(rlim_t headroom) {
  unsigned long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(3);
  std::fclose(statm);
  const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
  const rlimit bound{limit, limit};
  if (::setrlimit(RLIMIT_AS, &bound) != 0) std::_Exit(3);
}

TEST(HugeDeclaredLengthDeathTest, CommitsNoMemoryForBytesThatNeverCame) {
  EXPECT_EXIT((LimitAddressSpace(256 << 20), std::exit(HugeDeclaredLengthParses() ? 0 : 2)),
              ::testing::ExitedWithCode(0), "");
}

TEST(MemoryExhaustionDeathTest, EndsTheProcessWithTheMessage) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", kUrlEncoded}, {"CONTENT_LENGTH", "2147483647"}});
  SetStdinPath("/dev/zero");
  // No new-handler before the parse: it must install its own.
  EXPECT_EXIT((std::set_new_handler(nullptr), LimitAddressSpace(64 << 20), CgiParseRequest(), std::exit(0)),
              ::testing::ExitedWithCode(1), "^Memory exhausted\\.\n$");
}
#endif

}  // namespace
