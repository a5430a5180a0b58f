// The verdicts of the set request on submitted values, by type, from parsed requests.
#include "update/submitted_value.hpp"

#include "cgi/cgi_test_support.hpp"

namespace {
using cgi_testing::CgiTest;
using enum SubmittedValue::Verdict;

using S = const std::string&;
std::string Boxes(S a, S b, S c, S d) { return "0p=" + a + "&1p=" + b + "&2p=" + c + "&3p=" + d; }
const std::string kOffOn = "<option>Off</option><option>On</option>";

// The text is the value applied, or the value the rejection message shows; a number is read from
// the text judged. A field not sent at all is neither; one sent empty keeps its type's verdict. The
// record's option list, if any, follows the oid.
TEST_F(CgiTest, VerdictOnTheFieldOfEachType) {
  const struct {
    int type;
    std::string body;
    SubmittedValue::Verdict verdict;
    std::string text = "";
    std::string list = "";
  } cases[] = {
      // Integers and enumerations: digits only, applied as the number read.
      {4, "p=-5", kRejected, "-5"},
      {4, "p=", kAccepted, "0"},
      {4, "p=2147483648", kRejected, "2147483648"},
      {4, "p=0002147483647", kAccepted, "2147483647"},
      {4, "p=12%003", kRejected, "12"},  // a NUL, anywhere, rejects as any invalid text
      // A choice list takes the value of one of its options, as written, and no other.
      {8, "p=1", kAccepted, "1", kOffOn},
      {4, "p=01", kRejected, "01",
       "<option>A</option><index>0</index><option>B</option><index>1</index>"},
      {8, "p=0", kRejected, "0", "<option>a"},                          // a list of no options
      {4, "p=7", kAccepted, "7", "<min>0</min><max>9</max>" + kOffOn},  // a range comes first
      // Decimals: a finite number and nothing else, applied with six decimals.
      {6, "p=+3+", kAccepted, "3.000000"},
      {6, "p=-0", kAccepted, "-0.000000"},
      {6, "p=0.1234567", kAccepted, "0.123457"},
      {6, "p=1e22", kAccepted, "10000000000000000000000.000000"},
      {6, "p=.", kRejected, "."},
      {6, "p=", kAccepted, "0.000000"},
      {6, "p=1e", kRejected, "1e"},
      {6, "p=1.5%00junk", kRejected, "1.5"},
      {6, "p=1%2C5", kRejected, "1,5"},
      {6, "p=1e999", kRejected, "1e999"},
      {6, "", kNotSubmitted},
      // Addresses: four boxes of 0 to 255, applied as numbers, shown as typed.
      {9, "2p=0", kRejected, "..0."},
      {9, Boxes("010", "00", "0", "255"), kAccepted, "10.0.0.255"},
      {9, Boxes("10", "", "0", "1"), kRejected, "10..0.1"},
      {9, Boxes("010", "0", "0", "256"), kRejected, "010.0.0.256"},
      {9, Boxes("1", "-2", "3", "4"), kRejected, "1.-2.3.4"},
      {9, Boxes("1", "2", "3", "%254%00"), kRejected, "1.2.3.%4"},
      // Any other type: a non-empty text of at most 49 characters.
      {7, "p=", kRejected, ""},
      {7, "p=" + std::string(60, 'x'), kAccepted, std::string(49, 'x')},
      {7, "p=a%2500&p=b", kAccepted, "a%00"},
      {7, "p=a%00b", kRejected, "a"},
      {7, std::string("p=a\0b", 5), kRejected, "a"},
      {0, "p=y", kAccepted, "y"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(cgi_testing::ParsePost(c.body), 0);
    const ParamFile param(FileBytes("<param><oid>p</oid>" + c.list + "</param>"));
    const SubmittedValue verdict = CheckSubmittedValue(KindOf(c.type), param.records()[0], "p");
    EXPECT_EQ(std::tie(verdict.verdict, verdict.text), std::tie(c.verdict, c.text))
        << c.type << " " << c.body << " " << c.list;
  }
}
}  // namespace
