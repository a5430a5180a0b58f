// Whole-request tests of the progress feed, the status page and "/reboot" (the sandbox's recording
// stand-in: no test can reach the machine's reboot).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;
using namespace std::string_literals;
namespace fs = std::filesystem;

// The feed or the status page for the firmware or ppc load.
std::string Answer(const Sandbox& sandbox, bool feed, bool ppc) {
  const std::string load = ppc ? "ppcupload" : "firmware", body = feed ? "loadtype=" + load : "";
  const CgiEnvironment env = feed ? PostRequest("/uploadupdate", body, "")
                                  : With(GetRequest("/uploadstatus"), "QUERY_STRING=type=" + load);
  return RunCgi(sandbox, env, body).out;
}

// The other load's running update is neither read nor touched; an ended update's file is removed
// and every later answer on either route is the same.
TEST(Progress, EachKindOfStateIsReportedAndAnEndedUpdateToEveryLaterRequest) {
  const struct {
    std::optional<std::string> bytes;  // nullopt: no progress file
    bool ppc, ended;                   // the ppc load, else the firmware
    std::string feed, page;            // the answers
  } cases[] = {
      {"\x01\x00\x2a"s, false, false, FeedRunning("42"), kStatusRunningPage},
      {"\x02\x00\x64"s, false, true, FeedComplete(false), StatusCompletePage(true)},
      {"\x02\x00\x64"s, true, true, FeedComplete(true), StatusCompletePage(true)},
      {"\x00\x03\x10"s, false, true, FeedFailed("File upload failed", "16"),
       StatusErrorPage("File upload failed")},
      {"\x02\x04\x64"s, true, true, FeedFailed("Unknown error 4", "100"),
       StatusErrorPage("Unknown error 4")},
      {std::nullopt, true, false, FeedComplete(false), StatusCompletePage(false)},
      {"\x02\x00"s, false, false, kFeedUnknown, StatusErrorPage("Unable to read progress file")},
  };
  for (const auto& c : cases) {
    for (const bool feed : {true, false}) {
      SCOPED_TRACE(testing::PrintToString(c.bytes) + (c.ppc ? " ppc" : "") + (feed ? " feed" : ""));
      Sandbox sandbox;
      const auto file = sandbox.CardPath(c.ppc ? "/tmp/ppcprogress" : "/tmp/progress"),
                 other = sandbox.CardPath(c.ppc ? "/tmp/progress" : "/tmp/ppcprogress");
      sandbox.WriteFile(other, "\x01\x00\x07"s);
      if (c.bytes) sandbox.WriteFile(file, *c.bytes);
      EXPECT_EQ(Answer(sandbox, feed, c.ppc), feed ? c.feed : c.page);
      EXPECT_EQ(fs::exists(file), c.bytes && !c.ended);
      if (c.ended)
        EXPECT_EQ(Answer(sandbox, true, c.ppc) + Answer(sandbox, false, c.ppc), c.feed + c.page);
      EXPECT_EQ(sandbox.ReadFile(other) + sandbox.ReadFile(sandbox.ErrorLog()), "\x01\x00\x07"s);
    }
  }
}

// Root only for the deletion: a footer only root may read stays out.
TEST(Progress, StatusPageReadsOnAsTheLoweredUserAfterTheDeletion) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: only root lowers its effective user";
  Sandbox sandbox;
  sandbox.WriteFile(sandbox.CardPath("/tmp/progress"), "\x02\x00\x64"s);
  sandbox.WriteFile(sandbox.IncludePath("pageFooter.html"), "root only\n", 0600);
  const std::string page = StatusCompletePage(true);
  EXPECT_EQ(Answer(sandbox, false, false),
            page.substr(0, page.size() - Marker("pageFooter.html").size()));
  EXPECT_FALSE(fs::exists(sandbox.CardPath("/tmp/progress")));
}

// Refused requests get the static page, no reboot and a log line saying why; a HEAD the header
// alone. From the status page: the whole page, then about 2 s later the reboot command with the
// null device as its only streams; one that cannot be started is logged.
TEST(Reboot, OnlyFromTheStatusPageAnswersThenRebootsTwoSecondsLater) {
  Sandbox sandbox;
  const std::string status_page = "http://card.example/cgi-bin/Merovane/uploadstatus";
  const std::string page = RebootingPage("http://card.example"),
                    refused = "refused a reboot request";
  for (const auto& [variables, answer, log] : std::vector<std::array<std::string, 3>>{
           {"HTTP_REFERER", kStaticPage, refused + " without a referer\n"},
           {"HTTP_REFERER=http://evil.example/?" + status_page, kStaticPage,
            refused + " from another page: http://evil.example/?" + status_page + "\n"},
           {"HTTPS=on HTTP_REFERER=" + status_page, kStaticPage,
            refused + " from the status page of another scheme: " + status_page + "\n"},
           {"REQUEST_METHOD=HEAD HTTP_REFERER=" + status_page,
            page.substr(0, page.find("\r\n\r\n") + 4), ""}}) {
    EXPECT_EQ(RunCgi(sandbox, With(GetRequest("/reboot"), variables)).out, answer) << variables;
    EXPECT_EQ(sandbox.ReadFile(sandbox.ErrorLog()), log) << variables;
    fs::remove(sandbox.ErrorLog());
  }
  const CgiEnvironment env = With(GetRequest("/reboot"), "HTTP_REFERER=" + status_page + "?x");
  const auto started = fs::file_time_type::clock::now();
  const CgiRun run = RunCgi(sandbox, env);
  EXPECT_EQ(std::pair(run.out, run.exit_status), std::pair(page, 0));
  EXPECT_TRUE(sandbox.Records().empty());
  sandbox.Records(1, kPatience);  // then a second, of a refused request, would have run
  EXPECT_EQ(sandbox.Records(2, std::chrono::seconds(1)),
            std::vector<std::string>{"reboot [../../card/sbin/reboot]"});
  EXPECT_GE(fs::last_write_time(sandbox.RecordLog()) - started, std::chrono::milliseconds(1900));
  EXPECT_EQ(sandbox.HeldDescriptors("reboot"), "0>/dev/null 1>/dev/null 2>/dev/null ");
  fs::remove(sandbox.CardPath("/sbin/reboot"));
  RunCgi(sandbox, env);
  EXPECT_EQ(sandbox.AwaitFile(sandbox.ErrorLog(), "\n"),
            "reboot command ../../card/sbin/reboot could not be started: No such file or "
            "directory\n");
}

}  // namespace
