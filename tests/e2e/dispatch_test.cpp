// Whole-request tests of the entry point: the static page, the redirect and the error log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;
namespace fs = std::filesystem;
const std::string kScript = kTestScript;

// Static routes answer the static page, others redirect to the program. Every address the program
// writes takes the scheme the request came by: the redirect, the network settings page (whose
// fallback without HTTP_HOST is the redirect's), the rebooting page's refresh and the status page
// that alone may ask for a reboot. Without HTTP_HOST the redirect falls back to SERVER_NAME and
// SERVER_PORT, and without either to a path; request text never ends the header line. All also
// when the error log cannot be opened (no /tmp).
TEST(Dispatch, EachRouteAnswersAndEachAddressWrittenHasTheRequestsScheme) {
  SetCard card({{"frame_ip.conf", "IP", "9"}, {"n", "N", "7"}});
  fs::remove_all(card.CardPath("/tmp"));
  const std::string program = "://card.example" + kScript, status = program + "/uploadstatus";
  const std::string address =
      "0oid-frame_ip.conf=10&1oid-frame_ip.conf=0&2oid-frame_ip.conf=0&3oid-frame_ip.conf=9";
  const std::string no_host = "HTTP_HOST HTTPS=on SERVER_NAME=", logon = "PATH_INFO=/logon ",
                    set = "PATH_INFO=/set ", reboot = "PATH_INFO=/reboot ";
  const struct {
    std::string variables, body, answer;
  } cases[] = {
      {"PATH_INFO", "", kStaticPage},
      {"PATH_INFO=/cardcontrol", "", kStaticPage},
      {"PATH_INFO=/upload", "", kStaticPage},
      {"PATH_INFO=", "", Redirect("http" + program)},
      {"PATH_INFO=/Upload", "", Redirect("http" + program)},
      {logon + "HTTP_HOST=10.1.2.3:8080", "", Redirect("http://10.1.2.3:8080" + kScript)},
      {logon + "HTTP_HOST=", "", Redirect(kScript)},
      {logon + "HTTP_HOST SERVER_NAME=card SERVER_PORT=80", "", Redirect("http://card" + kScript)},
      {logon + "HTTP_HOST SERVER_NAME=10.0.0.2 SERVER_PORT=8080", "",
       Redirect("http://10.0.0.2:8080" + kScript)},
      {logon + "HTTP_HOST=evil\r\nSet-Cookie:a=b SERVER_NAME=other", "",
       Redirect("http://evilSet-Cookie:a=b" + kScript)},
      {logon + "HTTPS=ON", "", Redirect("https" + program)},
      {logon + "HTTPS=1", "", Redirect("https" + program)},
      {logon + "HTTPS=off", "", Redirect("http" + program)},
      {logon + "REQUEST_SCHEME=https", "", Redirect("https" + program)},
      {logon + "REQUEST_SCHEME=http", "", Redirect("http" + program)},
      {logon + no_host + "card SERVER_PORT=443", "", Redirect("https://card" + kScript)},
      {logon + no_host + "card SERVER_PORT=80", "", Redirect("https://card:80" + kScript)},
      {set + "HTTPS=on", address, NetworkSettingsPage("https://10.0.0.9")},
      {set + no_host + "::1 SERVER_PORT=8443", "oid-n=1",
       NetworkSettingsPage("https://[::1]:8443")},
      {set + "HTTP_HOST", "oid-n=1", NetworkSettingsPage("/")},
      {set + "HTTPS=on HTTP_ORIGIN=https://CARD.example.", "oid-n=1",
       NetworkSettingsPage("https://card.example")},
      {set + "HTTPS=on HTTP_ORIGIN=http://card.example", "oid-n=1", kCrossSiteRefusal},
      {reboot + "HTTPS=on HTTP_REFERER=https" + status + "?ppcupload", "",
       RebootingPage("https://card.example")},
      {reboot + "HTTP_REFERER=https" + status, "", kStaticPage},
      {reboot + "HTTPS=on HTTP_REFERER=http" + status, "", kStaticPage},
  };
  for (const auto& c : cases) {
    const CgiEnvironment env = c.body.empty() ? GetRequest("") : PostRequest("", c.body);
    const CgiRun run = RunCgi(card, With(env, c.variables), c.body);
    EXPECT_EQ(run.out, c.answer) << c.variables;
    EXPECT_EQ(std::pair(run.exit_status, run.err), std::pair(0, std::string())) << c.variables;
  }
}

// A missing fragment (a FIFO reads as one) is logged, the log appended to and left writable by
// everyone. Whatever another process puts at the log's name is neither written to, nor waited for,
// nor given another mode. A standard stream the server left closed is not taken by the log:
// neither the page (1) nor the library's message on standard error (2) go in.
TEST(ErrorLog, IsAPlainFileOfItsOwnAppendedToAndNeverAClosedStandardStream) {
  Sandbox sandbox;
  const fs::path log = sandbox.ErrorLog(), target = sandbox.Root() / "records" / "precious";
  fs::remove(sandbox.IncludePath("pageFooter.html"));  // a message to log
  for (const std::string kind : {"symbolic link", "hard link", "fifo", "fifo with a reader"}) {
    sandbox.WriteFile(target, "precious\n", 0600);
    fs::remove(log);
    if (kind == "symbolic link") fs::create_symlink(target, log);
    if (kind == "hard link") fs::create_hard_link(target, log);
    ASSERT_TRUE(!kind.starts_with("fifo") || ::mkfifo(log.c_str(), 0600) == 0);
    const int reader =
        kind == "fifo with a reader" ? ::open(log.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    const CgiRun run = RunCgi(sandbox, GetRequest("/snmpconf"));
    EXPECT_EQ(run.out, kHead + Marker("staticPage.html")) << kind;
    EXPECT_EQ(sandbox.ReadFile(target), "precious\n") << kind;
    EXPECT_EQ(fs::symlink_status(kind.starts_with("fifo") ? log : target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write)
        << kind;
    if (char byte = 0; reader >= 0) {
      EXPECT_LE(::read(reader, &byte, 1), 0) << "the fifo holds a message";
      ::close(reader);
    }
  }
  if (UnderMemcheck()) GTEST_SKIP() << "memcheck's own log would take the closed number";
  fs::remove(log);
  ASSERT_EQ(::mkfifo(sandbox.IncludePath("pageFooter.html").c_str(), 0644), 0);
  sandbox.WriteFile(log, "earlier\n", 0600);
  RunCgi(sandbox, GetRequest("/snmpconf"), "", {.closed_stream = 1});
  EXPECT_EQ(sandbox.ReadFile(log),
            "earlier\ncan't open file ../includes/pageFooter.html to read\n");
  EXPECT_EQ(fs::status(log).permissions(), fs::perms::all);
  fs::remove(log);
  RunCgi(sandbox, PostRequest("/set", "x", "text/plain"), "x", {.closed_stream = 2});
  EXPECT_EQ(sandbox.ReadFile(log), "");
}

}  // namespace
