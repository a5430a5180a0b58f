// The menu form renderer, on descriptor files in a sandboxed card.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "descriptors/menu_form.hpp"
#include "dispatch/card_paths.hpp"
#include "dispatch/error_log.hpp"
#include "dispatch/response_output.hpp"
#include "e2e/harness/sandbox.hpp"

namespace {
namespace fs = std::filesystem;
using testing_support::Sandbox;

std::string Row(std::string_view name, std::string_view cell) {
  return "<tr><td valign=\"top\" class=\"formLabel\">" + std::string(name) + ":</td><td valign=\"top\">" +
         std::string(cell) + "</td></tr>\r\n";
}

std::string TextBox(std::string_view oid, std::string_view html_value) {
  return "<input class=\"formInput\" type=\"textbox\" id=\"oid-" + std::string(oid) + "\" name=\"oid-" +
         std::string(oid) + "\" maxlength=\"49\" value=\"" + std::string(html_value) + "\"/>\n\n";
}

std::string AddressBox(int box, std::string_view group) {
  const std::string n = std::to_string(box);
  return "<input maxlength=\"3\" onchange=\"return validateIP('oid-ip', true);\" onkeypress=\"return "
         "allowOnly('0123456789', event);\" class=\"formInput\" type=\"textbox\" size=\"3\" id=\"" +
         n + "oid-ip\" name=\"" + n + "oid-ip\" value=\"" + std::string(group) + "\"/>\r\n";
}

// The oid lines of menu "0", one per oid.
std::string MenuOf(const std::vector<std::string>& oids) {
  std::string menu = "<menu><mid>0</mid><name>Main</name>\n";
  for (const std::string& oid : oids) menu += "<oid>" + oid + "</oid>\n";
  return menu + "</menu>\n";
}

// A param.xml record whose value file is ValuePath(oid).
std::string Param(std::string_view oid, std::string_view name, std::string_view type, std::string_view more = "") {
  const std::string o(oid);
  return "<param><oid>" + o + "</oid><name>" + std::string(name) + "</name><type>" + std::string(type) +
         "</type><file>../../card/v/" + o + "</file>" + std::string(more) + "</param>\n";
}

class MenuForm : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_dir_ = fs::current_path();
    fs::current_path(sandbox_.WorkDir());
    OpenErrorLog();
  }
  void TearDown() override {
    CloseErrorLog();
    fs::current_path(previous_dir_);
  }

  void Menu(std::string_view text) const { sandbox_.WriteCardFile("/brix/etc/control_menu.xml", text); }
  void Params(std::string_view text) const { sandbox_.WriteCardFile("/brix/etc/param.xml", text); }
  void Value(std::string_view oid, std::string_view first_line) const {
    sandbox_.WriteCardFile("/v/" + std::string(oid), first_line);
  }
  // One parameter "p" on its own menu; returns the rendering.
  std::string RenderOne(std::string_view type, std::string_view more, std::string_view value_file) const {
    Menu(MenuOf({"p"}));
    Params(Param("p", "P", type, more));
    Value("p", value_file);
    return Render();
  }
  std::string Render(int expected_result = 0) const {
    response::Capture capture;
    EXPECT_EQ(RenderMenuForm(), expected_result);
    return capture.Text();
  }
  std::string ErrorLogText() const { return sandbox_.ReadFile(sandbox_.CardPath("/tmp/wwwError.txt")); }

  Sandbox sandbox_;
  fs::path previous_dir_;
};

TEST_F(MenuForm, ChoosesTheValueCellByAccessTypeAndList) {
  const std::string radio =
      "<input type=\"radio\" name=\"oid-p\" value=\"0\"/>Off&nbsp;&nbsp;"
      "<input type=\"radio\" name=\"oid-p\" value=\"1\" checked=\"true\"/>On&nbsp;&nbsp;";
  const std::string two = "<option>Off</option><option>On</option>";
  const std::string three = "<option>a</option><index>0</index><option>b</option><index>1</index>"
                            "<option>c</option><index>2</index>";
  const std::string select =
      "<select class=\"formInput\" name=\"oid-p\"><option value=\"0\">a</option>"
      "<option value=\"1\" selected=\"true\">b</option><option value=\"2\">c</option></select>";
  struct Case {
    const char* type;
    std::string more;
    std::string value_file;
    std::string cell;
  } cases[] = {
      {"7", "", "v=a<b", TextBox("p", "a&lt;b")},
      {"7", "<access>0</access>", "v=a<b%s", "a<b%s"},
      {"7", "<access>01</access>", "v=a", "a"},
      {"7", "<access>-1</access>", "v=a", TextBox("p", "a")},
      {"7", "<access></access>", "v=a", TextBox("p", "a")},
      {" 7x", "<access>1</access>", "v=a", TextBox("p", "a")},
      {"5", "", "v=a<b", "a<b"},
      {"12", "", "v=a", "a"},
      {"3", "", "v=a", "a"},
      {"4", "<min>0</min><max>9</max>", "v=5", ""},
      {"4", "<min>0</min><max>9</max><access>0</access>", "v=5", "5"},
      {"4", "<min>0</min>" + two, "v=1", radio},
      {"4", "<max>9</max>" + two, "v=1", radio},
      {"4", "<min>0</min>", "v=5", TextBox("p", "5")},
      {"4", three, "v=1", select},
      {"6", "<min>0</min><max>9</max>", "v=1.5", ""},
      {"6", "<max>9</max>", "v=1.5", TextBox("p", "1.5")},
      {"6", "<min>0</min>", "v=1.5", TextBox("p", "1.5")},
      {"8", two, "v=1", radio},
      {"8", two + "<display>2</display>", "v=9",
       "<select class=\"formInput\" name=\"oid-p\"><option value=\"0\">Off</option>"
       "<option value=\"1\">On</option></select>"},
      {"8", two + "<access>0</access>", "v=1", "1"},
      {"8", "", "v=2", TextBox("p", "2")},
      {"8", "<option>a</option><index>1</index><option>b</option> <index>2</index>", "v=2", TextBox("p", "2")},
      {"8", "<option>a", "v=2", ""},
      {"8", "<option>a<display>2</display>", "v=2", "<select class=\"formInput\" name=\"oid-p\"></select>"},
      {"9", "<access>0</access>", "v=10.0.0.1", "10.0.0.1"},
      {"7", "", "k=v=w", TextBox("p", "v=w")},
      {"7", "", "k=", TextBox("p", "")},
      {"7", "", "no equals sign", TextBox("p", "")},
      {"7", "", "k=a\r\nsecond=line\r\n", TextBox("p", "a\r")},
      {"7", "", "k=" + std::string(256, 'x'), TextBox("p", std::string(255, 'x'))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.more + " " + c.value_file);
    EXPECT_EQ(RenderOne(c.type, c.more, c.value_file), Row("P", c.cell));
  }
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(MenuForm, CutsAnAddressIntoOneBoxPerDottedGroup) {
  EXPECT_EQ(RenderOne("9", "", "ip=10.0.0.1"),
            Row("P",
                "<input maxlength=\"3\" onchange=\"return validateIP('oid-p', true);\" onkeypress=\"return "
                "allowOnly('0123456789', event);\" class=\"formInput\" type=\"textbox\" size=\"3\" id=\"0oid-p\" "
                "name=\"0oid-p\" value=\"10\"/>\r\n&nbsp;.&nbsp;\r\n"
                "<input maxlength=\"3\" onchange=\"return validateIP('oid-p', true);\" onkeypress=\"return "
                "allowOnly('0123456789', event);\" class=\"formInput\" type=\"textbox\" size=\"3\" id=\"1oid-p\" "
                "name=\"1oid-p\" value=\"0\"/>\r\n&nbsp;.&nbsp;\r\n"
                "<input maxlength=\"3\" onchange=\"return validateIP('oid-p', true);\" onkeypress=\"return "
                "allowOnly('0123456789', event);\" class=\"formInput\" type=\"textbox\" size=\"3\" id=\"2oid-p\" "
                "name=\"2oid-p\" value=\"0\"/>\r\n&nbsp;.&nbsp;\r\n"
                "<input maxlength=\"3\" onchange=\"return validateIP('oid-p', true);\" onkeypress=\"return "
                "allowOnly('0123456789', event);\" class=\"formInput\" type=\"textbox\" size=\"3\" id=\"3oid-p\" "
                "name=\"3oid-p\" value=\"1\"/>\r\n"
                "<script language=\"javascript\">writeMessageDiv('oid-p');</script>"));

  const std::string dot = "&nbsp;.&nbsp;\r\n";
  const std::string script = "<script language=\"javascript\">writeMessageDiv('oid-ip');</script>";
  const std::pair<const char*, std::string> cases[] = {
      {"1234.5", AddressBox(0, "123") + dot + AddressBox(1, "5") + script},
      {"", AddressBox(0, "") + script},
      {"1.2.3.4.5", AddressBox(0, "1") + dot + AddressBox(1, "2") + dot + AddressBox(2, "3") + dot +
                        AddressBox(3, "4") + dot + AddressBox(4, "5") + script},
      {"..", AddressBox(0, "") + dot + AddressBox(1, "") + dot + AddressBox(2, "") + script},
      {"<a>%", AddressBox(0, "<a>") + script},
  };
  Menu(MenuOf({"ip"}));
  Params(Param("ip", "Address", "9"));
  for (const auto& [value, cell] : cases) {
    Value("ip", std::string("ip=") + value);
    EXPECT_EQ(Render(), Row("Address", cell)) << value;
  }
}

// "p1", "p2", ... (appended, not concatenated: GCC 12 warns falsely on the latter).
std::string NumberedOid(int n) { return std::string("p").append(std::to_string(n)); }

TEST_F(MenuForm, ReadsOnlyTheOidLinesOfMenuZero) {
  std::string params;
  for (int i = 1; i <= 21; ++i) {
    const std::string oid = NumberedOid(i);
    params += Param(oid, "N" + oid, "5");
    Value(oid, "v=" + oid);
  }
  Params(params);
  auto rows = [](std::vector<int> numbers) {
    std::string html;
    for (int n : numbers) html += Row(std::string("N").append(NumberedOid(n)), NumberedOid(n));
    return html;
  };
  std::vector<std::string> twenty_one;
  std::vector<int> first_twenty;
  for (int i = 1; i <= 21; ++i) twenty_one.push_back(NumberedOid(i));
  for (int i = 1; i <= 20; ++i) first_twenty.push_back(i);
  struct Case {
    const char* name;
    std::string menu;
    std::string html;
  } cases[] = {
      {"menu order", MenuOf({"p3", "p1"}), rows({3, 1})},
      {"a repeated oid", MenuOf({"p2", "p2"}), rows({2, 2})},
      {"21 oids", MenuOf(twenty_one), rows(first_twenty)},
      {"two blocks make one list", MenuOf({"p1"}) + "<menu><mid>1</mid>\n<oid>p9</oid>\n" + MenuOf({"p2"}),
       rows({1, 2})},
      {"20 oids, then a second block", MenuOf(std::vector<std::string>(twenty_one.begin(), twenty_one.end() - 1)) +
                                           MenuOf({"p21"}),
       rows(first_twenty)},
      {"menu 01 is not menu 0", "<menu><mid>01</mid>\n<oid>p1</oid>\n</menu>\n", ""},
      {"no menu", "<menu><mid>1</mid>\n<oid>p1</oid>\n", ""},
      {"no oid lines", "<menu><mid>0</mid>\n</menu>\n<oid>p1</oid>\n", ""},
      {"an indented oid line ends the list", "<menu><mid>0</mid>\n<oid>p1</oid>\n <oid>p2</oid>\n<oid>p3</oid>\n",
       rows({1})},
      {"a blank line ends the list", "<menu><mid>0</mid>\n<oid>p1</oid>\n\n<oid>p2</oid>\n", rows({1})},
      {"the ending line is no header", "<menu><mid>0</mid>\n<oid>p1</oid>\n<menu><mid>0</mid>\n<oid>p2</oid>\n",
       rows({1})},
      {"CR LF lines", "<menu><mid>0</mid>\r\n<oid>p1</oid>\r\n<oid>p2</oid>\r\n", rows({1, 2})},
  };
  for (const Case& c : cases) {
    Menu(c.menu);
    EXPECT_EQ(Render(), c.html) << c.name;
  }
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(MenuForm, AnUnreadableMenuWritesNothing) {
  EXPECT_EQ(Render(1), "");
  Menu(MenuOf({"p1"}) + "<menu><mid>0</mid>\n<oid>p2</oid>\n<oid>p3\n");
  Params(Param("p1", "One", "5"));
  EXPECT_EQ(Render(1), "");
  EXPECT_EQ(ErrorLogText(), "can't open file " + std::string(card_paths::kControlMenu) + " to read\n" +
                                "corrupted file " + card_paths::kControlMenu + "\n");
}

TEST_F(MenuForm, LogsEachFailureAndStillWritesTheRow) {
  const std::string param_xml = card_paths::kParamDescriptors;
  // Parameter q reads well and comes first: its data must not reach p's row.
  const std::string good_q = Param("q", "Q", "7");
  struct Case {
    const char* name;
    std::string params;
    bool value_file;
    std::string log;
    std::string p_row;
  } cases[] = {
      {"no record", good_q + Param("r", "R", "7"), true, "Corrupted descriptor files", Row("", "")},
      {"a cut line before the record", good_q + "<param><oid>r</oid>\n" + Param("p", "P", "7"), true,
       "the param descriptor file " + param_xml + "'s oid p exceeds MAX_LINE_LENGTH\n the line: <param><oid>r</oid>\n",
       Row("", "")},
      {"no name", good_q + "<param><oid>p</oid><type>7</type><file>../../card/v/p</file></param>\n", true,
       "corrupted file " + param_xml + "\n", Row("", "")},
      {"no type", good_q + "<param><oid>p</oid><name>P</name><file>../../card/v/p</file></param>\n", true,
       "corrupted file " + param_xml + " 1\n", Row("P", "")},
      {"no file", good_q + "<param><oid>p</oid><name>P</name><type>7</type></param>\n", true,
       "corrupted file " + param_xml + " 2\n", Row("P", "")},
      {"no value file", good_q + Param("p", "P", "7"), false, "can't open file ../../card/v/p to read\n",
       Row("P", "")},
      {"an empty value file", good_q + Param("p", "P", "7", "<access>0</access>"), true,
       "can read file ../../card/v/p\n", Row("P", "")},
  };
  Menu(MenuOf({"q", "p"}));
  Value("q", "q=secret");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(sandbox_.CardPath("/tmp/wwwError.txt"));
    CloseErrorLog();
    OpenErrorLog();
    fs::remove(sandbox_.CardPath("/v/p"));
    if (c.value_file) Value("p", "");
    Params(c.params);
    EXPECT_EQ(Render(), Row("Q", TextBox("q", "secret")) + c.p_row);
    EXPECT_EQ(ErrorLogText(), c.log);
  }
}

TEST_F(MenuForm, MessagesWithoutALineFeedRunOn) {
  Menu(MenuOf({"a", "b"}));
  fs::remove(sandbox_.CardPath("/brix/etc/param.xml"));
  EXPECT_EQ(Render(), Row("", "") + Row("", ""));
  Params(Param("c", "C", "7"));
  EXPECT_EQ(Render(), Row("", "") + Row("", ""));
  const std::string cannot_open = "can't open file " + std::string(card_paths::kParamDescriptors) + " to read\n";
  EXPECT_EQ(ErrorLogText(), cannot_open + cannot_open + "Corrupted descriptor filesCorrupted descriptor files");
}

TEST_F(MenuForm, CutsOidsNamesAndPathsToTheirWidths) {
  const std::string oid49(49, 'o');
  const std::string name50(50, 'n');
  // Relative to the working directory, a 63-character path to the value file.
  const std::string path63 = "../../card/v/" + std::string(50, 'f');
  sandbox_.WriteFile(sandbox_.WorkDir() / path63, "v=ok");
  Menu(MenuOf({oid49, oid49 + "x"}));
  Params("<param><oid>" + oid49 + "</oid><name>" + name50 + "</name><type>7</type><file>" + path63 +
         "</file></param>\n<param><oid>" + oid49 + "x</oid><name>X</name><type>7</type><file>" + path63 +
         "g</file></param>\n");
  // The 50-character oid is read as its first 49 characters: the first record.
  const std::string row = Row(name50.substr(0, 49), TextBox(oid49, "ok"));
  EXPECT_EQ(Render(), row + row);
  Params("<param><oid>p</oid><name>P</name><type>7</type><file>" + path63 + "g</file></param>\n");
  Menu(MenuOf({"p"}));
  EXPECT_EQ(Render(), Row("P", TextBox("p", "ok")));
  EXPECT_EQ(ErrorLogText(), "");
}

}  // namespace
