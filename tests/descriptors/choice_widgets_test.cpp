// The option-list reader, the choice widgets and the HTML escaping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "descriptors/choice_widgets.hpp"
#include "dispatch/response_output.hpp"

namespace {

std::string Options(int count, bool indexed) {
  std::string line;
  for (int i = 0; i < count; ++i) {
    line += "<option>o" + std::to_string(i) + "</option>";
    if (indexed) line += "<index>v" + std::to_string(i) + "</index>";
  }
  return line;
}

TEST(ParseOptionList, ReadsIndexedAndNumberedListsAndRefusesBrokenOnes) {
  const std::string long_label(256, 'L');
  struct Case {
    std::string line;
    int result;
    std::vector<std::string> entries;  // on success: label, value, label, value, ...
  } cases[] = {
      {"<option>Off</option><option>On</option>", 0, {"Off", "0", "On", "1"}},
      {"<type>8</type><option>Low</option><index>10</index><option>High</option><index>20</index>",
       0,
       {"Low", "10", "High", "20"}},
      // Three options but two indexes: numbered, the index texts ignored.
      {"<option>a</option><index>7</index><option>b</option><index>8</index><option>c</option>",
       0,
       {"a", "0", "b", "1", "c", "2"}},
      {"<option>a", 0, {}},
      {"<option>a</option><option>b", 0, {"a", "0"}},
      {"<option>" + long_label + "</option>", 0, {long_label.substr(0, 255), "0"}},
      {"<param><oid>x</oid></param>", 1, {}},
      {"<option>a</option><index>1</index><option>b</option> <index>2</index>", 1, {}},
      {"<option>a</option><index>1", 1, {}},
      {"<index>1</index><option>a</option>", 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::int32_t kind = -1;
    std::uint8_t count = 99;
    ListTexts texts;
    ASSERT_EQ(ParseOptionList(c.line, kind, count, texts), c.result);
    if (c.result != 0) {
      EXPECT_EQ(kind, -1);
      EXPECT_EQ(count, 99);
      continue;
    }
    EXPECT_EQ(kind, kOptionList);
    ASSERT_EQ(count * 2u, c.entries.size());
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(texts[i].view(), c.entries[i]) << "entry " << i;
    }
  }
}

TEST(ParseOptionList, KeepsTwentyFiveOptionsAtMost) {
  for (const bool indexed : {false, true}) {
    for (const int options : {25, 26, 40}) {
      std::int32_t kind = 0;
      std::uint8_t count = 0;
      ListTexts texts;
      ASSERT_EQ(ParseOptionList(Options(options, indexed), kind, count, texts), 0);
      EXPECT_EQ(count, 25);
      EXPECT_EQ(texts[48].view(), "o24");
      EXPECT_EQ(texts[49].view(), indexed ? "v24" : "24");
    }
  }
}

ParamDescriptor Choice(std::string_view value, int display, std::vector<std::string> label_value_pairs) {
  ParamDescriptor record;
  record.oid = "mode";
  record.value = value;
  record.display = display;
  record.listKind = kOptionList;
  record.listCount = static_cast<std::uint8_t>(label_value_pairs.size() / 2);
  for (std::size_t i = 0; i < label_value_pairs.size(); ++i) record.listText[i] = label_value_pairs[i];
  return record;
}

std::string Rendered(const ParamDescriptor& record) {
  response::Capture capture;
  EXPECT_EQ(RenderChoiceList(record), 0);
  return capture.Text();
}

TEST(RenderChoiceList, WritesRadioButtonsOrADropDownList) {
  const std::string select = "<select class=\"formInput\" name=\"oid-mode\">";
  struct Case {
    const char* name;
    ParamDescriptor record;
    std::string html;
  } cases[] = {
      {"two options", Choice("1", 0, {"Off", "0", "On", "1"}),
       "<input type=\"radio\" name=\"oid-mode\" value=\"0\"/>Off&nbsp;&nbsp;"
       "<input type=\"radio\" name=\"oid-mode\" value=\"1\" checked=\"true\"/>On&nbsp;&nbsp;"},
      {"one option", Choice("x", 0, {"A&B", "\"q\""}),
       "<input type=\"radio\" name=\"oid-mode\" value=\"&quot;q&quot;\"/>A&amp;B&nbsp;&nbsp;"},
      {"two options, display 2", Choice("1", 2, {"Off", "0", "On", "1"}),
       select + "<option value=\"0\">Off</option><option value=\"1\" selected=\"true\">On</option></select>"},
      {"three options", Choice("2", 0, {"a", "0", "b", "1", "c", "2"}),
       select +
           "<option value=\"0\">a</option><option value=\"1\">b</option>"
           "<option value=\"2\" selected=\"true\">c</option></select>"},
      {"1 is not 01", Choice("1", 0, {"a", "01", "b", "1", "c", "1 "}),
       select +
           "<option value=\"01\">a</option><option value=\"1\" selected=\"true\">b</option>"
           "<option value=\"1 \">c</option></select>"},
      {"value with CR marks nothing", Choice("1\r", 0, {"a", "0", "b", "1"}),
       "<input type=\"radio\" name=\"oid-mode\" value=\"0\"/>a&nbsp;&nbsp;"
       "<input type=\"radio\" name=\"oid-mode\" value=\"1\"/>b&nbsp;&nbsp;"},
      {"every equal value marked", Choice("5", 0, {"a", "5", "b", "5"}),
       "<input type=\"radio\" name=\"oid-mode\" value=\"5\" checked=\"true\"/>a&nbsp;&nbsp;"
       "<input type=\"radio\" name=\"oid-mode\" value=\"5\" checked=\"true\"/>b&nbsp;&nbsp;"},
      {"no options", Choice("0", 0, {}), ""},
      {"no options, display 2", Choice("0", 2, {}), select + "</select>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rendered(c.record), c.html) << c.name;
  }
}

TEST(RenderChoiceList, NeverReadsPastTheTwentyFiveOptions) {
  ParamDescriptor record = Choice("", 0, {});
  record.listCount = 200;
  const std::string html = Rendered(record);
  std::size_t options = 0;
  for (std::size_t at = html.find("<option "); at != std::string::npos; at = html.find("<option ", at + 1)) ++options;
  EXPECT_EQ(options, 25u);
}

TEST(PrintHtmlEscaped, ReplacesTheFiveCharactersAndInterpretsNothing) {
  const std::string x255(255, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"%", "&#37;"},
      {"plain text", "plain text"},
      {"a&b", "a&amp;b"},
      {"\"<>&%'", "&quot;&lt;&gt;&amp;&#37;'"},
      {"%s%n%d", "&#37;s&#37;n&#37;d"},
      {"<<x>>", "&lt;&lt;x&gt;&gt;"},
      {x255, x255},
      {x255 + "yz", x255},
      {x255.substr(1) + "&", x255.substr(1) + "&amp;"},
      {x255 + "&", x255},
  };
  for (const auto& [text, html] : cases) {
    response::Capture capture;
    EXPECT_EQ(PrintHtmlEscaped(text), 0);
    EXPECT_EQ(capture.Text(), html) << text.substr(0, 20);
  }
}

}  // namespace
