// Whole-request tests of "/set": each of its pages, the change programs and the refresh it runs,
// and what reaches them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <deque>
#include <regex>
#include <thread>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;
namespace fs = std::filesystem;

CgiRun Post(const SetCard& card, const std::string& body, const CgiRunOptions& options = {}) {
  return RunCgi(card, PostRequest("/set", body), body, options);
}

// Each form's page, runs (see Runs) and log. Rejected values are shown escaped with the stored
// form. A body short of its length, a CONTENT_LENGTH not in digits or none, and another site's form
// are refused and logged (their spellings: the unit tables). Nothing past the declared length is
// read, also from a stream left open. merovane-form writes the rows of the error page (the widgets
// of each kind: the renderer's unit table).
TEST(SetRequest, EachFormGetsItsPageItsRunsAndItsLog) {
  const std::string rows = FormRow("Beta", TextBox("b", "stored &quot;value&quot;"));
  constexpr std::string_view kMultipart = "multipart/form-data; boundary=B";
  const std::string
      a = "--B\r\nContent-Disposition: form-data; name=\"oid-a\"\r\n\r\n1\r\n",
      multipart = a + "--B\r\nContent-Disposition: form-data; name=\"oid-b\"\r\n\r\n2\r\n--B--\r\n",
      incomplete = "refused an incomplete set request: ", n = std::to_string(a.size());
  const struct {
    std::string variables, body, page, runs, log = "";
    std::string_view type = "application/x-www-form-urlencoded";  // multipart: stream left open
  } cases[] = {
      {"", "oid-a=%3Cb%3E%26&oid-b=",
       ErrorPage(ErrorLine("&lt;b&gt;&amp;", "Alpha") + ErrorLine("", "Beta"), rows), ""},
      {"", "oid-frame_ip.conf=127.0.0.10&oid-use_dhcp.conf=1", kDhcpWarningPage,
       "frame_ip.conf=127.0.0.10 use_dhcp.conf=1 refresh"},
      {"", "oid-frame_ip.conf=x%27%3B%3C%2Fscript%3E%22%3E",
       NetworkSettingsPage("http://x\\x27\\x3b\\x3c\\x2fscript\\x3e\\x22\\x3e",
                           "http://x';&lt;/script&gt;&quot;&gt;"),
       "frame_ip.conf=x';</script>\"> refresh"},
      {"CONTENT_LENGTH=18", "oid-a=1&oid-b=2", kIncompleteFormRefusal, "",
       incomplete + "15 of 18 bytes arrived\n"},
      {"CONTENT_LENGTH=" + n, multipart, kIncompleteFormRefusal, "",
       incomplete + n + " of " + n + " bytes arrived\n", kMultipart},
      {"HTTP_ORIGIN=http://evil.example", "oid-b=x", kCrossSiteRefusal, "",
       "refused a set request from origin http://evil.example to host card.example\n"},
      {"CONTENT_LENGTH=", multipart, kIncompleteFormRefusal, "",
       "refused a set request whose CONTENT_LENGTH is not a length: \"\"\n", kMultipart},
      {"CONTENT_LENGTH", multipart, kLengthRequiredRefusal, "",
       "refused a set request without CONTENT_LENGTH\n", kMultipart},
  };
  for (const auto& c : cases) {
    SetCard card({{"frame_ip.conf", "IP", "7", "1", "", false},
                  {"use_dhcp.conf", "DHCP", "8", "1", "", false},
                  {"a", "Alpha", "4", "1", "5", false},
                  {"b", "Beta", "7", "1", "stored \"value\""},
                  {"ro", "Fixed", "7", "0", "", false}});
    const std::vector<std::string> runs = card.Runs(c.runs);
    const CgiRun run = RunCgi(card, With(PostRequest("/set", c.body, c.type), c.variables), c.body,
                              {.input_left_open = c.type == kMultipart});
    EXPECT_EQ(std::pair(run.out, run.exit_status), std::pair(c.page, 0)) << c.body;
    EXPECT_EQ(card.Records(runs.size(), kPatience), runs) << c.body;
    EXPECT_EQ(card.ReadFile(card.ErrorLog()), c.log) << c.body;
    if (&c != cases) continue;
    const std::string cd = "cd " + card.WorkDir().string() + " && ";
    FILE* tool = ::popen((cd + MEROVANE_FORM_COMMAND " --root ../../card").c_str(), "r");
    std::string form(1 << 16, '\0');
    form.resize(std::fread(form.data(), 1, form.size(), tool));
    EXPECT_EQ(::pclose(tool), 0);
    EXPECT_EQ(form, Marker("configHeader.html") + rows + Marker("configFooter.html"));
  }
}

// The changes run one after another in the card's order, each with the value as applied, their
// output after the page; unsent and read-only (access "0", "-1"; "01" is writable) are left alone.
// Then the refresh runs to its end after the request process; all also when the client leaves
// (closing the response, or SIGTERM as lighttpd does). No child gets the program's files, a
// descriptor the server left open, nor HTTP_PROXY; the refresh's streams are the null device's.
TEST(SetRequest, AppliesEachSentValueInOrderThenRefreshesDetachedAlsoWhenTheClientLeaves) {
  for (const auto& [client, leave_after] :
       std::vector<std::pair<std::string, std::optional<std::string>>>{
           {"stays", std::nullopt}, {"closes", ""}, {"terminates", Marker("pageFooter.html")}}) {
    SetCard card({{"frame_ip.conf", "IP", "9"},
                  {"use_dhcp.conf", "DHCP", "8"},
                  {.oid = "n", .name = "N", .type = "4", .access = ""},
                  {.oid = "t", .name = "T", .type = "7", .access = "01"},
                  {"unsent", "U", "7"},
                  {.oid = "ro", .name = "R", .type = "7", .access = "0"},
                  {.oid = "off", .name = "O", .type = "7", .access = "-1"}});
    const std::string log = card.RecordLog().string();
    card.InstallRecorder(
        card.ChangeProgram(), "change",
        "echo \"applied $1\" 2>/dev/null; sleep 0.1; echo \"end $1$HTTP_PROXY\" >> '" + log + "'");
    card.InstallRecorder(card.CardPath("/brix/etc/refreshparams.sh"), "refresh",
                         "sleep 1; echo \"done$HTTP_PROXY\" >> '" + log + "'");
    const std::string body =
        "oid-t=three+words&oid-ro=x&oid-off=x&oid-n=007&oid-use_dhcp.conf=0&0oid-frame_ip.conf=127&"
        "1oid-frame_ip.conf=0&2oid-frame_ip.conf=00&3oid-frame_ip.conf=010";
    const CgiRun run =
        RunCgi(card, With(PostRequest("/set", body), "HTTP_PROXY=http://proxy.example:3128"), body,
               {.leave_after = leave_after, .terminate_on_leave = client == "terminates"});
    EXPECT_EQ(run.exit_status, 0) << client;
    EXPECT_EQ(card.Records(10, kPatience),
              (std::vector<std::string>{
                  card.ChangeRecord("frame_ip.conf", "127.0.0.10"), "end frame_ip.conf",
                  card.ChangeRecord("use_dhcp.conf", "0"), "end use_dhcp.conf",
                  card.ChangeRecord("n", "7"), "end n", card.ChangeRecord("t", "three words"),
                  "end t", kRefreshRecord, "done"}))
        << client;
    EXPECT_EQ(card.ReadFile(card.ErrorLog()),
              client == "closes"
                  ? "can't deliver the network settings page; applying the changes anyway\n"
                  : "");
    EXPECT_FALSE(fs::exists(card.CardPath("/tmp/netconfirm")));  // no window built
    if (client != "stays") continue;
    EXPECT_EQ(run.out, NetworkSettingsPage("http://127.0.0.10") +
                           "applied frame_ip.conf\napplied use_dhcp.conf\napplied n\napplied t\n");
    EXPECT_GE(run.output_closed - run.exited, std::chrono::milliseconds(500));
    EXPECT_EQ(card.HeldDescriptors("change"), "0> 1> 2> ");
    EXPECT_EQ(card.HeldDescriptors("refresh"), "0>/dev/null 1>/dev/null 2>/dev/null ");
  }
}

// A copy with a 2-second bound ends a change program that hangs with a child, both deaf to SIGTERM
// and out of its group; it, one that cannot start, fails or is killed, each log one line, and the
// rest still run; so does a refresh that cannot start. Each change and each refused request leave
// one syslog line (who, from where, what, how it ended), read from the sandbox's own socket.
TEST(SetRequest, ChangeProgramsAreBoundedAndEveryEndAndRefusalIsLogged) {
  SetCard card({{.oid = "absent", .name = "A", .type = "7", .prog = "/nonexistent/change"},
                {.oid = "fail", .name = "F", .type = "7"},
                {.oid = "signalled", .name = "S", .type = "7"},
                {.oid = "hang", .name = "H", .type = "7"},
                {.oid = "last", .name = "L", .type = "7"}});
  card.InstallRecorder(card.ChangeProgram(), "change",
                       "case $1 in fail) exit 3;; signalled) kill -s USR1 $$;;"
                       " hang) exec perl -e '$SIG{TERM} = \"IGNORE\"; fork or exec \"sleep\", 600;"
                       " setpgrp(0, getpgrp(getppid)); sleep 600';; esac");
  fs::remove(card.CardPath("/brix/etc/refreshparams.sh"));
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  fs::create_directories(card.CardPath("/dev"));
  card.CardPath("/dev/log").string().copy(address.sun_path, sizeof address.sun_path - 1);
  const int system_log = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::bind(system_log, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::chmod(address.sun_path, 0666);
  const CgiRunOptions bounded = {.program = MEROVANE_BOUNDED_PROGRAM};
  const std::string body = "oid-absent=x%0Ay&oid-fail=1&oid-signalled=1&oid-hang=1&oid-last=1";
  EXPECT_EQ(RunCgi(card, With(PostRequest("/set", body), "REMOTE_USER=ann REMOTE_ADDR=10.0.0.5"),
                   body, bounded)
                .out,
            NetworkSettingsPage(kTestHostUrl));
  EXPECT_EQ(card.Records(4, kPatience), card.Runs("fail=1 signalled=1 hang=1 last=1"));
  const std::string ends[] = {"could not be started: No such file or directory",
                              "exited with status 3",
                              "was ended by signal " + std::to_string(SIGUSR1),
                              "ran past its bound of 2 s and was ended", "exited with status 0"};
  const std::string program = "change program " + card.ChangeProgram() + " for ";
  EXPECT_EQ(card.AwaitFile(card.ErrorLog(), "refresh"),
            "change program /nonexistent/change for absent " + ends[0] + "\n" + program + "fail " +
                ends[1] + "\n" + program + "signalled " + ends[2] + "\n" + program + "hang " +
                ends[3] + "\nrefresh script ../../card/brix/etc/refreshparams.sh " + ends[0] +
                "\n");
  for (const char* why : {"HTTP_ORIGIN=http://evil.example", "CONTENT_LENGTH=99 REMOTE_ADDR=::1"})
    RunCgi(card, With(PostRequest("/set", body), why), body, bounded);  // refused
  std::vector<std::string> lines;
  char line[2048];
  for (ssize_t got; (got = ::recv(system_log, line, sizeof line, MSG_DONTWAIT)) > 0;)
    lines.push_back(
        std::regex_replace(std::string(line, got), std::regex(R"(^<1[23]>Merovane\[\d+\]: )"), ""));
  ::close(system_log);
  const std::string ann = "ann from 10.0.0.5: set ", ended = "\", change program ";
  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          ann + "absent to \"x\\x0ay" + ended + ends[0], ann + "fail to \"1" + ended + ends[1],
          ann + "signalled to \"1" + ended + ends[2], ann + "hang to \"1" + ended + ends[3],
          ann + "last to \"1" + ended + ends[4], "- from -: refused a cross-site set request",
          "- from ::1: refused an incomplete set request"}));
}

// A copy with a 16 MiB address-space limit ends on the allocator's message for a body too large,
// before any page or change; an ordinary form's change program gets the limit the program began
// with.
TEST(SetRequest, ABodyBeyondTheMemoryLimitEndsWithNothingWrittenOrApplied) {
#if defined(MEROVANE_SANITIZED) || defined(MEROVANE_TEST_EMULATED)
  GTEST_SKIP()
      << "a sanitizer build applies no address-space limit, nor does qemu-user apply the program's";
#endif
  if (UnderMemcheck()) GTEST_SKIP() << "valgrind needs more than the limit";
  SetCard card({{"a", "A", "7"}});
  card.InstallRecorder(card.ChangeProgram(), "change",
                       "echo \"limit $(ulimit -v)\" >> '" + card.RecordLog().string() + "'");
  const CgiRunOptions limited = {.program = MEROVANE_LIMITED_PROGRAM};
  const CgiRun run = Post(card, "oid-a=" + std::string(32 << 20, 'v'), limited);
  EXPECT_EQ(std::tie(run.out, run.err, run.exit_status),
            std::make_tuple("", "Memory exhausted.\n", 1));
  EXPECT_EQ(Post(card, "oid-a=v", limited).out, NetworkSettingsPage("http://card.example"));
  rlimit own{};
  ::getrlimit(RLIMIT_AS, &own);  // the limit the program began with, in KiB as ulimit says it
  const std::string limit =
      own.rlim_cur == RLIM_INFINITY ? "unlimited" : std::to_string(own.rlim_cur >> 10);
  EXPECT_EQ(
      card.Records(3, kPatience),
      (std::vector<std::string>{card.ChangeRecord("a", "v"), "limit " + limit, kRefreshRecord}));
}

// Waits, within kPatience, until no process works in the card's sandbox: its watchers have ended.
void AwaitNoProcessIn(const Sandbox& card) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  for (bool any = true; any && std::chrono::steady_clock::now() < deadline;) {
    any = false;
    for (const auto& process : fs::directory_iterator("/proc")) {
      std::error_code gone;
      any = any || fs::read_symlink(process.path() / "cwd", gone) == fs::canonical(card.WorkDir());
    }
    if (any) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A copy with a 2-second window: an address change is undone (changed values in param.xml order,
// the refresh, a log line each) unless a request reaches the new address (HTTP_HOST without port,
// else SERVER_NAME; any after DHCP on) in time. A pending file of another user or with a second
// link is not believed; a later Apply confirms, or pends its own (undone to the first values).
TEST(SetRequest, AnAddressChangeNobodyConfirmsIsUndone) {
  if (UnderMemcheck()) GTEST_SKIP() << "a run under memcheck outlasts the 2-second window";
  // What follows the Apply (the next request's variables, or what is done instead); address undone.
  std::vector<std::pair<std::string, std::string>> cases = {
      {"", "127.0.0.10"},
      {"HTTP_HOST=127.0.0.10:8080", ""},
      {"HTTP_HOST=10.0.0.1", "127.0.0.10"},
      {"HTTP_HOST SERVER_NAME=127.0.0.10", ""},
      {"forged", ""},
      {"linked", ""},
      {"again", "127.0.0.11"},
      {"later", ""},
      {"dhcp", ""},
  };
  if (::geteuid() != 0) std::erase_if(cases, [](const auto& c) { return c.first == "forged"; });
  const CgiRunOptions confirmed = {.program = MEROVANE_CONFIRMED_PROGRAM};
  // Applies `address`, DHCP as given and "new" for n; returns what runs (see Runs).
  const auto apply = [&](const SetCard& card, const std::string& address, const std::string& dhcp) {
    Post(card, "oid-frame_ip.conf=" + address + "&oid-use_dhcp.conf=" + dhcp + "&oid-n=new",
         confirmed);
    return "frame_ip.conf=" + address + " use_dhcp.conf=" + dhcp + " n=new refresh";
  };
  std::deque<SetCard> cards;
  std::vector<std::string> runs;
  for (const auto& [then, undone_to] : cases) {
    const SetCard& card =
        cards.emplace_back(std::vector<TestParam>{{"frame_ip.conf", "IP", "7", "1", "10.0.0.1"},
                                                  {"use_dhcp.conf", "DHCP", "8", "1", "0"},
                                                  {"n", "N", "7", "1", "old"}});
    const fs::path pending = card.CardPath("/tmp/netconfirm");
    std::string& run = runs.emplace_back(apply(card, "127.0.0.10", then == "dhcp" ? "1" : "0"));
    if (then == "forged") {
      ASSERT_EQ(::chown(pending.c_str(), 65534, 65534), 0);
    } else if (then == "linked") {
      fs::create_hard_link(pending, card.CardPath("/tmp/link"));
    } else if (then == "again") {
      run.append(" ").append(apply(card, "127.0.0.11", "0"));
    } else if (then == "later") {  // changes no address
      Post(card, "oid-n=x", confirmed);
      run += " n=x refresh";
    } else if (!then.empty()) {
      RunCgi(card, With(GetRequest("/"), then), "", confirmed);
    }
  }
  for (std::size_t row = 0; row < cards.size(); ++row) {
    const SetCard& card = cards[row];
    const auto& [then, undone_to] = cases[row];
    AwaitNoProcessIn(card);
    const std::string undone = "the change to " + undone_to + " was not confirmed within 2 s: ";
    EXPECT_EQ(
        std::tuple(card.Records(), card.ReadFile(card.ErrorLog()),
                   fs::exists(card.CardPath("/tmp/netconfirm"))),
        std::tuple(card.Runs(runs[row] +
                             (undone_to.empty() ? "" : " frame_ip.conf=10.0.0.1 n=old refresh")),
                   undone_to.empty() ? ""
                                     : undone + "frame_ip.conf set back to \"10.0.0.1\"\n" +
                                           undone + "n set back to \"old\"\n",
                   then == "forged" || then == "linked"))
        << then;
  }
}

}  // namespace
