// Whole-request tests of "/set": each of its pages, the change programs and the refresh it runs,
// and what reaches them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;

CgiRun Post(const SetCard& card, const std::string& body, const CgiRunOptions& options = {}) {
  return RunCgi(card, PostRequest("/set", body), body, options);
}

const std::string kAddressBoxes =
    "0oid-frame_ip.conf=127&1oid-frame_ip.conf=0&2oid-frame_ip.conf=00&3oid-frame_ip.conf=010";

// Each form's page, what it runs (apart by blanks: "<oid>=<value>" a change, "refresh") and its
// log. Rejected values are shown escaped with the stored form; a form with nothing to change still
// refreshes. A body that did not arrive whole (fewer bytes than declared; what else makes one
// incomplete is the unit tables') and a form from another site's page or to no host (which origins
// are the card's own: the unit table) are refused and logged. Nothing past the declared length is
// read, also from a stream the server leaves open.
TEST(SetRequest, EachFormGetsItsPageItsRunsAndItsLog) {
  const std::string
      a = "--B\r\nContent-Disposition: form-data; name=\"oid-a\"\r\n\r\n1\r\n",
      multipart = a + "--B\r\nContent-Disposition: form-data; name=\"oid-b\"\r\n\r\n2\r\n--B--\r\n",
      incomplete = "refused an incomplete set request: ",
      cross_site = "refused a set request from origin http://evil.example to host ",
      n = std::to_string(a.size());
  const struct {
    std::string variables, body, page, runs, log = "";
    bool multipart = false;  // as multipart, from a stream the server leaves open
    bool text_address = false;
  } cases[] = {
      {"", "oid-a=%3Cb%3E%26&oid-b=",
       ErrorPage(ErrorLine("&lt;b&gt;&amp;", "Alpha") + ErrorLine("", "Beta"),
                 FormRow("Beta", TextBox("b", "stored &quot;value&quot;"))),
       ""},
      {"", "oid-ro=1&x=2", NetworkSettingsPage(kTestHostUrl), "refresh"},
      {"", kAddressBoxes + "&oid-use_dhcp.conf=1", kDhcpWarningPage,
       "frame_ip.conf=127.0.0.10 use_dhcp.conf=1 refresh"},
      {"", "oid-frame_ip.conf=x%27%3B%3C%2Fscript%3E%22%3E",
       NetworkSettingsPage("http://x\\x27\\x3b\\x3c\\x2fscript\\x3e\\x22\\x3e",
                           "http://x';&lt;/script&gt;&quot;&gt;"),
       "frame_ip.conf=x';</script>\"> refresh", "", false, true},
      {"CONTENT_LENGTH=18", "oid-a=1&oid-b=2", kIncompleteFormRefusal, "",
       incomplete + "15 of 18 bytes arrived\n"},
      {"CONTENT_LENGTH=" + n, multipart, kIncompleteFormRefusal, "",
       incomplete + n + " of " + n + " bytes arrived\n", true},
      {"", multipart, NetworkSettingsPage(kTestHostUrl), "a=1 b=2 refresh", "", true},
      {"HTTP_ORIGIN=http://evil.example", "oid-b=x", kCrossSiteRefusal, "",
       cross_site + "card.example\n"},
      {"HTTP_ORIGIN=http://evil.example HTTP_HOST", "oid-b=x", kCrossSiteRefusal, "",
       cross_site + "\n"},
  };
  for (const auto& c : cases) {
    SetCard card({{.oid = "frame_ip.conf",
                   .name = "IP",
                   .type = c.text_address ? "7" : "9",
                   .in_menu = false},
                  {.oid = "use_dhcp.conf", .name = "DHCP", .type = "8", .in_menu = false},
                  {.oid = "a", .name = "Alpha", .type = "4", .value = "5", .in_menu = false},
                  {.oid = "b", .name = "Beta", .type = "7", .value = "stored \"value\""},
                  {.oid = "ro", .name = "Fixed", .type = "7", .access = "0", .in_menu = false}});
    const std::vector<std::string> runs = card.Runs(c.runs);
    const char* type =
        c.multipart ? "multipart/form-data; boundary=B" : "application/x-www-form-urlencoded";
    const CgiRun run = RunCgi(card, With(PostRequest("/set", c.body, type), c.variables), c.body,
                              {.input_left_open = c.multipart});
    EXPECT_EQ(std::pair(run.out, run.exit_status), std::pair(c.page, 0)) << c.body;
    EXPECT_EQ(card.Records(runs.size(), runs.empty() ? std::chrono::seconds(0) : kPatience), runs)
        << c.body;
    EXPECT_EQ(card.ReadFile(card.ErrorLog()), c.log) << c.body;
  }
}

// The change programs run one after another in the card's order (not the form's), each with the
// value as applied, their output following the page; a parameter not sent is left alone, a
// read-only one (access "0", "-1"; "01" is writable) never changed. Then the refresh runs to its
// end while the request process has already ended. A server ends the request of a client that left
// (lighttpd with SIGTERM, others by closing the response): every change still runs, then the
// refresh. No child gets the program's own files (the error log), a descriptor the server left
// open, nor HTTP_PROXY; the refresh holds only its three streams on the null device, the change
// programs the request's own.
TEST(SetRequest, AppliesEachSentValueInOrderThenRefreshesDetachedAlsoWhenTheClientLeaves) {
  for (const std::string client : {"stays", "closes", "terminates"}) {
    SetCard card({{"frame_ip.conf", "IP", "9"},
                  {"use_dhcp.conf", "DHCP", "8"},
                  {.oid = "n", .name = "N", .type = "4", .access = ""},
                  {"d", "D", "6"},
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
        "oid-t=three+words&oid-d=3&oid-ro=x&oid-off=x&oid-n=007&oid-use_dhcp.conf=0&" +
        kAddressBoxes;
    const CgiRun run = RunCgi(
        card, With(PostRequest("/set", body), "HTTP_PROXY=http://proxy.example:3128"), body,
        {.leave_after =
             client == "stays"
                 ? std::nullopt
                 : std::optional<std::string>(client == "closes" ? "" : Marker("pageFooter.html")),
         .terminate_on_leave = client == "terminates"});
    EXPECT_EQ(run.exit_status, 0) << client;
    EXPECT_EQ(card.Records(12, kPatience),
              (std::vector<std::string>{
                  card.ChangeRecord("frame_ip.conf", "127.0.0.10"), "end frame_ip.conf",
                  card.ChangeRecord("use_dhcp.conf", "0"), "end use_dhcp.conf",
                  card.ChangeRecord("n", "7"), "end n", card.ChangeRecord("d", "3.000000"), "end d",
                  card.ChangeRecord("t", "three words"), "end t", kRefreshRecord, "done"}))
        << client;
    EXPECT_EQ(card.ReadFile(card.ErrorLog()),
              client == "closes"
                  ? "can't deliver the network settings page; applying the changes anyway\n"
                  : "");
    if (client != "stays") continue;
    EXPECT_EQ(
        run.out,
        NetworkSettingsPage("http://127.0.0.10") +
            "applied frame_ip.conf\napplied use_dhcp.conf\napplied n\napplied d\napplied t\n");
    EXPECT_GE(run.output_closed - run.exited, std::chrono::milliseconds(500));
    EXPECT_EQ(card.HeldDescriptors("change"), "0> 1> 2> ");
    EXPECT_EQ(card.HeldDescriptors("refresh"), "0>/dev/null 1>/dev/null 2>/dev/null ");
  }
}

// A copy built with a 2-second bound. A change program that hangs with a child of its own, both
// deaf to SIGTERM, is ended with that child (the response closes: the child held it); one that
// cannot start, fails or is killed goes on the log too, one line each. The later change and the
// refresh run all the same; a refresh that cannot start is logged.
TEST(SetRequest, ChangeProgramsAreBoundedAndEveryFailureIsLogged) {
  SetCard card({{.oid = "absent", .name = "A", .type = "7", .prog = "/nonexistent/change"},
                {.oid = "fail", .name = "F", .type = "7"},
                {.oid = "signalled", .name = "S", .type = "7"},
                {.oid = "hang", .name = "H", .type = "7"},
                {.oid = "last", .name = "L", .type = "7"}});
  card.InstallRecorder(card.ChangeProgram(), "change",
                       "case $1 in fail) exit 3;; signalled) kill -s USR1 $$;;"
                       " hang) trap '' TERM; sleep 600;; esac");
  const std::string body = "oid-absent=1&oid-fail=1&oid-signalled=1&oid-hang=1&oid-last=1";
  EXPECT_EQ(Post(card, body, {.program = MEROVANE_BOUNDED_PROGRAM}).out,
            NetworkSettingsPage(kTestHostUrl));
  EXPECT_EQ(card.Records(5, kPatience), card.Runs("fail=1 signalled=1 hang=1 last=1 refresh"));
  const std::string program = "change program " + card.ChangeProgram() + " for ";
  EXPECT_EQ(card.ReadFile(card.ErrorLog()),
            "change program /nonexistent/change for absent could not be started: No such file or "
            "directory\n" +
                (program + "fail exited with status 3\n") +
                (program + "signalled was ended by signal " + std::to_string(SIGUSR1) + "\n") +
                (program + "hang ran past its bound of 2 s and was ended\n"));
  std::filesystem::remove(card.CardPath("/brix/etc/refreshparams.sh"));
  std::filesystem::remove(card.ErrorLog());
  Post(card, "oid-last=1", {.program = MEROVANE_BOUNDED_PROGRAM});
  EXPECT_EQ(
      card.ReadFile(card.ErrorLog()),
      "refresh script ../../card/brix/etc/refreshparams.sh could not be started: No such file "
      "or directory\n");
}

// A copy built with a 16 MiB address-space limit ends a body too large for it on the allocator's
// message, before any page or change; it applies an ordinary form, by a change program that has
// the limit the program started with, not its own.
TEST(SetRequest, ABodyBeyondTheMemoryLimitEndsWithNothingWrittenOrApplied) {
#if defined(MEROVANE_SANITIZED) || defined(MEROVANE_TEST_EMULATED)
  GTEST_SKIP()
      << "a sanitizer build applies no address-space limit, nor does qemu-user apply the program's";
#endif
  if (UnderMemcheck()) GTEST_SKIP() << "valgrind needs more than the limit";
  SetCard card({{"a", "A", "7"}});
  card.InstallRecorder(card.ChangeProgram(), "change",
                       "echo \"limit $(ulimit -v)\" >> '" + card.RecordLog().string() + "'");
  const CgiRun run =
      Post(card, "oid-a=" + std::string(32 << 20, 'v'), {.program = MEROVANE_LIMITED_PROGRAM});
  EXPECT_EQ(std::tie(run.out, run.err, run.exit_status),
            std::make_tuple("", "Memory exhausted.\n", 1));
  EXPECT_TRUE(card.Records().empty());
  EXPECT_EQ(Post(card, "oid-a=v", {.program = MEROVANE_LIMITED_PROGRAM}).out,
            NetworkSettingsPage("http://card.example"));
  EXPECT_EQ(card.Changes(), card.Runs("a=v"));
  rlimit own{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &own), 0);
  const std::string limit =
      own.rlim_cur == RLIM_INFINITY ? "unlimited" : std::to_string(own.rlim_cur >> 10);  // KiB
  const std::vector<std::string> records = card.Records();
  EXPECT_EQ(std::count(records.begin(), records.end(), "limit " + limit), 1);
}

}  // namespace
