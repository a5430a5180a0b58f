// Whole-request tests of "/reboot". The reboot command is the sandbox's
// recording stand-in: no test can reach the machine's own.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;

const std::string kStatusPageUrl = "http://card.example/cgi-bin/Merovane/uploadstatus";

// The page is whole and the request's streams closed before the reboot
// command runs, about 2 s later, with only its path.
TEST(Reboot, FromTheStatusPageAnswersThenRebootsTwoSecondsLater) {
  Sandbox sandbox;
  CgiEnvironment env = GetRequest("/reboot");
  SetVariable(env, "HTTP_REFERER", kStatusPageUrl + "?type=ppcupload");
  const auto started = std::filesystem::file_time_type::clock::now();
  const CgiRun run = RunCgi(sandbox, env);
  EXPECT_EQ(run.out, RebootingPage(kTestHost));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_TRUE(sandbox.Records().empty());
  EXPECT_EQ(sandbox.Records(1, std::chrono::seconds(10)), std::vector<std::string>{"reboot [../../card/sbin/reboot]"});
  EXPECT_GE(std::filesystem::last_write_time(sandbox.RecordLog()) - started, std::chrono::milliseconds(1900));
}

// Refused requests get the static page and no reboot; a last, accepted one
// shows when a reboot of any earlier one would have run by.
TEST(Reboot, FromAnywhereElseGivesTheStaticPageAndNoReboot) {
  Sandbox sandbox;
  for (const std::string& referer : std::vector<std::string>{"", "http://card.example/cgi-bin/Merovane/set",
                                    "http://evil.example/?" + kStatusPageUrl, kStatusPageUrl}) {
    CgiEnvironment env = GetRequest("/reboot");
    if (!referer.empty()) SetVariable(env, "HTTP_REFERER", referer);
    EXPECT_EQ(RunCgi(sandbox, env).out, referer == kStatusPageUrl ? RebootingPage(kTestHost) : StaticPage()) << referer;
  }
  EXPECT_EQ(sandbox.Records(1, std::chrono::seconds(10)), std::vector<std::string>{"reboot [../../card/sbin/reboot]"});
}

}  // namespace
