// Whole-request tests of "/set": each of its pages, the change programs and
// the refresh it runs, and what reaches them.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;

CgiRun Post(const SetCard& card, const std::string& body, const CgiRunOptions& options = {}) {
  return RunCgi(card, PostRequest("/set", body), body, options);
}

std::string Boxes(const std::string& oid, const std::string& a, const std::string& b, const std::string& c,
                  const std::string& d) {
  return "0oid-" + oid + "=" + a + "&1oid-" + oid + "=" + b + "&2oid-" + oid + "=" + c + "&3oid-" + oid + "=" + d;
}

// Another method, or a form that sends no field of a writable parameter:
// nothing is applied and the page asks for a menu choice.
TEST(SetRequest, WithoutAFormToApplyAsksForAMenuChoice) {
  SetCard card({{"p", "Param", "7"}, {"ro", "Fixed", "7", "0"}});
  for (const auto& [method, body] : {std::pair{"GET", "oid-p=1"}, {"POST", "oid-ro=1&x=2"}}) {
    CgiEnvironment env = PostRequest("/set", body);
    SetVariable(env, "REQUEST_METHOD", method);
    const CgiRun run = RunCgi(card, env, body);
    EXPECT_EQ(run.out, NoPageSelectedPage()) << method;
    EXPECT_EQ(run.exit_status, 0);
  }
  EXPECT_TRUE(card.Records().empty());
}

TEST(SetRequest, RejectedValuesAreShownEscapedWithTheStoredFormAndNothingApplied) {
  SetCard card({{"a", "Alpha", "4", "1", "5", false}, {"b", "Beta", "7", "1", "stored \"value\""}});
  const CgiRun run = Post(card, "oid-a=%3Cb%3E%26&oid-b=");
  EXPECT_EQ(run.out, ErrorPage(ErrorLine("&lt;b&gt;&amp;", "Alpha") + ErrorLine("", "Beta"),
                               TextBoxRow("b", "Beta", "stored &quot;value&quot;")));
  EXPECT_TRUE(card.Records().empty()) << "nothing applied, no refresh";
}

// The change programs run one after another in the card's order, each with
// the value as applied, their output following the page; a parameter not sent
// is left alone, a read-only one never changed. Then the refresh runs
// detached, on /dev/null, while the request process has already ended.
TEST(SetRequest, AppliesEachSentValueInOrderThenRefreshesDetached) {
  SetCard card({{"frame_ip.conf", "IP", "9"}, {"use_dhcp.conf", "DHCP", "8"}, {"n", "N", "4", ""},
                {"d", "D", "6"}, {"t", "T", "7"}, {"unsent", "U", "7"}, {"ro", "R", "7", "0"}});
  const std::string log = card.RecordLog().string();
  card.InstallRecorder(card.ChangeProgram(), "change", "sleep 0.1; echo \"end $1\" >> '" + log + "'; echo \"applied $1\"");
  card.InstallRecorder(card.CardPath("/brix/etc/refreshparams.sh"), "refresh",
                       "echo \"streams $(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) $(readlink /proc/$$/fd/2)"
                       "\" >> '" + log + "'; sleep 1; echo done >> '" + log + "'");
  const CgiRun run =
      Post(card, Boxes("frame_ip.conf", "127", "0", "00", "010") + "&oid-use_dhcp.conf=0&oid-n=007&oid-d=1.5&"
                 "oid-t=three+words&oid-ro=x");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, NetworkSettingsPage("127.0.0.10") +
                         "applied frame_ip.conf\napplied use_dhcp.conf\napplied n\napplied d\napplied t\n");
  const std::vector<std::string> changes = {card.ChangeRecord("frame_ip.conf", "127.0.0.10"), "end frame_ip.conf",
                                            card.ChangeRecord("use_dhcp.conf", "0"), "end use_dhcp.conf",
                                            card.ChangeRecord("n", "7"), "end n",
                                            card.ChangeRecord("d", "1.500000"), "end d",
                                            card.ChangeRecord("t", "three words"), "end t", kRefreshRecord,
                                            "streams /dev/null /dev/null /dev/null", "done"};
  EXPECT_EQ(card.Records(), changes);
  EXPECT_GE(run.output_closed - run.exited, std::chrono::milliseconds(500));
}

TEST(SetRequest, NetworkSettingsPageWarnsUnderDhcpAndEscapesTheAddress) {
  SetCard card({{"frame_ip.conf", "IP", "9"}, {"use_dhcp.conf", "DHCP", "8"}});
  EXPECT_EQ(Post(card, Boxes("frame_ip.conf", "127", "0", "0", "5") + "&oid-use_dhcp.conf=1").out, DhcpWarningPage());
  SetCard text_address({{"frame_ip.conf", "IP", "7"}});
  const CgiRun run = Post(text_address, "oid-frame_ip.conf=x%27%3B%3C%2Fscript%3E%22%3E");
  EXPECT_NE(run.out.find("document.location.href = 'http://x\\x27\\x3b\\x3c\\x2fscript\\x3e\\x22\\x3e';"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("<a href=\"http://x';&lt;/script&gt;&quot;&gt;\">"), std::string::npos) << run.out;
}

// A browser's and curl's multipart form apply as the URL-encoded one does.
TEST(SetRequest, MultipartFormsApplyAsTheUrlEncodedOne) {
  for (const std::string boundary : {"----WebKitFormBoundaryR4xq0Gm7ZtW2bYhN", "------------------------5c3e1a9f07b2d486"}) {
    SetCard card({{"name", "Name", "7"}, {"count", "Count", "4"}});
    std::string body;
    for (const auto& [name, value] : {std::pair{"oid-name", "one & two=3; \"x\""}, {"oid-count", "42"}}) {
      body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    const std::string type = "multipart/form-data; boundary=" + boundary;
    EXPECT_EQ(RunCgi(card, PostRequest("/set", body, type), body).out, NetworkSettingsPage(kTestHost));
    EXPECT_EQ(card.Changes(), (std::vector<std::string>{card.ChangeRecord("name", "one & two=3; \"x\""),
                                                        card.ChangeRecord("count", "42")}));
  }
}

// A server ends the request of a client that left: lighttpd with SIGTERM,
// others by closing the response. Every change still runs, then the refresh.
TEST(SetRequest, AnApplyRunsToItsEndWhenTheClientLeaves) {
  for (const bool terminate : {false, true}) {
    SetCard card({{"x", "X", "7"}, {"y", "Y", "4"}});
    card.InstallRecorder(card.ChangeProgram(), "change",
                         "echo \"applying $1\" 2>/dev/null; sleep 0.2; echo \"end $1\" >> '" +
                             card.RecordLog().string() + "'");
    const CgiRun run = Post(card, "oid-x=one&oid-y=2",
                            {.leave_after = terminate ? Marker("pageFooter.html") : "", .terminate_on_leave = terminate});
    EXPECT_EQ(run.exit_status, 0) << "signal " << run.signal;
    EXPECT_EQ(card.Records(5, std::chrono::seconds(5)),
              (std::vector<std::string>{card.ChangeRecord("x", "one"), "end x", card.ChangeRecord("y", "2"), "end y",
                                        kRefreshRecord}));
    EXPECT_EQ(card.ReadFile(card.ErrorLog()),
              terminate ? "" : "can't deliver the network settings page; applying the changes anyway\n");
  }
}

// The descriptors a stand-in held ("N>target"), as listed by find, which it
// became; not those of find itself, nor memcheck's log.
std::string Descriptors(const Sandbox& sandbox, const std::string& label) {
  const std::filesystem::path list = sandbox.Root() / "records" / ("fds." + label);
  std::istringstream lines(sandbox.ReadFile(list));
  std::string listed;
  for (std::string number, target; lines >> number >> target;) {
    if (!target.starts_with("/proc/") && target != list && target != std::filesystem::canonical(sandbox.WorkDir()) &&
        target.find("/records/valgrind.") == std::string::npos)
      listed += number + (label == "change" ? " " : ">" + target + " ");
  }
  return listed;
}

// No child gets the program's own files (the error log) nor HTTP_PROXY; the
// refresh holds only its three streams, the change programs the request's
// descriptors as they came.
TEST(SetRequest, ChildrenInheritNoFileOfTheProgramAndNoProxy) {
  SetCard card({{"a", "A", "7"}});
  for (const std::string label : {"change", "refresh"}) {
    card.InstallRecorder(label == "change" ? card.ChangeProgram() : card.CardPath("/brix/etc/refreshparams.sh").string(),
                         label, "echo \"" + label + " proxy ${HTTP_PROXY-none}\" >> '" + card.RecordLog().string() +
                                    "'; exec find /proc/self/fd -mindepth 1 -fprintf '" +
                                    (card.Root() / "records" / "fds.").string() + label + "' '%f %l\\n'");
  }
  CgiEnvironment env = PostRequest("/set", "oid-a=1");
  SetVariable(env, "HTTP_PROXY", "http://proxy.example:3128");
  RunCgi(card, env, "oid-a=1", {.inherited_descriptor = 7});
  EXPECT_EQ(card.Records(4, std::chrono::seconds(5)),
            (std::vector<std::string>{card.ChangeRecord("a", "1"), "change proxy none", kRefreshRecord,
                                      "refresh proxy none"}));
  EXPECT_EQ(Descriptors(card, "change"), "0 1 2 7 ");
  EXPECT_EQ(Descriptors(card, "refresh"), "0>/dev/null 1>/dev/null 2>/dev/null ");
}

// A form posted from another site's page (or to no host): refused, logged,
// nothing run.
TEST(SetRequest, FormsFromOtherSitesAreRefused) {
  for (const auto& [origin, host] : {std::pair{"http://card.example", kTestHost}, {"https://card.example", kTestHost},
                                     {"http://card.example.evil.example", kTestHost}, {"null", kTestHost},
                                     {"http://", ""}}) {
    SetCard card({{"p", "Param", "7"}});
    CgiEnvironment env = PostRequest("/set", "oid-p=x");
    SetVariable(env, "HTTP_ORIGIN", origin);
    if (*host == '\0') RemoveVariable(env, "HTTP_HOST");
    const bool own = std::string(origin).starts_with("http") && std::string(origin).ends_with("card.example");
    EXPECT_EQ(RunCgi(card, env, "oid-p=x").out, own ? NetworkSettingsPage(kTestHost) : CrossSiteRefusal()) << origin;
    EXPECT_EQ(card.Changes().size(), own ? 1u : 0u) << origin;
    if (!own && *host != '\0') {
      EXPECT_EQ(card.ReadFile(card.ErrorLog()), "refused a set request from origin " + std::string(origin) +
                                                    " to host card.example\n");
    }
  }
}

// A copy built with a 16 MiB address-space limit ends a body too large for it
// on the allocator's message, before any page or change; it applies an
// ordinary form.
TEST(SetRequest, ABodyBeyondTheMemoryLimitEndsWithNothingWrittenOrApplied) {
#ifdef MEROVANE_SANITIZED
  GTEST_SKIP() << "a sanitizer build applies no address-space limit";
#endif
  if (UnderMemcheck()) GTEST_SKIP() << "valgrind needs more than the limit";
  SetCard card({{"a", "A", "7"}});
  const CgiRunOptions limited{.program = MEROVANE_LIMITED_PROGRAM};
  CgiRun run = Post(card, "oid-a=" + std::string(32 << 20, 'v'), limited);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Memory exhausted.\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(card.Records().empty());
  EXPECT_EQ(Post(card, "oid-a=v", limited).out, NetworkSettingsPage(kTestHost));
  EXPECT_EQ(card.Changes(), std::vector<std::string>{card.ChangeRecord("a", "v")});
}

}  // namespace
