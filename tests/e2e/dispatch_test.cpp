// Whole-request tests of the entry point: the static page, the redirect and the error log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;
namespace fs = std::filesystem;
const std::string kScript = kTestScript;

// Static routes answer the static page, others redirect. Every address written (redirect, network
// settings page, rebooting page, the status page a reboot must come from) takes the request's
// scheme, host and port, with each fallback; every body is read; also without /tmp for the log.
TEST(Dispatch, EachRouteAnswersAndEachAddressWrittenHasTheRequestsScheme) {
  SetCard card({{"frame_ip.conf", "IP", "7"}, {"n", "N", "7"}});
  fs::remove_all(card.CardPath("/tmp"));
  const std::string program = "://card.example" + kScript, status = program + "/uploadstatus";
  const std::string address = "oid-frame_ip.conf=10.0.0.9";
  const std::string no_host = "HTTP_HOST HTTPS=on SERVER_NAME=", logon = "PATH_INFO=/logon ",
                    set = "PATH_INFO=/set ", reboot = "PATH_INFO=/reboot ";
  const struct {
    std::string variables, body, answer;
  } cases[] = {
      {"PATH_INFO", "", kStaticPage},
      {"PATH_INFO=/cardcontrol", "", kStaticPage},
      {"PATH_INFO=/upload", "", kStaticPage},
      {"PATH_INFO=", "", Redirect("http" + program)},
      {"PATH_INFO=/Upload HTTP_HOST=10.1.2.3:8080", "", Redirect("http://10.1.2.3:8080" + kScript)},
      {logon + "HTTP_HOST=", "", Redirect(kScript)},
      {logon + "HTTP_HOST SERVER_NAME=card SERVER_PORT=80", "", Redirect("http://card" + kScript)},
      {logon + "HTTP_HOST=evil\r\nSet-Cookie:a=b SERVER_NAME=other", "",
       Redirect("http://evilSet-Cookie:a=b" + kScript)},
      {logon + "HTTPS=off REQUEST_SCHEME=http", "", Redirect("http" + program)},
      {logon + no_host + "card SERVER_PORT=443", "", Redirect("https://card" + kScript)},
      {logon + no_host + "card SERVER_PORT=80 HTTPS=1", "", Redirect("https://card:80" + kScript)},
      {set + "HTTPS=ON HTTP_HOST=card:443", address, NetworkSettingsPage("https://10.0.0.9")},
      {set + "HTTPS=on HTTP_HOST=[::1]:80", address, NetworkSettingsPage("https://10.0.0.9:80")},
      {set + "HTTP_HOST=[::1] SERVER_PORT=8080", address, NetworkSettingsPage("http://10.0.0.9")},
      {set + no_host + "card SERVER_PORT=8443", address,
       NetworkSettingsPage("https://10.0.0.9:8443")},
      {set + no_host + "::1 SERVER_PORT=8443", "oid-n=1",
       NetworkSettingsPage("https://[::1]:8443")},
      {set + "HTTP_HOST", "oid-n=1", NetworkSettingsPage("/")},
      {set + "HTTPS=on HTTP_ORIGIN=https://CARD.example.", "oid-n=1",
       NetworkSettingsPage("https://card.example")},
      {set + "HTTPS=on HTTP_ORIGIN=http://card.example", "oid-n=1", kCrossSiteRefusal},
      {set + "HTTPS=on HTTP_REFERER=http" + status, "oid-n=1", kCrossSiteRefusal},
      {reboot + "REQUEST_SCHEME=https HTTP_REFERER=https" + status + "?ppcupload", "",
       RebootingPage("https://card.example")},
      {reboot + "HTTP_REFERER=https" + status, "reboot=1", kStaticPage},
  };
  for (const auto& c : cases) {
    const CgiEnvironment env = c.body.empty() ? GetRequest("") : PostRequest("", c.body);
    const CgiRun run = RunCgi(card, With(env, c.variables), c.body);
    EXPECT_EQ(std::pair(run.out, run.unread_input), std::pair(c.answer, std::size_t{0}))
        << c.variables;
    EXPECT_EQ(std::pair(run.exit_status, run.err), std::pair(0, std::string())) << c.variables;
  }
}

// A missing fragment (a FIFO reads as one) is logged, appended; a standard stream the server left
// closed (1: the page, 2: the library's message) is never the log's.
TEST(ErrorLog, IsAppendedToAndNeverAClosedStandardStream) {
  if (UnderMemcheck()) GTEST_SKIP() << "memcheck's own log would take the closed number";
  Sandbox sandbox;
  fs::remove(sandbox.IncludePath("pageFooter.html"));
  ASSERT_EQ(::mkfifo(sandbox.IncludePath("pageFooter.html").c_str(), 0644), 0);
  sandbox.WriteFile(sandbox.ErrorLog(), "earlier\n", 0666);
  RunCgi(sandbox, GetRequest("/snmpconf"), "", {.closed_stream = 1});
  EXPECT_EQ(sandbox.ReadFile(sandbox.ErrorLog()),
            "earlier\ncan't open file ../includes/pageFooter.html to read\n");
  fs::remove(sandbox.ErrorLog());
  RunCgi(sandbox, PostRequest("/set", "x", "text/plain"), "x", {.closed_stream = 2});
  EXPECT_EQ(sandbox.ReadFile(sandbox.ErrorLog()), "");
}

}  // namespace
