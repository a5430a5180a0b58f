// The verdicts of the set request on submitted values, from parsed requests.
#include "update/submitted_value.hpp"

#include <gtest/gtest.h>

#include <string>

#include "cgi/cgi_test_support.hpp"

namespace {
using namespace std::string_literals;

using enum SubmittedValue::Verdict;

struct VerdictCase {
  const char* name;
  int type;
  std::string body;
  SubmittedValue::Verdict verdict;
  std::string text;
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

class VerdictOf : public cgi_testing::CgiTest, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(VerdictOf, TheValueOfField) {
  const VerdictCase& c = GetParam();
  ASSERT_EQ(cgi_testing::ParsePost(c.body), 0);
  const SubmittedValue verdict = CheckSubmittedValue(c.type, "oid-p");
  EXPECT_EQ(verdict.verdict, c.verdict);
  EXPECT_EQ(verdict.text, c.text);
}

// A box that decodes to nothing reads as 0 for the number lookup (its raw
// text is not empty), but it is no number: the address is rejected. Found by
// the set request fuzzer (a raw NUL run in place of a box's digits).
INSTANTIATE_TEST_SUITE_P(
    Cases, VerdictOf,
    ::testing::Values(
        VerdictCase{"AddressOfFourBoxes", 9, "0oid-p=192&1oid-p=168&2oid-p=1&3oid-p=20", kAccepted, "192.168.1.20"},
        VerdictCase{"AddressBoxEscapedNul", 9, "0oid-p=192&1oid-p=%00&2oid-p=1&3oid-p=20", kRejected, "192..1.20"},
        VerdictCase{"AddressBoxRawNuls", 9, "0oid-p=192&1oid-p=\0\0\0168&2oid-p=1&3oid-p=20"s, kRejected, "192..1.20"},
        VerdictCase{"AddressBoxDigitsBeforeNul", 9, "0oid-p=192&1oid-p=7%003&2oid-p=1&3oid-p=20", kAccepted,
                    "192.7.1.20"},
        VerdictCase{"IntegerEscapedNulReadsZero", 4, "oid-p=%00", kAccepted, "0"},
        VerdictCase{"DecimalEscapedNulReadsZero", 6, "oid-p=%00", kAccepted, "0.000000"},
        VerdictCase{"TextEscapedNulIsEmpty", 7, "oid-p=%00", kRejected, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
