// Whole-request tests of the progress feed and status page: one request per kind of answer.
#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;
using namespace std::string_literals;
namespace fs = std::filesystem;

// The feed or the status page for the firmware or ppc load.
std::string Answer(const Sandbox& sandbox, bool feed, bool ppc) {
  const std::string body = ppc ? "loadtype=ppcupload" : "loadtype=firmware";
  const CgiEnvironment env =
      feed ? PostRequest("/uploadupdate", body, "")
           : With(GetRequest("/uploadstatus"),
                  ppc ? "QUERY_STRING=type=ppcupload" : "QUERY_STRING=type=firmware");
  return RunCgi(sandbox, env, feed ? body : "").out;
}

struct ProgressCase {
  const char* name;
  std::optional<std::string> bytes;  // nullopt: no progress file
  bool ppc;                          // the ppc load, else the firmware
  std::string feed, page;            // the answers
  bool ended =
      false;  // the file leaves its name, and every later answer on either route is the same
};

// The other load type's file holds a running update that is neither read nor touched.
TEST(Progress, EachKindOfStateIsReportedAndAnEndedUpdateToEveryLaterRequest) {
  for (const ProgressCase& c :
       {ProgressCase{"running", "\x01\x00\x2a"s, false, FeedRunning("42"), StatusRunningPage()},
        {"completed", "\x02\x00\x64"s, false, FeedComplete(false), StatusCompletePage(true), true},
        {"completed ppc", "\x02\x00\x64"s, true, FeedComplete(true), StatusCompletePage(true),
         true},
        {"failed", "\x00\x03\x10"s, false, FeedFailed("File upload failed", "16"),
         StatusErrorPage("File upload failed"), true},
        {"failed ppc", "\x02\x04\x64"s, true, FeedFailed("Unknown error 4", "100"),
         StatusErrorPage("Unknown error 4"), true},
        {"missing", std::nullopt, false, FeedComplete(false), StatusCompletePage(false)},
        {"missing ppc", std::nullopt, true, FeedComplete(false), StatusCompletePage(false)},
        {"unreadable", "\x02\x00"s, false, kFeedUnknown,
         StatusErrorPage("Unable to read progress file")}}) {
    for (const bool feed : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (feed ? " feed" : " page"));
      Sandbox sandbox;
      const auto file = sandbox.CardPath(c.ppc ? "/tmp/ppcprogress" : "/tmp/progress"),
                 other = sandbox.CardPath(c.ppc ? "/tmp/progress" : "/tmp/ppcprogress");
      sandbox.WriteFile(other, "\x01\x00\x07"s);
      if (c.bytes) sandbox.WriteFile(file, *c.bytes);
      EXPECT_EQ(Answer(sandbox, feed, c.ppc), feed ? c.feed : c.page);
      EXPECT_EQ(fs::exists(file), c.bytes && !c.ended);
      if (c.ended) {
        EXPECT_EQ(Answer(sandbox, true, c.ppc) + Answer(sandbox, false, c.ppc), c.feed + c.page);
      }
      EXPECT_EQ(sandbox.ReadFile(other) + sandbox.ReadFile(sandbox.ErrorLog()), "\x01\x00\x07"s);
    }
  }
}

// Root only for the deletion: the footer, read after it as the lowered user, stays out if only root
// may read it.
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

}  // namespace
