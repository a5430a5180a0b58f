// The checker of a card's descriptor files: which findings each small card gives, and its report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "check/card_check.hpp"
#include "descriptors/card_descriptors.hpp"
#include "e2e/harness/sandbox.hpp"

namespace {
using testing_support::Menu, testing_support::Rec;

// "menu:LINE:error" or "param:LINE:warning" for each finding, sorted, a blank between two.
std::string Keys(const CheckReport& report) {
  std::multiset<std::string> keys;
  for (const Finding& f : report.findings)
    keys.insert(std::string(f.file.ends_with("param.xml") ? "param:" : "menu:") +
                std::to_string(f.line) +
                (f.severity == Finding::Severity::kError ? ":error" : ":warning"));
  std::string joined;
  for (const std::string& key : keys) joined += (joined.empty() ? "" : " ") + key;
  return joined;
}
TEST(CheckCard, GivesEachFindingOnItsLine) {
  const std::string x50(50, 'x'), x1100(1100, 'x');
  const std::string error = "param:1:error", warning = "param:1:warning";
  const std::string etc = "/brix/etc/param.xml", outside = "/../../../../../../../..";
  const struct {
    std::string params, findings, menu = Menu({"p"});
    // A link the image holds in place of a file. Target "": a sparse file larger than 16 MiB.
    std::pair<std::string, std::string> link = {};
  } cases[] = {
      {Rec("p"), "menu:2:error menu:2:error param:1:warning",
       "<menu><mid>0</mid>\n<oid>" + x1100 + "</oid>\n"},
      {Rec("p"), "menu:2:error menu:4:error",
       "<menu><mid>0</mid>\n<oid>x\n<oid>p</oid>\n<oid>q</oid>\n"},
      {Rec("p"), "menu:1:error", "<menu><mid>0</mid>" + std::string(1005, 'x') + "<oid>p</oid>\n"},
      {Rec("p"), "menu:22:warning", Menu(std::vector<std::string>(21, "p"))},
      {Rec(x50), "menu:2:error menu:2:warning param:1:warning", Menu({x50})},
      {Rec("p"), "menu:3:error", Menu({"p", "q"})},
      {Rec("p") + Rec("q", "<x>" + x1100 + "</x>") + Rec("r", "<access>0</access><type>x</type>"),
       "param:2:error param:3:warning"},
      {"<?xml version=\"1.0\"?>\n<params>\n" + Rec("p") + "</params>\n", ""},
      {"<param><name>N</name></param>\n" + Rec("p"), error},
      {Rec("p") + Rec("p"), "param:2:error"},
      {Rec("p", "", "prog"), error},
      {Rec("p", "<prog>/brix/bin/plain</prog>"), error},
      {Rec("p", "<prog>/brix/conf</prog>"), error},  // a folder: executable, but no file
      {Rec("p", "<prog>/none</prog>") + Rec("q", "<prog>/none</prog>"),
       "param:1:error param:2:warning"},
      {Rec("p", "<file>v</file>"), error},  // there, but outside the image
      {Rec("p", "<prog>/brix/bin/set</prog>"), ""},
      {Rec("p", "<access>0</access>", "prog"), ""},
      {Rec("p", "<file>/brix/conf/" + x50 + "1234</file>"), error + " " + warning},  // cut: missing
      {Rec("p", "<file>/brix/conf/novalue</file>"), warning},
      {Rec("p", "<file>/brix/conf/empty</file>"), warning},
      {Rec("p", "<file>/brix/conf/long</file>"), warning},
      {Rec("p") + Rec("q", "<access>0</access><file>/none</file>", "name"), ""},  // not shown
      {Rec("p", "", "name"), error},
      {Rec("p", "", "type"), error},
      {Rec("p", "", "file"), error},
      {Rec("p", "<name>" + x50 + "</name>"), warning},
      {Rec("p", "<access>01</access>"), warning},
      {Rec("p", "<access>-1</access>"), warning},
      {Rec("p") + Rec("q"), "param:2:warning"},  // not in menu "0"
      {Rec("p", "<type>5</type><access>0</access>"), ""},
      {Rec("p", "<type>6</type><min>0</min><max>9</max>"), warning},
      {Rec("p", "<type>8</type>"), warning},
      {Rec("p",
           "<type>4</type><option>a</option><index>1</index><option>b</option><index>x</index>"),
       warning},
      // Links lead inside the image: an absolute target starts at its root, ".." stops there.
      {Rec("p"), "", Menu({"p"}), {etc, "/brix/etc/real.xml"}},
      {Rec("p"), "", Menu({"p"}), {etc, outside.substr(1) + "/brix/etc/real.xml"}},
      {Rec("p"), error, Menu({"p"}), {"/brix/conf/v", outside + "/etc/passwd"}},
      {Rec("p"), error, Menu({"p"}), {"/brix/conf/v", "v"}},  // a loop
      {Rec("p"), "param:0:error", Menu({"p"}), {etc, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.menu.substr(0, 60) + " | " + c.params.substr(0, 120));
    testing_support::Sandbox sandbox;
    if (!c.menu.empty()) sandbox.WriteCardFile("/brix/etc/control_menu.xml", c.menu);
    if (!c.params.empty()) sandbox.WriteCardFile("/brix/etc/param.xml", c.params);
    sandbox.WriteFile(sandbox.CardPath("/brix/bin/set"), "#!/bin/sh\n", 0755);
    sandbox.WriteCardFile("/brix/bin/plain", "#!/bin/sh\n");
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"v", "K=v\n"},
                                     {"novalue", "v\n"},
                                     {"empty", ""},
                                     {"long", "K=" + std::string(256, 'v')}})
      sandbox.WriteCardFile("/brix/conf/" + name, text);
    sandbox.WriteCardFile("/brix/etc/real.xml", c.params);
    sandbox.WriteFile(sandbox.WorkDir() / "v", "K=v\n");
    if (const auto& [path, target] = c.link; !path.empty() && target.empty())
      ASSERT_EQ(::truncate(sandbox.CardPath(path).c_str(), 17 << 20), 0);
    else if (!path.empty())
      std::filesystem::remove(sandbox.CardPath(path)),
          std::filesystem::create_symlink(target, sandbox.CardPath(path));
    const CheckReport report =
        CheckCard(CardImage(sandbox.CardPath("/").string(), sandbox.WorkDir().string()));
    EXPECT_EQ(Keys(report), c.findings);
  }
}

// The exit status 1 with an error (0 with warnings only, 2 when a file could not be read: the
// checker runs on the sample card and on no card).
TEST(FormatReport, WritesOneLinePerFindingInFileAndLineOrderThenTheCounts) {
  CheckReport report;
  report.Warning("b.xml", 3, "w");
  report.Error("b.xml", 1, "e");
  EXPECT_EQ(ExitStatus(report), 1);
  report.Error("a.xml", 0, "cannot be read");
  EXPECT_EQ(FormatReport(report),
            "a.xml: error: cannot be read\nb.xml:1: error: e\nb.xml:3: warning: w\n"
            "2 errors, 1 warning\n");
}

}  // namespace
