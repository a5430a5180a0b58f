// Whole-request tests of "/reboot". The reboot command is the sandbox's recording stand-in: no test
// can reach the machine's own.
#include <gtest/gtest.h>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;

// Refused requests get the static page and no reboot. From the status page the page is whole and
// the request's streams closed before the reboot command runs, about 2 s later, with only its path.
TEST(Reboot, OnlyFromTheStatusPageAnswersThenRebootsTwoSecondsLater) {
  Sandbox sandbox;
  const std::string status_page = "http://card.example/cgi-bin/Merovane/uploadstatus";
  for (const std::string& referer : std::vector<std::string>{
           "", "http://card.example/cgi-bin/Merovane/set", "http://evil.example/?" + status_page}) {
    const CgiEnvironment env = With(GetRequest("/reboot"), "HTTP_REFERER=" + referer);
    EXPECT_EQ(RunCgi(sandbox, referer.empty() ? GetRequest("/reboot") : env).out, StaticPage())
        << referer;
  }
  const CgiEnvironment env =
      With(GetRequest("/reboot"), "HTTP_REFERER=" + status_page + "?type=ppcupload");
  const auto started = std::filesystem::file_time_type::clock::now();
  const CgiRun run = RunCgi(sandbox, env);
  EXPECT_EQ(std::pair(run.out, run.exit_status),
            std::pair(RebootingPage("http://card.example"), 0));
  EXPECT_TRUE(sandbox.Records().empty());
  sandbox.Records(1, kPatience);  // then a second, of a refused request, would have run
  EXPECT_EQ(sandbox.Records(2, std::chrono::seconds(1)),
            std::vector<std::string>{"reboot [../../card/sbin/reboot]"});
  EXPECT_GE(std::filesystem::last_write_time(sandbox.RecordLog()) - started,
            std::chrono::milliseconds(1900));
}

// The reboot command holds the null device as its three streams and nothing the server left open;
// one that cannot be started is logged.
TEST(Reboot, TheCommandHoldsOnlyTheNullDeviceAndAFailedStartIsLogged) {
  Sandbox sandbox;
  sandbox.InstallDescriptorLister(sandbox.CardPath("/sbin/reboot"), "reboot");
  const CgiEnvironment env =
      With(GetRequest("/reboot"), "HTTP_REFERER=http://card.example/cgi-bin/Merovane/uploadstatus");
  RunCgi(sandbox, env, "", {.inherited_descriptor = 7});
  EXPECT_EQ(sandbox.HeldDescriptors("reboot"), "0>/dev/null 1>/dev/null 2>/dev/null ");
  std::filesystem::remove(sandbox.CardPath("/sbin/reboot"));
  RunCgi(sandbox, env);
  EXPECT_EQ(sandbox.AwaitFile(sandbox.ErrorLog(), "\n"),
            "reboot command ../../card/sbin/reboot could not be started: No such file or "
            "directory\n");
}

}  // namespace
