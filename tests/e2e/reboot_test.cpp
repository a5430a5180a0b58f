// Whole-request tests of the reboot route. The sandbox's reboot command is a
// stand-in that records its arguments and the time it ran; the program only
// knows the sandbox's path for it, so no test can reach the machine's own.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/harness/cgi_run.hpp"

namespace {
using namespace testing_support;
using std::chrono::milliseconds;

const std::string kStatusPage = "http://card.example/cgi-bin/Merovane/uploadstatus";
const std::string kRebootRecord = "reboot [../../card/sbin/reboot]";
constexpr milliseconds kRecordWait{10000};

std::string StaticPageText() {
  return "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\nCache-Control: no-cache\r\n"
         "Pragma: no-cache\r\n\r\n" +
         Sandbox::IncludeMarker("pageHeader.html") + Sandbox::IncludeMarker("staticPage.html") +
         Sandbox::IncludeMarker("pageFooter.html");
}

std::string RebootingPage(const std::string& refresh_host) {
  return "Content-type: text/html\r\nRefresh: 30; http://" + refresh_host +
         "\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n\r\n" +
         Sandbox::IncludeMarker("pageHeader.html") + "<div class=\"headerBox\"></div>" +
         "<div align=\"center\"><h1>Card is rebooting</h1><p>Please wait 30 seconds</p></div>" +
         Sandbox::IncludeMarker("pageFooter.html");
}

struct RefererCase {
  const char* name;
  std::optional<std::string> referer;  // nullopt: HTTP_REFERER unset
  std::optional<std::string> host = kTestHost;
  std::string refresh_host = kTestHost;  // what the Refresh header names, when accepted
};

CgiEnvironment RebootRequest(const RefererCase& c) {
  CgiEnvironment env = GetRequest("/reboot");
  RemoveVariable(env, "HTTP_HOST");
  if (c.host) SetVariable(env, "HTTP_HOST", *c.host);
  if (c.referer) SetVariable(env, "HTTP_REFERER", *c.referer);
  return env;
}

const std::string kLongHost = std::string(70, 'h') + ".example";

// The page is complete, and the request's streams closed, before the child's
// pause ends; the stand-in runs about 2 s later with only its path.
TEST(Reboot, FromTheStatusPageAnswersThenRebootsTwoSecondsLater) {
  const std::vector<RefererCase> accepted = {
      {"Exact", kStatusPage},
      {"WithQuery", kStatusPage + "?type=ppcupload"},
      {"LongHostWithLineBreaks", "http://" + kLongHost + "\r\nX: y/cgi-bin/Merovane/uploadstatus",
       kLongHost + "\r\nX: y", kLongHost + "X: y"},
  };
  std::vector<std::unique_ptr<Sandbox>> sandboxes;
  std::vector<std::chrono::system_clock::time_point> started;
  for (const RefererCase& c : accepted) {
    SCOPED_TRACE(c.name);
    sandboxes.push_back(std::make_unique<Sandbox>());
    started.push_back(std::chrono::system_clock::now());
    const CgiRun run = RunCgi(*sandboxes.back(), RebootRequest(c));
    EXPECT_EQ(run.out, RebootingPage(c.refresh_host));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(sandboxes.back()->Records().empty());
  }
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    SCOPED_TRACE(accepted[i].name);
    EXPECT_EQ(sandboxes[i]->WaitForRecords(1, kRecordWait), std::vector<std::string>{kRebootRecord});
    const auto ran = sandboxes[i]->RecordTimes("reboot");
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_GE(ran[0] - started[i], milliseconds(2000));
  }
}

// Every refused request gets the static page and no reboot. A last, accepted
// request shows when a reboot of any earlier one would have run by.
TEST(Reboot, FromAnywhereElseGivesTheStaticPageAndNoReboot) {
  const std::string expected_long = "http://" + kLongHost + "/cgi-bin/Merovane/uploadstatus";
  const std::vector<RefererCase> refused = {
      {"NoReferer", std::nullopt},
      {"EmptyReferer", ""},
      {"LetterCase", "http://card.example/cgi-bin/merovane/uploadstatus"},
      {"OtherRoute", "http://card.example/cgi-bin/Merovane/set"},
      {"ShorterThanExpected", "http://card.example/cgi-bin/Merovane/upload"},
      {"OtherHost", "http://card.example.evil/cgi-bin/Merovane/uploadstatus"},
      {"CutOffPrefixOfLongHost", expected_long.substr(0, 63) + "-elsewhere", kLongHost},
      {"NoHost", "http:///cgi-bin/Merovane/uploadstatus", std::nullopt},
  };
  Sandbox sandbox;
  for (const RefererCase& c : refused) {
    const CgiRun run = RunCgi(sandbox, RebootRequest(c));
    EXPECT_EQ(run.out, StaticPageText()) << c.name;
    EXPECT_EQ(run.exit_status, 0) << c.name;
  }
  RunCgi(sandbox, RebootRequest({"Sentinel", kStatusPage}));
  EXPECT_EQ(sandbox.WaitForRecords(1, kRecordWait), std::vector<std::string>{kRebootRecord});
}

}  // namespace
