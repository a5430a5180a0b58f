// The menu form renderer on a sandboxed card's descriptor files: access, value files, logging.
#include "descriptors/menu_form.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "descriptors/card_descriptors.hpp"
#include "e2e/harness/pages.hpp"
#include "e2e/harness/sandbox.hpp"
#include "response/response_output.hpp"

namespace {
namespace fs = std::filesystem;
using S = const std::string&;
using testing_support::FormRow, testing_support::Menu, testing_support::Rec,
    testing_support::TextBox;

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

// The form's own part of the value cell: the access rule and the value file's first line (each
// kind's cell: the kinds table's test).
TEST_F(MenuForm, ShowsTheValueFileReadOnlyOrAsItsKindsCell) {
  const std::array<std::string, 4> cases[] = {
      {"7", "<access>0</access>", "v=a<b%s", "a<b%s"},
      // Access by its first character: "01" read-only here (writable for "/set"), "" writable.
      {"7", "<access>01</access>", "v=a<b", "a&lt;b"},
      {" 7x", "<access></access>", "k=v=w\r\nk=x", TextBox("p", "v=w\r")},
      {"7", "", "no equals sign", TextBox("p", "")},
      {"7", "", "k=" + std::string(256, 'x'), TextBox("p", std::string(255, 'x'))},
  };
  Write("/brix/etc/control_menu.xml", Menu({"p"}));
  for (const auto& [type, more, value_file, cell] : cases) {
    SCOPED_TRACE(type + " " + more + " " + value_file);
    Write("/brix/etc/param.xml", Rec("p", "<type>" + type + "</type>" + more));
    Write("/brix/conf/v", value_file);
    EXPECT_EQ(Render(), FormRow("N", cell));
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
  Write("/brix/etc/control_menu.xml", Menu({"q"}) + "<menu><mid>0</mid>\n<oid>p</oid>\n<oid>r\n");
  Write("/brix/etc/param.xml", Rec("q"));
  EXPECT_EQ(Render(1), "");
  EXPECT_EQ(TakeErrorLog(),
            "can't open file " + menu_xml + " to read\ncorrupted file " + menu_xml + "\n");
  const std::string param_xml = card_paths::kParamDescriptors, q = Rec("q", "<name>Q</name>");
  const std::string long_p = "<param><oid>p</oid><name>P</name>" + std::string(1100, 'x');
  const struct {
    std::string records, label, log_once, log_per_row;
  } cases[] = {
      // p's label: its name once read; never a widget
      {"<?xml version=\"1.0\"?>\n" + q + long_p + "</param>\n", "",
       "the param descriptor file " + param_xml +
           "'s oid p exceeds MAX_LINE_LENGTH\n the line: " + long_p.substr(0, 1023) + "\n",
       "Corrupted descriptor files"},
      {q + Rec("p", "<name>P</name>", "file"), "P", "", "corrupted file " + param_xml + " 2\n"},
      {q + Rec("p", "<name>P</name><access>0</access><file>../../card/v/p</file>"), "P", "",
       "can read file ../../card/v/p\n"}};  // it is empty
  Write("/brix/etc/control_menu.xml", Menu({"q", "p", "p"}));
  Write("/brix/conf/v", "q=secret");
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
