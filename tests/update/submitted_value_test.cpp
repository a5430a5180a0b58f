// The set request's lookup of a submitted value in a parsed request (each kind's judge: the kinds
// table's test).
#include "update/submitted_value.hpp"

#include "cgi/cgi_test_support.hpp"

namespace {
using cgi_testing::CgiTest;
using enum SubmittedValue::Verdict;

// A field not sent at all is neither accepted nor rejected; one sent empty keeps its kind's
// verdict. The first of two fields counts, at most 49 characters of it, up to a NUL byte.
TEST_F(CgiTest, LooksUpTheFieldInTheParsedRequest) {
  const std::tuple<int, std::string, SubmittedValue::Verdict, std::string> cases[] = {
      {4, "", kNotSubmitted, ""},
      {4, "p=", kAccepted, "0"},
      {7, "p=" + std::string(60, 'x'), kAccepted, std::string(49, 'x')},
      {7, "p=a%2500&p=b", kAccepted, "a%00"},
      {7, "p=a%00b", kRejected, "a"},
      {7, std::string("p=a\0b", 5), kRejected, "a"},
  };
  const ParamFile param(FileBytes("<param><oid>p</oid></param>"));
  for (const auto& [type, body, verdict, text] : cases) {
    ASSERT_EQ(cgi_testing::ParsePost(body), 0);
    const SubmittedValue judged = CheckSubmittedValue(KindOf(type), param.records()[0], "p");
    EXPECT_EQ(std::tie(judged.verdict, judged.text), std::tie(verdict, text)) << body;
  }
}
}  // namespace
