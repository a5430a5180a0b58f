// The menu form renderer on a sandboxed card's descriptor files: option lists, choice widgets, HTML
// escaping.
#include "descriptors/menu_form.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "e2e/harness/pages.hpp"
#include "e2e/harness/sandbox.hpp"
#include "response/response_output.hpp"

namespace {
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using S = const std::string&;
using testing_support::FormRow, testing_support::TextBox;

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
std::string MenuOf(const Strings& oids) {  // the oid lines of menu "0", one per oid
  std::string menu = "<menu><mid>0</mid><name>Main</name>\n";
  for (const std::string& oid : oids) menu += "<oid>" + oid + "</oid>\n";
  return menu + "</menu>\n";
}
std::string Param(S oid, S name, S type,
                  S more = "") {  // a param.xml record whose value file is /v/<oid>
  return "<param><oid>" + oid + "</oid><name>" + name + "</name><type>" + type +
         "</type><file>../../card/v/" + oid + "</file>" + more + "</param>\n";
}

class MenuForm : public ::testing::Test {
 protected:
  void SetUp() override { fs::current_path(sandbox_.WorkDir()), OpenErrorLog(); }
  void TearDown() override { CloseErrorLog(), fs::current_path(previous_dir_); }
  void Write(S card_path, std::string_view text) const { sandbox_.WriteCardFile(card_path, text); }
  std::string Render(int expected_result = 0) const {
    response::Capture capture;
    EXPECT_EQ(RenderMenuForm(), expected_result);
    return capture.Text();
  }
  // The log is appended to, so once read it is cut back to nothing.
  std::string TakeErrorLog() const {
    const std::string text = sandbox_.ReadFile(sandbox_.CardPath("/tmp/wwwError.txt"));
    fs::resize_file(sandbox_.CardPath("/tmp/wwwError.txt"), 0);
    return text;
  }
  testing_support::Sandbox sandbox_;
  fs::path previous_dir_ = fs::current_path();
};

TEST_F(MenuForm, ChoosesTheValueCellByAccessTypeAndList) {
  const std::string two = "<option>Off</option><option>On</option>",
                    range = "<min>0</min><max>9</max>";
  const std::string read_only = "<access>0</access>", label256(256, 'L'), x254(254, 'x');
  const Strings off_on = {"Off", "0", "On", "1"};
  const struct {
    std::string type, more, value_file, cell;
  } cases[] = {
      {"7", read_only, "v=a<b%s", "a<b%s"},
      {"4", range, "v=5", ""},
      // Access by its first character: "01" read-only here (writable for "/set"), "" writable.
      {"7", "<access>01</access>", "v=a<b", "a&lt;b"},
      {" 7x", "<access></access>", "v=a", TextBox("p", "a")},
      // Writable without a widget: still escaped, "/set" stores any text for it.
      {"5", "", "v=a<b", "a&lt;b"},
      {"4", "<min>0</min>" + two, "v=1", Choices(false, off_on, "1")},
      {"8", two + "<display>2</display>", "v=9", Choices(true, off_on)},
      // Three options but two indexes: numbered, the index texts ignored.
      {"8",
       "<option>a</option><index>7</index><option>b</option><index>8</index><option>c</option>",
       "v=1", Choices(true, {"a", "0", "b", "1", "c", "2"}, "1")},
      {"8", "<option>a</option><option>b", "v=0", Choices(false, {"a", "0"}, "0")},
      {"8", "<option>a", "v=2", ""},
      {"8", "<option>" + label256 + "</option>", "v=0",
       Choices(false, {label256.substr(1), "0"}, "0")},
      {"8", "<option>a<display>2</display>", "v=2", Choices(true, {})},
      {"8", "", "v=2", TextBox("p", "2")},
      {"8", "<option>a</option><index>1</index><option>b</option> <index>2</index>", "v=2",
       TextBox("p", "2")},
      {"8", "<index>1</index><option>a</option>", "v=2", TextBox("p", "2")},  // no usable list
      // Option texts escaped; marked when equal to the value (which keeps a CR from the file).
      {"8",
       "<option>&</option><index>\"1</index><option>b</option><index>1</index><option>c</"
       "option><index>10</index>",
       "v=1", Choices(true, {"&amp;", "&quot;1", "b", "1", "c", "10"}, "1")},
      {"8", "<option><x></option><index>5</index><option>y</option><index>5</index>", "v=5",
       Choices(false, {"&lt;x&gt;", "5", "y", "5"}, "5")},
      {"8", "<option>a</option><index>%1</index><option>b</option><index>1</index>", "v=1\r\n",
       Choices(false, {"a", "&#37;1", "b", "1"})},
      {"9", "", "v=", AddressBoxes({""})},
      {"9", "", "v=1.2.3.4.5.6.7.8.9.10.11",
       AddressBoxes({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"})},
      {"9", "", "v=<a>%", AddressBoxes({"&lt;a&gt;"})},
      {"7", "", "k=v=w", TextBox("p", "v=w")},
      {"7", "", "no equals sign", TextBox("p", "")},
      {"7", "", "k=" + std::string(256, 'x'), TextBox("p", std::string(255, 'x'))},
      {"7", "", "k=" + x254 + "&", TextBox("p", x254 + "&amp;")},  // escaping cuts nothing
  };
  Write("/brix/etc/control_menu.xml", MenuOf({"p"}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type + " " + c.more + " " + c.value_file);
    Write("/brix/etc/param.xml", Param("p", "P", c.type, c.more));
    Write("/v/p", c.value_file);
    EXPECT_EQ(Render(), FormRow("P", c.cell));
  }
  EXPECT_EQ(TakeErrorLog(), "");
}

// Menu q, p, p; q reads well and its data must not reach p's rows. Each
// failure is logged once per row of p, and p's rows are still written; an
// over-long line once per reading of param.xml, a line without <oid> never.
// A menu that is missing or cut short writes nothing.
TEST_F(MenuForm, LogsEachFailureAndStillWritesTheRow) {
  const std::string menu_xml = card_paths::kControlMenu;
  EXPECT_EQ(Render(1), "");
  Write("/brix/etc/control_menu.xml", MenuOf({"q"}) + "<menu><mid>0</mid>\n<oid>p</oid>\n<oid>r\n");
  Write("/brix/etc/param.xml", Param("q", "Q", "7"));
  EXPECT_EQ(Render(1), "");
  EXPECT_EQ(TakeErrorLog(),
            "can't open file " + menu_xml + " to read\ncorrupted file " + menu_xml + "\n");
  const std::string param_xml = card_paths::kParamDescriptors, q = Param("q", "Q", "7");
  const std::string long_p = "<param><oid>p</oid><name>P</name>" + std::string(1100, 'x');
  const struct {
    std::string records, label, log_once, log_per_row;
  } cases[] = {// p's label: its name once read; never a widget
               {"<?xml version=\"1.0\"?>\n" + q + long_p + "</param>\n", "",
                "the param descriptor file " + param_xml +
                    "'s oid p exceeds MAX_LINE_LENGTH\n the line: " + long_p.substr(0, 1023) + "\n",
                "Corrupted descriptor files"},
               {q + "<param><oid>p</oid><name>P</name><type>7</type></param>\n", "P", "",
                "corrupted file " + param_xml + " 2\n"},
               {q + Param("p", "P", "7", "<access>0</access>"), "P", "",
                "can read file ../../card/v/p\n"}};  // it is empty
  Write("/brix/etc/control_menu.xml", MenuOf({"q", "p", "p"}));
  Write("/v/q", "q=secret");
  Write("/v/p", "");
  for (const auto& c : cases) {
    Write("/brix/etc/param.xml", c.records);
    EXPECT_EQ(Render(),
              FormRow("Q", TextBox("q", "secret")) + FormRow(c.label, "") + FormRow(c.label, ""))
        << c.log_per_row;
    EXPECT_EQ(TakeErrorLog(), c.log_once + c.log_per_row + c.log_per_row);
  }
}

}  // namespace
