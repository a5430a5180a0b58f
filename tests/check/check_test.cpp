// The checker of a card's descriptor files: which findings each small card gives, and its report.
#include <gtest/gtest.h>

#include <algorithm>

#include "check/card_check.hpp"
#include "e2e/harness/sandbox.hpp"

namespace {
using Strings = std::vector<std::string>;
using S = const std::string&;

// "menu:LINE:error" or "param:LINE:warning" for each finding, sorted.
Strings Keys(const CheckReport& report) {
  Strings keys;
  for (const Finding& f : report.findings) {
    keys.push_back(std::string(f.file.ends_with("param.xml") ? "param:" : "menu:") +
                   std::to_string(f.line) +
                   (f.severity == Finding::Severity::kError ? ":error" : ":warning"));
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}
std::string Menu(const Strings& oids) {  // menu "0" with its header on line 1
  std::string menu = "<menu><mid>0</mid>\n";
  for (S oid : oids) menu += "<oid>" + oid + "</oid>\n";
  return menu + "</menu>\n";
}
// A record of `oid`: `fields`, then each field the program reads that `fields` does not hold (a
// good default), but for the one named `left_out`.
std::string Rec(S oid, S fields = "", S left_out = "") {
  std::string line = "<param><oid>" + oid + "</oid>" + fields;
  for (const auto& [tag, value] : {std::pair<std::string, std::string>{"name", "N"},
                                   {"type", "7"},
                                   {"access", "1"},
                                   {"file", "/brix/conf/v"},
                                   {"prog", "/brix/bin/set"}}) {
    if (tag != left_out && fields.find("<" + tag + ">") == std::string::npos)
      line += "<" + tag + ">" + value + "</" + tag + ">";
  }
  return line + "</param>\n";
}

TEST(CheckCard, GivesEachFindingOnItsLine) {
  const std::string x50(50, 'x'), x1100(1100, 'x'), menu = Menu({"p"});
  const Strings none;
  const struct {
    std::string params;
    Strings findings;
    int exit = 0;
    std::string menu = Menu({"p"});  // "" : no control_menu.xml
  } cases[] = {
      {Rec("p"), none},
      {Rec("p"), {"menu:0:error"}, 2, ""},
      {"", {"param:0:error"}, 2},  // "" : no param.xml
      {Rec("p"),
       {"menu:2:error", "menu:2:error"},
       1,
       "<menu><mid>0</mid>\n<oid>" + x1100 + "</oid>\n"},
      {Rec("p"), {"menu:2:error"}, 1, "<menu><mid>0</mid>\n<oid>p\n"},
      {Rec("p"), {"menu:22:warning"}, 0, Menu(Strings(21, "p"))},
      {Rec(x50), {"menu:2:error", "menu:2:warning", "param:1:warning"}, 1, Menu({x50})},
      {Rec("p"), {"menu:3:error"}, 1, Menu({"p", "q"})},
      {Rec("p") + Rec("q", "<x>" + x1100 + "</x>") + Rec("r", "<access>0</access><type>12</type>"),
       {"param:2:error", "param:3:warning"},
       1},
      {"<?xml version=\"1.0\"?>\n<params>\n" + Rec("p") + "</params>\n", none},
      {"<param><name>N</name></param>\n" + Rec("p"), {"param:1:error"}, 1},
      {Rec("p") + Rec("p"), {"param:2:error"}, 1},
      {Rec("p", "", "prog"), {"param:1:error"}, 1},
      {Rec("p", "<prog>/brix/bin/plain</prog>"), {"param:1:error"}, 1},
      {Rec("p", "<prog>/brix/conf</prog>"), {"param:1:error"}, 1},
      {Rec("p", "<prog>set</prog>"), {"param:1:error"}, 1},  // relative: from the cgi-bin folder
      {Rec("p", "<prog>../../card/brix/bin/set</prog>"), none},
      {Rec("p", "<access>0</access>", "prog"), none},
      {Rec("p", "<file>/brix/conf/none</file>"), {"param:1:error"}, 1},
      {Rec("p", "<file>/brix/conf</file>"), {"param:1:error"}, 1},
      {Rec("p", "<file>../../card/brix/conf/v</file>"), none},
      {Rec("p", "<file>/brix/conf/" + x50 + "1234</file>"),
       {"param:1:error", "param:1:warning"},
       1},
      {Rec("p", "<file>/brix/conf/novalue</file>"), {"param:1:warning"}},
      {Rec("p", "<file>/brix/conf/empty</file>"), {"param:1:warning"}},
      {Rec("p", "<file>/brix/conf/long</file>"), {"param:1:warning"}},
      {Rec("p") + Rec("q", "<access>0</access><file>/none</file>", "name"), none},  // not shown
      {Rec("p", "", "name"), {"param:1:error"}, 1},
      {Rec("p", "", "type"), {"param:1:error"}, 1},
      {Rec("p", "", "file"), {"param:1:error"}, 1},
      {Rec("p", "<name>" + x50 + "</name>"), {"param:1:warning"}},
      {Rec("p", "", "access"), none},
      {Rec("p", "<access>2</access>"), none},
      {Rec("p", "<access>01</access>"), {"param:1:warning"}},
      {Rec("p", "<access>-1</access>"), {"param:1:warning"}},
      {Rec("p", "<access></access>"), {"param:1:warning"}},
      {Rec("p") + Rec("q"), {"param:2:warning"}},  // not in menu "0"
      {Rec("p", "<type>5</type>"), {"param:1:warning"}},
      {Rec("p", "<type>5</type><access>0</access>"), none},
      {Rec("p", "<type>6</type><min>0</min><max>9</max>"), {"param:1:warning"}},
      {Rec("p", "<type>4</type><min>0</min>"), none},
      {Rec("p", "<type>12</type>"), {"param:1:warning"}},
      {Rec("p", "<type>x</type><access>0</access>"), {"param:1:warning"}},
      {Rec("p", "<type>8</type>"), {"param:1:warning"}},
      {Rec("p", "<type>8</type><option>a"), {"param:1:warning"}},
      {Rec("p", "<type>8</type><option>a</option>"), none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.menu.substr(0, 60) + " | " + c.params.substr(0, 120));
    testing_support::Sandbox sandbox;
    if (!c.menu.empty()) sandbox.WriteCardFile("/brix/etc/control_menu.xml", c.menu);
    if (!c.params.empty()) sandbox.WriteCardFile("/brix/etc/param.xml", c.params);
    sandbox.WriteCardFile("/brix/bin/set", "#!/bin/sh\n");
    ::chmod(sandbox.CardPath("/brix/bin/set").c_str(), 0755);
    sandbox.WriteCardFile("/brix/bin/plain", "#!/bin/sh\n");
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"v", "K=v\n"},
                                     {"novalue", "v\n"},
                                     {"empty", ""},
                                     {"long", "K=" + std::string(256, 'v')}})
      sandbox.WriteCardFile("/brix/conf/" + name, text);
    const CheckReport report =
        CheckCard(CardImage(sandbox.CardPath("/").string(), sandbox.WorkDir().string()));
    EXPECT_EQ(Keys(report), c.findings);
    EXPECT_EQ(ExitStatus(report), c.exit);
  }
}

TEST(CheckCard, FindsTheSampleCardsQuirksOnly) {
  const CheckReport report = CheckCard(
      CardImage(MEROVANE_SOURCE_DIR "/demo/card", MEROVANE_SOURCE_DIR "/demo/www/includes"));
  EXPECT_EQ(Keys(report), Strings({"param:12:warning", "param:9:warning"}));
}

TEST(FormatReport, WritesOneLinePerFindingInFileAndLineOrderThenTheCounts) {
  CheckReport report;
  report.Warning("b.xml", 3, "w");
  report.Error("b.xml", 1, "e");
  report.Error("a.xml", 0, "cannot be read");
  EXPECT_EQ(FormatReport(report),
            "a.xml: error: cannot be read\nb.xml:1: error: e\nb.xml:3: warning: w\n"
            "2 errors, 1 warning\n");
}

}  // namespace
