// Whole-request tests of the entry point: routing, the redirect, the static
// page, page fragments and the error log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>

#include "e2e/harness/cgi_run.hpp"

namespace {
using namespace testing_support;

const std::string kHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
const std::string kRedirect = "Location: http://card.example/cgi-bin/Merovane\r\n\r\n";

std::string StaticPageText() {
  return kHeader + Sandbox::IncludeMarker("pageHeader.html") + Sandbox::IncludeMarker("staticPage.html") +
         Sandbox::IncludeMarker("pageFooter.html");
}

// The update status page when no update is under way.
std::string UpdateCompletePage() {
  return kHeader + Sandbox::IncludeMarker("pageHeader.html") + Sandbox::IncludeMarker("generalHeader.html") +
         "<div class=\"progressbar\"><img src=\"/pics/progressbar-done.gif\"/></div>"
         "<div class=\"progressbar-message\">Upload Complete</div>" +
         Sandbox::IncludeMarker("pageFooter.html");
}

// What a GET request without referer gets from each route.
enum class Answer { kStaticPage, kRedirect, kUpdateStatus, kNothing };

std::string AnswerText(Answer answer) {
  switch (answer) {
    case Answer::kStaticPage: return StaticPageText();
    case Answer::kRedirect: return kRedirect;
    case Answer::kUpdateStatus: return UpdateCompletePage();
    case Answer::kNothing: return "";
  }
  return "";
}

struct RouteCase {
  std::optional<std::string> path_info;  // nullopt: PATH_INFO unset
  Answer answer;
};

void PrintTo(const RouteCase& route, std::ostream* os) { *os << (route.path_info ? "\"" + *route.path_info + "\"" : "unset"); }

class RouteDispatch : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RouteDispatch, AnswersWithTheRoutesPage) {
  Sandbox sandbox;
  const RouteCase& route = GetParam();
  CgiEnvironment env = GetRequest(route.path_info.value_or(""));
  if (!route.path_info) {
    RemoveVariable(env, "PATH_INFO");
  }
  const CgiRun run = RunCgi(sandbox, env);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, AnswerText(route.answer));
  EXPECT_EQ(run.err, "");
}

// Every name of the route table, and paths that differ from one only slightly.
INSTANTIATE_TEST_SUITE_P(
    RouteTable, RouteDispatch,
    ::testing::Values(RouteCase{std::nullopt, Answer::kStaticPage}, RouteCase{"", Answer::kRedirect},
                      RouteCase{"/logon", Answer::kRedirect}, RouteCase{"/navigator", Answer::kRedirect},
                      RouteCase{"/cardcontrol", Answer::kStaticPage}, RouteCase{"/pollcard", Answer::kRedirect},
                      RouteCase{"/click", Answer::kRedirect}, RouteCase{"/logout", Answer::kRedirect},
                      RouteCase{"/pollnavigator", Answer::kRedirect}, RouteCase{"/upload", Answer::kStaticPage},
                      RouteCase{"/uploadstatus", Answer::kUpdateStatus}, RouteCase{"/uploadupdate", Answer::kNothing},
                      RouteCase{"/reboot", Answer::kStaticPage}, RouteCase{"/Reboot", Answer::kRedirect},
                      RouteCase{"/uploadstatus/", Answer::kRedirect},
                      RouteCase{"/account", Answer::kRedirect}, RouteCase{"/delcard", Answer::kRedirect},
                      RouteCase{"/snmpconf", Answer::kStaticPage}, RouteCase{"/set/", Answer::kRedirect},
                      RouteCase{"/SET", Answer::kRedirect}, RouteCase{"/cardcontrol/", Answer::kRedirect},
                      RouteCase{"/Upload", Answer::kRedirect}, RouteCase{"cardcontrol", Answer::kRedirect},
                      RouteCase{"/nowhere", Answer::kRedirect}));

TEST(Dispatch, RequestMethodPlaysNoPartInTheChoice) {
  Sandbox sandbox;
  for (const char* path : {"/cardcontrol", "/logon"}) {
    CgiEnvironment get = GetRequest(path);
    const std::string expected = RunCgi(sandbox, get).out;
    for (const char* method : {"POST", "HEAD", "DELETE"}) {
      CgiEnvironment env = get;
      SetVariable(env, "REQUEST_METHOD", method);
      EXPECT_EQ(RunCgi(sandbox, env).out, expected) << path << " " << method;
    }
    RemoveVariable(get, "REQUEST_METHOD");
    EXPECT_EQ(RunCgi(sandbox, get).out, expected) << path << " without a method";
  }
}

struct RedirectCase {
  const char* name;
  std::optional<std::string> host;
  std::optional<std::string> script;
  std::string expected;
  std::optional<std::string> server_name = std::nullopt;  // and SERVER_PORT, for a request without a host
  std::string server_port = "80";
};

void PrintTo(const RedirectCase& c, std::ostream* os) { *os << c.name; }

class Redirect : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(Redirect, IsOneLocationLineAndTheEmptyLine) {
  Sandbox sandbox;
  const RedirectCase& c = GetParam();
  CgiEnvironment env = GetRequest("/logon");
  RemoveVariable(env, "HTTP_HOST");
  RemoveVariable(env, "SCRIPT_NAME");
  if (c.host) SetVariable(env, "HTTP_HOST", *c.host);
  if (c.script) SetVariable(env, "SCRIPT_NAME", *c.script);
  if (c.server_name) {
    SetVariable(env, "SERVER_NAME", *c.server_name);
    SetVariable(env, "SERVER_PORT", c.server_port);
  }
  const CgiRun run = RunCgi(sandbox, env);
  EXPECT_EQ(run.out, c.expected);
  EXPECT_EQ(run.exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    HostAndScript, Redirect,
    ::testing::Values(
        RedirectCase{"Ordinary", "10.1.2.3:8080", "/cgi-bin/Merovane",
                     "Location: http://10.1.2.3:8080/cgi-bin/Merovane\r\n\r\n"},
        // No host at all: a path, resolved against the address the browser asked for.
        RedirectCase{"BothUnset", std::nullopt, std::nullopt, "Location: /\r\n\r\n"},
        RedirectCase{"HostUnset", std::nullopt, "/cgi-bin/Merovane", "Location: /cgi-bin/Merovane\r\n\r\n"},
        RedirectCase{"EmptyValues", "", "", "Location: /\r\n\r\n"},
        RedirectCase{"HostUnsetServerOnPort80", std::nullopt, "/cgi-bin/Merovane",
                     "Location: http://card/cgi-bin/Merovane\r\n\r\n", "card"},
        RedirectCase{"HostUnsetServerOnOtherPort", std::nullopt, "/cgi-bin/Merovane",
                     "Location: http://10.0.0.2:8080/cgi-bin/Merovane\r\n\r\n", "10.0.0.2", "8080"},
        RedirectCase{"HostUnsetServerIPv6", std::nullopt, "/x", "Location: http://[::1]:81/x\r\n\r\n", "::1", "81"},
        RedirectCase{"HostBeforeServer", "card.example", "/x", "Location: http://card.example/x\r\n\r\n", "other",
                     "81"},
        // Response splitting: no request text may end the header line early.
        RedirectCase{"CrLfInHost", "evil\r\nSet-Cookie: a=b\r\n\r\n<script>", "/cgi-bin/Merovane",
                     "Location: http://evilSet-Cookie: a=b<script>/cgi-bin/Merovane\r\n\r\n"},
        RedirectCase{"LoneLineFeedInScript", "card", "/x\ny\rz", "Location: http://card/xyz\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IncludeFragments, AreCopiedByteForByte) {
  Sandbox sandbox;
  const std::string long_lines = std::string(500, 'a') + "\n" + std::string(500, 'b') + "\r\n" + std::string(321, 'c');
  const std::string with_nul = std::string("x\0y\n", 4);
  sandbox.WriteInclude("pageHeader.html", long_lines);
  sandbox.WriteInclude("staticPage.html", "");
  sandbox.WriteInclude("pageFooter.html", with_nul);
  const CgiRun run = RunCgi(sandbox, GetRequest("/cardcontrol"));
  EXPECT_EQ(run.out, kHeader + long_lines + with_nul);
}

TEST(IncludeFragments, MissingFragmentAddsNothingAndIsLogged) {
  Sandbox sandbox;
  std::filesystem::remove(sandbox.Root() / "www" / "includes" / "staticPage.html");
  const CgiRun run = RunCgi(sandbox, GetRequest("/upload"));
  EXPECT_EQ(run.out, kHeader + Sandbox::IncludeMarker("pageHeader.html") + Sandbox::IncludeMarker("pageFooter.html"));
  EXPECT_EQ(sandbox.ReadFile(sandbox.CardPath("/tmp/wwwError.txt")),
            "can't open file ../includes/staticPage.html to read\n");
}

TEST(ErrorLog, IsCreatedWritableByEveryone) {
  Sandbox sandbox;
  const auto log = sandbox.CardPath("/tmp/wwwError.txt");
  ASSERT_FALSE(sandbox.Exists(log));
  EXPECT_EQ(RunCgi(sandbox, GetRequest("/snmpconf")).exit_status, 0);
  struct stat status {};
  ASSERT_EQ(::stat(log.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0777u);
  EXPECT_EQ(status.st_size, 0);
}

TEST(ErrorLog, ExistingLogIsAppendedTo) {
  Sandbox sandbox;
  const auto log = sandbox.CardPath("/tmp/wwwError.txt");
  sandbox.WriteFile(log, "earlier\n", 0600);
  std::filesystem::remove(sandbox.Root() / "www" / "includes" / "pageFooter.html");
  RunCgi(sandbox, GetRequest("/snmpconf"));
  EXPECT_EQ(sandbox.ReadFile(log), "earlier\ncan't open file ../includes/pageFooter.html to read\n");
  struct stat status {};
  ASSERT_EQ(::stat(log.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0777u);
}

// Whatever another process puts at the log's name in /tmp is neither written
// to, nor waited for, nor given another mode: a link to a file of the card, a
// second hard link to one, a FIFO with or without a reader.
TEST(ErrorLog, OnlyAPlainFileOfItsOwnIsUsed) {
  Sandbox sandbox;
  const auto log = sandbox.CardPath("/tmp/wwwError.txt");
  const auto target = sandbox.Root() / "records" / "precious";
  std::filesystem::remove(sandbox.Root() / "www" / "includes" / "pageFooter.html");  // a message to log
  for (const std::string kind : {"symbolic link", "hard link", "fifo", "fifo with a reader"}) {
    sandbox.WriteFile(target, "precious\n", 0600);
    std::filesystem::remove(log);
    int reader = -1;
    if (kind == "symbolic link") {
      std::filesystem::create_symlink(target, log);
    } else if (kind == "hard link") {
      std::filesystem::create_hard_link(target, log);
    } else {
      ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
      if (kind == "fifo with a reader") reader = ::open(log.c_str(), O_RDONLY | O_NONBLOCK);
    }
    const CgiRun run = RunCgi(sandbox, GetRequest("/snmpconf"), "", {.timeout = std::chrono::seconds(10)});
    EXPECT_EQ(run.out, kHeader + Sandbox::IncludeMarker("pageHeader.html") + Sandbox::IncludeMarker("staticPage.html"))
        << kind;
    EXPECT_EQ(sandbox.ReadFile(target), "precious\n") << kind;
    struct stat status {};
    ASSERT_EQ(::lstat(kind.starts_with("fifo") ? log.c_str() : target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u) << kind;
    if (reader >= 0) {
      char byte = 0;
      EXPECT_LE(::read(reader, &byte, 1), 0) << "the fifo holds a message";
      ::close(reader);
    }
  }
}

// A standard stream that the server left closed is not taken by the log: the
// page (1) or the library's message on standard error (2) never go into it.
TEST(ErrorLog, NeverTakesTheNumberOfAClosedStandardStream) {
  const char* valgrind = std::getenv("MEROVANE_TEST_VALGRIND");
  if (valgrind != nullptr && *valgrind != '\0') GTEST_SKIP() << "memcheck's own log would take the closed number";
  Sandbox sandbox;
  const auto log = sandbox.CardPath("/tmp/wwwError.txt");
  std::filesystem::remove(sandbox.Root() / "www" / "includes" / "pageFooter.html");
  RunCgi(sandbox, GetRequest("/snmpconf"), "", {.closed_stream = 1});
  EXPECT_EQ(sandbox.ReadFile(log), "can't open file ../includes/pageFooter.html to read\n");

  std::filesystem::remove(log);
  CgiEnvironment env = GetRequest("/set");
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_TYPE", "text/plain");
  SetVariable(env, "CONTENT_LENGTH", "1");
  RunCgi(sandbox, env, "x", {.closed_stream = 2});
  EXPECT_EQ(sandbox.ReadFile(log), "");
}

TEST(ErrorLog, ProgramAnswersWhenTheLogCannotBeOpened) {
  Sandbox sandbox;
  std::filesystem::remove_all(sandbox.CardPath("/tmp"));
  for (const char* path : {"/cardcontrol", "/logon"}) {
    const CgiRun run = RunCgi(sandbox, GetRequest(path));
    EXPECT_EQ(run.exit_status, 0) << path;
    EXPECT_FALSE(run.out.empty()) << path;
  }
  CgiEnvironment no_path = GetRequest("");
  RemoveVariable(no_path, "PATH_INFO");
  std::filesystem::remove(sandbox.Root() / "www" / "includes" / "pageHeader.html");
  const CgiRun run = RunCgi(sandbox, no_path);
  EXPECT_EQ(run.out, kHeader + Sandbox::IncludeMarker("staticPage.html") + Sandbox::IncludeMarker("pageFooter.html"));
  EXPECT_EQ(run.exit_status, 0);
}

}  // namespace
