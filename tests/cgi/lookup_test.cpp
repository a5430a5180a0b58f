// Lookups of submitted values by name: text, 32-bit integer, double.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cgi/cgi_test_support.hpp"

namespace {
using namespace cgi_testing;

const std::string kLong60 = std::string(30, 'x') + std::string(30, 'y');
const std::string kForm = "oid-10=10&oid-=-1&OID-1=1&empty=&nul=%00&long=" + kLong60 +
                          "&dup=first&dup=2&num=12abc&spaced=+-7&max=2147483647&big=2147483648"
                          "&eleven=99999999999&below=-2147483649&dbl=2.5&huge=1e999&tiny=1e-999";

// One field looked up three ways: as text (capacity 50), as an integer
// (fallback 77) and as a double (fallback 7.25).
struct LookupCase {
  const char* name;
  CgiResult text_result;
  std::string text;
  CgiResult long_result;
  std::int32_t number;
  CgiResult double_result;
  double decimal;
};
void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class Lookup : public CgiTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(Lookup, FindsTheFirstValueOfExactlyThatName) {
  ASSERT_EQ(ParsePost(kForm), 0);
  const LookupCase& c = GetParam();
  std::string text = "stale";
  std::int32_t number = 12345;
  double decimal = 12345.0;
  EXPECT_EQ(CgiGetString(c.name, text, 50), c.text_result);
  EXPECT_EQ(text, c.text);
  EXPECT_EQ(CgiGetLong(c.name, number, 77), c.long_result);
  EXPECT_EQ(number, c.number);
  EXPECT_EQ(CgiGetDouble(c.name, decimal, 7.25), c.double_result);
  EXPECT_EQ(decimal, c.decimal);
}

constexpr CgiResult kOk = CgiSuccess;
constexpr CgiResult kRange = CgiOutOfRange;
INSTANTIATE_TEST_SUITE_P(
    Fields, Lookup,
    ::testing::Values(LookupCase{"oid-1", CgiNotFound, "", CgiNotFound, 77, CgiNotFound, 7.25},
                      LookupCase{"oid-10", kOk, "10", kOk, 10, kOk, 10.0},
                      LookupCase{"oid-", kOk, "-1", kOk, -1, kOk, -1.0},
                      LookupCase{"OID-1", kOk, "1", kOk, 1, kOk, 1.0},
                      LookupCase{"empty", CgiEmpty, "", CgiEmpty, 77, CgiEmpty, 7.25},
                      // Empty as text; its raw length says a value was sent.
                      LookupCase{"nul", CgiEmpty, "", kOk, 0, kOk, 0.0},
                      LookupCase{"long", kOk, kLong60.substr(0, 49), kOk, 0, kOk, 0.0},
                      LookupCase{"dup", kOk, "first", kOk, 0, kOk, 0.0},
                      LookupCase{"num", kOk, "12abc", kOk, 12, kOk, 12.0},
                      LookupCase{"spaced", kOk, " -7", kOk, -7, kOk, -7.0},
                      LookupCase{"max", kOk, "2147483647", kOk, 2147483647, kOk, 2147483647.0},
                      LookupCase{"big", kOk, "2147483648", kRange, 77, kOk, 2147483648.0},
                      LookupCase{"eleven", kOk, "99999999999", kRange, 77, kOk, 99999999999.0},
                      LookupCase{"below", kOk, "-2147483649", kRange, 77, kOk, -2147483649.0},
                      LookupCase{"dbl", kOk, "2.5", kOk, 2, kOk, 2.5},
                      LookupCase{"huge", kOk, "1e999", kOk, 1, kRange, 7.25},
                      LookupCase{"tiny", kOk, "1e-999", kOk, 1, kRange, 7.25}));

TEST_F(CgiTest, TextIsCutToTheCapacity) {
  ASSERT_EQ(ParsePost("t=hello"), 0);
  std::string text;
  EXPECT_EQ(CgiGetString("t", text, 3), CgiSuccess);
  EXPECT_EQ(text, "he");
  EXPECT_EQ(CgiGetString("t", text, 1), CgiEmpty);  // no room for a character
}

TEST_F(CgiTest, NothingIsFoundBeforeTheParseOrAfterTheFree) {
  for (int round = 0; round < 3; ++round) {  // before; after the free; after a second free
    std::string text = "stale";
    std::int32_t number = 1;
    double decimal = 1.0;
    EXPECT_EQ(CgiGetString("t", text, 50), CgiNotFound);
    EXPECT_EQ(text, "");
    EXPECT_EQ(CgiGetLong("t", number, -3), CgiNotFound);
    EXPECT_EQ(number, -3);
    EXPECT_EQ(CgiGetDouble("t", decimal, -3.5), CgiNotFound);
    EXPECT_EQ(decimal, -3.5);
    if (round == 0) {
      ASSERT_EQ(ParsePost("t=1"), 0);
    }
    CgiFreeRequest();
  }
}

}  // namespace
