// Whole-request tests of the update progress feed and the status page.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>

#include "e2e/harness/cgi_run.hpp"

namespace {
using namespace testing_support;
using namespace std::string_literals;

const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
const std::string kHtmlHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
const std::string kFeedComplete = "0</>stop=1</>msg=Upload complete</>percentage=100\r\n";
const std::string kFeedCompletePpc =
    "0</>stop=1</>msg=Upload complete.<br>You should reboot the controller for the change to take effect.<br>"
    "</>percentage=100\r\n<form action=\"/cgi-bin/Merovane/reboot\" method=\"GET\"><input type=\"submit\" "
    "value=\"Reboot\"></form>\r\n";
const std::string kDoneBar = "<div class=\"progressbar\"><img src=\"/pics/progressbar-done.gif\"/></div>";
const std::string kPageComplete = kDoneBar + "<div class=\"progressbar-message\">Upload Complete</div>";
const std::string kPageRebootForm =
    "<form action=\"/cgi-bin/Merovane/reboot\" method=\"post\"><center>\n"
    "<div style=\"width: 400px; text-align: center;\">You will need to reboot the frame for the changes to take "
    "effect.<br/><br/>\n"
    "<input style=\"width: 100%;\" type=\"submit\" name=\"submitbutton\" value=\"Reboot\"/></div></center>\n"
    "</form>\n";

std::string FeedRunning(const std::string& percentage) { return "0</>stop=0</>percentage=" + percentage + "\r\n"; }
std::string PageError(const std::string& message) {
  return kDoneBar + "<div class=\"progressbar-message\">Error:&nbsp;&nbsp;<span class=\"errorText\">" + message +
         "</span></div>";
}
std::string Page(const std::string& body) {
  return kHtmlHeader + Sandbox::IncludeMarker("pageHeader.html") + Sandbox::IncludeMarker("generalHeader.html") +
         body + Sandbox::IncludeMarker("pageFooter.html");
}
const std::string kPageRunning =
    "<meta http-equiv=\"refresh\" content=\"2\"/><div class=\"progressbar\"><img src=\"/pics/progressbar.gif\"/>"
    "</div><div class=\"progressbar-message\">Update in progress</div>";

enum class Route { kFeed, kPage };
enum class Load { kDefault, kPpc };
enum class Outcome { kRunning, kFailed, kCompleted, kUnreadable, kMissing };
// What lies at the progress file's name: the updater's own file (the tests'
// user plays the updater), another user's, a link to a file of the
// updater's, or a FIFO.
enum class Shape { kOwnFile, kOtherUsersFile, kLink, kFifo };

const char* FileOf(Load load) { return load == Load::kPpc ? "/tmp/ppcprogress" : "/tmp/progress"; }

CgiRun Request(const Sandbox& sandbox, Route route, Load load) {
  if (route == Route::kPage) {
    CgiEnvironment env = GetRequest("/uploadstatus");
    SetVariable(env, "QUERY_STRING", load == Load::kPpc ? "type=ppcupload" : "type=firmware");
    return RunCgi(sandbox, env);
  }
  const std::string body = load == Load::kPpc ? "loadtype=ppcupload" : "loadtype=firmware";
  CgiEnvironment env = GetRequest("/uploadupdate");
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_LENGTH", std::to_string(body.size()));
  return RunCgi(sandbox, env, body);
}

struct ProgressCase {
  const char* name = "";
  std::optional<std::string> bytes = std::nullopt;  // nullopt: no progress file
  Outcome outcome = Outcome::kMissing;
  std::string percentage = "";
  std::string default_message = "";
  std::string ppc_message = "";
  unsigned mode = 0644;
  Shape shape = Shape::kOwnFile;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }

void PlaceProgressFile(const Sandbox& sandbox, const std::filesystem::path& file, const ProgressCase& c) {
  const auto real = sandbox.Root() / "records" / "progress";
  switch (c.shape) {
    case Shape::kOwnFile: sandbox.WriteFile(file, *c.bytes, c.mode); break;
    case Shape::kOtherUsersFile:
      sandbox.WriteFile(file, *c.bytes, c.mode);
      ASSERT_EQ(::chown(file.c_str(), 1006, 1006), 0);
      break;
    case Shape::kLink:
      sandbox.WriteFile(real, *c.bytes, c.mode);
      std::filesystem::create_symlink(real, file);
      break;
    case Shape::kFifo: ASSERT_EQ(::mkfifo(file.c_str(), c.mode), 0); break;
  }
}
void PrintTo(Route route, std::ostream* os) { *os << (route == Route::kFeed ? "feed" : "page"); }
void PrintTo(Load load, std::ostream* os) { *os << (load == Load::kPpc ? "ppcupload" : "default"); }

std::string Expected(const ProgressCase& c, Route route, Load load) {
  const std::string& message = load == Load::kPpc ? c.ppc_message : c.default_message;
  switch (c.outcome) {
    case Outcome::kRunning:
      return route == Route::kFeed ? kTextHeader + FeedRunning(c.percentage) : Page(kPageRunning);
    case Outcome::kFailed:
      return route == Route::kFeed
                 ? kTextHeader + "0</>stop=1</>msg=" + message + "</>percentage=" + c.percentage + "\r\n"
                 : Page(PageError(message));
    case Outcome::kCompleted:
      return route == Route::kFeed ? kTextHeader + (load == Load::kPpc ? kFeedCompletePpc : kFeedComplete)
                                   : Page(kPageComplete + kPageRebootForm);
    case Outcome::kUnreadable:
      return route == Route::kFeed ? kTextHeader + "5" : Page(PageError("Unable to read progress file"));
    case Outcome::kMissing:
      return route == Route::kFeed ? kTextHeader + kFeedComplete : Page(kPageComplete);
  }
  return "";
}

class ProgressState : public ::testing::TestWithParam<std::tuple<ProgressCase, Route, Load>> {};

// Each state is written to the load type's file; the other load type's file
// holds a running update that must be neither read nor touched.
TEST_P(ProgressState, IsReportedAndAnEndedUpdateIsDeletedOnce) {
  const auto& [c, route, load] = GetParam();
  if (c.shape == Shape::kOtherUsersFile && ::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
  Sandbox sandbox;
  const auto file = sandbox.CardPath(FileOf(load));
  const auto other = sandbox.CardPath(FileOf(load == Load::kPpc ? Load::kDefault : Load::kPpc));
  sandbox.WriteFile(other, "\x01\x00\x07"s);
  if (c.bytes) PlaceProgressFile(sandbox, file, c);

  const CgiRun run = Request(sandbox, route, load);
  EXPECT_EQ(run.out, Expected(c, route, load));
  EXPECT_EQ(run.err, "");
  const bool ended = c.outcome == Outcome::kFailed || c.outcome == Outcome::kCompleted;
  EXPECT_EQ(sandbox.Exists(file), c.bytes && !ended);
  if (ended) {
    for (Route next : {Route::kFeed, Route::kPage}) {
      EXPECT_EQ(Request(sandbox, next, load).out, Expected({}, next, load));
    }
  } else if (c.bytes && c.shape != Shape::kFifo) {
    EXPECT_EQ(std::filesystem::file_size(file), c.bytes->size());  // may be unreadable to the test too
  }
  EXPECT_EQ(sandbox.ReadFile(other), "\x01\x00\x07"s);
  EXPECT_EQ(sandbox.ReadFile(sandbox.CardPath("/tmp/wwwError.txt")), "");
}

INSTANTIATE_TEST_SUITE_P(
    StatesRoutesLoadTypes, ProgressState,
    ::testing::Combine(
        ::testing::Values(
            ProgressCase{"Running42", "\x01\x00\x2a"s, Outcome::kRunning, "42"},
            ProgressCase{"FinishedAt99", "\x02\x00\x63"s, Outcome::kRunning, "99"},
            ProgressCase{"FinishedAt255", "\x02\x00\xff"s, Outcome::kRunning, "255"},
            ProgressCase{"TrailingBytesIgnored", "\x01\x00\x05\x02\x00\x64"s, Outcome::kRunning, "5"},
            ProgressCase{"Completed", "\x02\x00\x64"s, Outcome::kCompleted},
            ProgressCase{"Failed", "\x00\x03\x10"s, Outcome::kFailed, "16", "File upload failed", "Invalid tar file"},
            ProgressCase{"FailedAtCompletion", "\x02\x01\x64"s, Outcome::kFailed, "100", "No response from device",
                         "Tar file does not exist"},
            ProgressCase{"LastOfTheLongTable", "\x01\x0c\x01"s, Outcome::kFailed, "1", "Header with no product name",
                         "Unknown error 12"},
            ProgressCase{"PastBothTables", "\x00\x11\x00"s, Outcome::kFailed, "0", "Unknown error 17",
                         "Unknown error 17"},
            ProgressCase{"TwoBytes", "\x02\x00"s, Outcome::kUnreadable},
            ProgressCase{"Empty", ""s, Outcome::kUnreadable},
            ProgressCase{"NotOpenable", "\x02\x00\x64"s, Outcome::kUnreadable, "", "", "", 0},
            // Believed only from the updater: its own plain file that nobody else may write.
            ProgressCase{"GroupWritable", "\x02\x00\x64"s, Outcome::kUnreadable, "", "", "", 0664},
            ProgressCase{"OthersWritable", "\x02\x00\x64"s, Outcome::kUnreadable, "", "", "", 0646},
            ProgressCase{"OtherUsers", "\x02\x00\x64"s, Outcome::kUnreadable, "", "", "", 0644, Shape::kOtherUsersFile},
            ProgressCase{"Link", "\x02\x00\x64"s, Outcome::kUnreadable, "", "", "", 0644, Shape::kLink},
            ProgressCase{"Fifo", ""s, Outcome::kUnreadable, "", "", "", 0644, Shape::kFifo},
            ProgressCase{"Missing", std::nullopt, Outcome::kMissing}),
        ::testing::Values(Route::kFeed, Route::kPage), ::testing::Values(Load::kDefault, Load::kPpc)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) == Route::kFeed ? "Feed" : "Page") +
             (std::get<2>(info.param) == Load::kPpc ? "Ppc" : "Default");
    });

// The feed's request: which bodies name which load type. The two progress
// files hold different running percentages, so the answer tells which was read.
struct FeedCase {
  const char* name;
  std::string body;
  std::optional<std::string> content_length;  // nullopt: unset; "" : the body's size
  const char* expected;                        // "" nothing, "5", "ppc" or "default"
  std::optional<std::string> method = "POST";
  std::size_t split = 0;
};

void PrintTo(const FeedCase& c, std::ostream* os) { *os << c.name; }

class FeedRequest : public ::testing::TestWithParam<FeedCase> {};

TEST_P(FeedRequest, PicksTheLoadTypeFromTheBody) {
  const FeedCase& c = GetParam();
  Sandbox sandbox;
  sandbox.WriteCardFile("/tmp/ppcprogress", "\x01\x00\x0b"s);
  sandbox.WriteCardFile("/tmp/progress", "\x01\x00\x16"s);
  CgiEnvironment env = GetRequest("/uploadupdate");
  RemoveVariable(env, "REQUEST_METHOD");
  if (c.method) SetVariable(env, "REQUEST_METHOD", *c.method);
  if (c.content_length) {
    SetVariable(env, "CONTENT_LENGTH", c.content_length->empty() ? std::to_string(c.body.size()) : *c.content_length);
  }
  const CgiRun run = RunCgi(sandbox, env, c.body, {.body_split = c.split, .body_pause = std::chrono::milliseconds(300)});
  const std::string expected = c.expected;
  EXPECT_EQ(run.out, expected.empty()  ? ""
                     : expected == "5" ? kTextHeader + "5"
                                       : kTextHeader + FeedRunning(expected == "ppc" ? "11" : "22"));
  EXPECT_EQ(run.exit_status, 0);
}

const std::string kPpcBody = "loadtype=ppcupload";

INSTANTIATE_TEST_SUITE_P(
    Bodies, FeedRequest,
    ::testing::Values(
        FeedCase{"Get", kPpcBody, "", "", "GET"}, FeedCase{"NoMethod", kPpcBody, "", "", std::nullopt},
        FeedCase{"LowerCasePost", kPpcBody, "", "", "post"}, FeedCase{"Ppc", kPpcBody, "", "ppc"},
        FeedCase{"PpcThenSpace", kPpcBody + " x=1", "", "ppc"}, FeedCase{"PpcAfterOthers", "a=1&" + kPpcBody, "", "ppc"},
        FeedCase{"PpcThenAmpersand", kPpcBody + "&x=1", "", "default"},
        FeedCase{"FirstLoadTypeCounts", "loadtype=rootfs " + kPpcBody, "", "default"},
        FeedCase{"OverlongValue", "loadtype=" + std::string(200, 'p'), "", "default"},
        FeedCase{"NoLoadType", "type=ppcupload", "", "5"}, FeedCase{"NoLength", kPpcBody, std::nullopt, "5"},
        FeedCase{"LengthCutsTheValue", kPpcBody, "17", "default"}, FeedCase{"HexLength", kPpcBody, "0x12", "ppc"},
        FeedCase{"OctalLength", kPpcBody, "022", "ppc"}, FeedCase{"LengthPastTheBody", kPpcBody, "1000", "ppc"},
        FeedCase{"EndsAtLimit", std::string(1006, 'a') + kPpcBody, "", "ppc"},
        FeedCase{"CutAtLimit", std::string(1007, 'a') + kPpcBody, "", "default"},
        FeedCase{"KeyPastLimit", std::string(1016, 'a') + kPpcBody, "", "5"},
        FeedCase{"TextEndsAtNul", "a\0"s + kPpcBody, "", "5"},
        FeedCase{"ArrivesInTwoPieces", kPpcBody, "", "ppc", "POST", 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatusPage, TellsTheLoadTypeByASubstringOfTheQuery) {
  Sandbox sandbox;
  sandbox.WriteCardFile("/tmp/ppcprogress", "\x00\x01\x00"s);
  sandbox.WriteCardFile("/tmp/progress", "\x01\x00\x00"s);
  for (const auto& [query, ppc] : {std::pair{std::optional<std::string>{}, false}, {"PPCUPLOAD", false},
                                   {"a=xppcuploadx", true}}) {
    CgiEnvironment env = GetRequest("/uploadstatus");
    if (query) SetVariable(env, "QUERY_STRING", *query);
    EXPECT_EQ(RunCgi(sandbox, env).out, Page(ppc ? PageError("Tar file does not exist") : kPageRunning))
        << query.value_or("unset");
  }
}

// Root only for the deletion: the page's footer, read after it, is read as
// the lowered user again, so a fragment only root may read stays out.
TEST(StatusPage, ReadsOnAsTheLoweredUserAfterTheDeletion) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: only root lowers its effective user";
  Sandbox sandbox;
  sandbox.WriteCardFile("/tmp/progress", "\x02\x00\x64"s);
  sandbox.WriteFile(sandbox.Root() / "www" / "includes" / "pageFooter.html", "root only\n", 0600);
  const std::string page = Page(kPageComplete + kPageRebootForm);
  EXPECT_EQ(RunCgi(sandbox, GetRequest("/uploadstatus")).out,
            page.substr(0, page.size() - Sandbox::IncludeMarker("pageFooter.html").size()));
  EXPECT_FALSE(sandbox.Exists(sandbox.CardPath("/tmp/progress")));
}

// A completed update whose file can't be deleted (a directory the program may
// not write, and no privilege to raise its effective user) is logged.
TEST(Feed, LogsAFailedDeletionAfterCompletion) {
  Sandbox sandbox;
  const uid_t nobody = 65534;
  const uid_t user = ::geteuid() == 0 ? nobody : ::getuid();
  const auto log = sandbox.CardPath("/tmp/wwwError.txt");
  sandbox.WriteFile(log, "", 0666);
  sandbox.WriteCardFile("/tmp/progress", "\x02\x00\x64"s);
  std::filesystem::permissions(sandbox.CardPath("/tmp"), std::filesystem::perms(0555));
  CgiEnvironment env = GetRequest("/uploadupdate");
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_LENGTH", "17");
  const CgiRun run = RunCgi(sandbox, env, "loadtype=firmware", {.user = nobody});
  std::filesystem::permissions(sandbox.CardPath("/tmp"), std::filesystem::perms(01777));
  EXPECT_EQ(run.out, kTextHeader + kFeedComplete);
  EXPECT_TRUE(sandbox.Exists(sandbox.CardPath("/tmp/progress")));
  EXPECT_EQ(sandbox.ReadFile(log), "unable to unlink ../../card/tmp/progress uid=" + std::to_string(user) +
                                       " euid=" + std::to_string(user) + "\r\n");
}

}  // namespace
