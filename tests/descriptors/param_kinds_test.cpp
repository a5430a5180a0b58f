// The table of parameter kinds, row by row: the cell each kind writes for a described record,
// whether the form sends a field for it, and the set request's verdict on what is sent.
#include "descriptors/param_kinds.hpp"

#include <optional>

#include "cgi/cgi_test_support.hpp"
#include "e2e/harness/pages.hpp"
#include "response/response_output.hpp"
#include "update/submitted_value.hpp"

namespace {
using Strings = std::vector<std::string>;
using Verdicts = Strings;  // pairs: what is sent, the verdict
using S = const std::string&;
using enum SubmittedValue::Verdict;
using testing_support::TextBox;
using namespace std::string_literals;

// One box per group, a dot between boxes, then the message script.
std::string AddressBoxes(const Strings& groups) {
  std::string html;
  for (std::size_t box = 0; box < groups.size(); ++box) {
    const std::string id = std::to_string(box) + "oid-p";
    html +=
        std::string(box == 0 ? "" : "&nbsp;.&nbsp;\r\n") +
        "<input maxlength=\"3\" onchange=\"return validateIP('oid-p', true);\" onkeypress=\"return "
        "allowOnly('0123456789', event);\" class=\"formInput\" type=\"textbox\" size=\"3\" id=\"" +
        id + "\" name=\"" + id + "\" value=\"" + groups[box] + "\"/>\r\n";
  }
  return html + "<script language=\"javascript\">writeMessageDiv('oid-p');</script>";
}
// Radio buttons or a drop-down list of oid p from label/value pairs (as
// written), the options whose value is `marked` marked.
std::string Choices(bool drop_down, const Strings& pairs, S marked = "") {
  std::string html = drop_down ? "<select class=\"formInput\" name=\"oid-p\">" : "";
  for (std::size_t i = 0; i < pairs.size(); i += 2) {
    const std::string mark = pairs[i + 1] == marked
                                 ? (drop_down ? "\" selected=\"true\"" : "\" checked=\"true\"")
                                 : "\"";
    html += drop_down ? "<option value=\"" + pairs[i + 1] + mark + ">" + pairs[i] + "</option>"
                      : "<input type=\"radio\" name=\"oid-p\" value=\"" + pairs[i + 1] + mark +
                            "/>" + pairs[i] + "&nbsp;&nbsp;";
  }
  return drop_down ? html + "</select>" : html;
}
std::string Boxes(S a, S b, S c, S d) { return "0p=" + a + "&1p=" + b + "&2p=" + c + "&3p=" + d; }

// Each row a record of oid p (its type, then `list`) whose value is `value`: the cell its kind
// writes (unchecked when none is given), which sends a field when it holds a named input, and the
// set request's verdict on each URL-encoded body sent, in pairs: "+" and the text applied, "-" and
// the text the rejection shows, "" when nothing is (as for no field at all). The first of two
// fields counts, at most 49 characters of it, up to a NUL (raw or decoded), which rejects it.
class ParamKinds : public cgi_testing::CgiTest {};
TEST_F(ParamKinds, EachKindWritesItsCellAndJudgesWhatIsSent) {
  const std::string off_on = "<option>Off</option><option>On</option>",
                    range = "<min>0</min><max>9</max>", label256(256, 'L'), x254(254, 'x');
  const Strings off_on_values = {"Off", "0", "On", "1"};
  const struct {
    int type;
    std::string list, value;
    std::optional<std::string> cell;
    Verdicts judged = {};
  } cases[] = {
      // Integers: digits only, applied as the number read. A range comes first: no input, and no
      // choice; <min> alone is no range. A choice list takes the value of an option as written.
      {4, "", "7", TextBox("p", "7"),
       Verdicts{"p=-5", "--5", "p=", "+0", "p=2147483648", "-2147483648", "p=0002147483647",
                "+2147483647", "p=12\0x"s, "-12"}},
      {4, range + off_on, "5", "", Verdicts{"p=7", "+7"}},
      {4, "<min>0</min><option><x></option><index>%5</index><option>y</option><index>5</index>",
       "5", Choices(false, {"&lt;x&gt;", "&#37;5", "y", "5"}, "5"), Verdicts{"p=05", "-05"}},
      // Enumerations: as integers, but only from an option list; the form needs the options.
      {8, off_on + "<display>2</display>", "9", Choices(true, off_on_values),
       Verdicts{"p=1", "+1"}},
      // Three options but two indexes: numbered, the index texts ignored.
      {8, "<option>a</option><index>7</index><option>b</option><index>8</index><option>c</option>",
       "1", Choices(true, {"a", "0", "b", "1", "c", "2"}, "1"), Verdicts{"p=7", "-7"}},
      {8, "<option>a", "2", {}, Verdicts{"p=0", "-0"}},  // a list of no options
      {8, "<option>" + label256 + "</option>", "0", Choices(false, {label256.substr(1), "0"}, "0")},
      {8, "", "2", TextBox("p", "2"), Verdicts{"p=x", "-x"}},
      {8, "<option>a</option><index>1</index><option>b</option> <index>2</index>", "2",
       TextBox("p", "2")},  // no usable list
      // Option texts escaped; marked when equal to the value (as radios above).
      {8,
       "<option>&</option><index>\"1</index><option>b</option><index>1</index><option>c</"
       "option><index>10</index>",
       "1", Choices(true, {"&amp;", "&quot;1", "b", "1", "c", "10"}, "1"), Verdicts{"p=10", "+10"}},
      // Decimals: a finite number and nothing else, applied with six decimals.
      {6, range, "5", "", Verdicts{"p=1e22", "+10000000000000000000000.000000"}},
      {6, "", "2.5", TextBox("p", "2.5"),
       Verdicts{"p= 3 ", "+3.000000", "p=-0", "+-0.000000", "p=0.1234567", "+0.123457",
                "p=", "+0.000000", "p=.", "-.", "p=1e", "-1e", "p=1,5", "-1,5", "p=1e999", "-1e999",
                "p=1.5\0junk"s, "-1.5"}},
      // Addresses: four boxes of 0 to 255 each, each group cut to three characters; applied as
      // numbers, shown as typed.
      {9, "", "1.2.3.4.5.6.7.8.9.10.11",
       AddressBoxes({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}),
       Verdicts{Boxes("010", "00", "0", "255"), "+10.0.0.255", Boxes("10", "", "0", "1"),
                "-10..0.1", Boxes("010", "0", "0", "256"), "-010.0.0.256",
                Boxes("1", "-2", "3", "4"), "-1.-2.3.4", Boxes("1", "2", "3", "4\0x"s),
                "-1.2.3.4"}},
      {9, "", "<a>%..", AddressBoxes({"&lt;a&gt;", "", ""}), Verdicts{"2p=0", "-..0."}},
      // Texts: not empty; the value escaped, never cut by the escaping.
      {7, "", x254 + "&", TextBox("p", x254 + "&amp;"),
       Verdicts{"p=", "-", "p=a", "+a", "p=a\0b"s, "-a", "p=a%00b", "-a", "p=a%2500&p=b", "+a%00",
                "p=" + std::string(60, 'x'), "+" + std::string(49, 'x')}},
      // Every other type: shown as text, escaped ("/set" stores any text for it), never sent.
      {5, "", "a<b", "a&lt;b", Verdicts{"p=y", "+y"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + c.list + " " + c.value);
    const ParamFile file(FileBytes("<param><oid>p</oid><type>" + std::to_string(c.type) +
                                   "</type>" + c.list + "</param>"));
    const ParamRecord& record = file.records()[0];
    const ParamKind& kind = KindOf(TypeOf(record));
    ParamDescriptor param = DescribeParam(record);
    param.value = c.value;
    const response::Capture cell;
    kind.write_cell(param);
    EXPECT_EQ(cell.Text(), c.cell.value_or(cell.Text()));
    EXPECT_TRUE(!c.cell ||
                kind.sends_field(param) == (c.cell->find(" name=") != std::string::npos));
    EXPECT_EQ(kind.needs_options, c.type == kEnumerationType);
    const auto judge = [&](S body) {
      EXPECT_EQ(cgi_testing::ParsePost(body), 0);
      const SubmittedValue judged = CheckSubmittedValue(kind, record, "p");
      if (judged.verdict == kNotSubmitted) return judged.text;
      return (judged.verdict == kAccepted ? "+" : "-") + judged.text;
    };
    EXPECT_EQ(judge(""), "");
    for (std::size_t i = 0; i < c.judged.size(); i += 2)
      EXPECT_EQ(judge(c.judged[i]), c.judged[i + 1]) << c.judged[i];
  }
}
}  // namespace
