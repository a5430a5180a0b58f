#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "card/card_paths.hpp"
#include "card/child_program.hpp"
#include "card/error_log.hpp"
#include "maintenance/handlers.hpp"
#include "maintenance/reboot_route.hpp"
#include "response/header_text.hpp"
#include "response/page_framing.hpp"
#include "response/request_site.hpp"
#include "response/response_output.hpp"

namespace {

// Gives the request process time to finish the answer page before the card
// goes down.
constexpr unsigned kRebootDelaySeconds = 2;

void WriteRebootingHeader(std::string_view scheme) {
  HtmlResponseHeader("Refresh: 30; " + std::string(scheme) + "://" +
                     HeaderSafe(std::getenv("HTTP_HOST")) + "\r\n");
}

void WriteRebootingPage(std::string_view scheme) {
  WriteRebootingHeader(scheme);
  IncludeFile(kPageHeaderInclude);
  response::Write("<div class=\"headerBox\"></div>");
  response::Write(
      "<div align=\"center\"><h1>Card is rebooting</h1><p>Please wait 30 seconds</p></div>");
  IncludeFile(kPageFooterInclude);
}

// The child leaves the request's streams to the request process, so the web
// server sees the response end as soon as that process exits. The command
// gets the null device for its three streams instead: closed, they would be
// taken by the first files it opens, and its messages would land in them.
[[noreturn]] void RebootAfterDelay() {
  std::fclose(stdin);
  std::fclose(stdout);
  std::fclose(stderr);
  const int null = ::open(card_paths::kDevNull, O_RDWR);
  for (int stream = STDIN_FILENO; null >= 0 && stream <= STDERR_FILENO; ++stream) {
    if (stream != null) {
      ::dup2(null, stream);
    }
  }
  if (null > STDERR_FILENO) {
    ::close(null);
  }
  ::sleep(kRebootDelaySeconds);
  // The error log stays open until the exec (it closes on exec), for the
  // one line that tells the command did not start.
  ::execlp(card_paths::kRebootCommand, card_paths::kRebootCommand, static_cast<char*>(nullptr));
  WriteErrorLog("reboot command %s could not be started: %s\n", card_paths::kRebootCommand,
                std::strerror(errno));
  ::_exit(0);
}

}  // namespace

int HandleReboot() {
  const std::string_view scheme = RequestScheme();
  if (!RebootRequestedFromStatusPage(std::getenv("HTTP_REFERER"), scheme, std::getenv("HTTP_HOST"),
                                     std::getenv("SCRIPT_NAME"))) {
    StaticPage();
    return 0;
  }
  // A HEAD asks for the answer's header only, and never reboots.
  if (const char* method = std::getenv("REQUEST_METHOD");
      method != nullptr && std::strcmp(method, "HEAD") == 0) {
    WriteRebootingHeader(scheme);
    return 0;
  }
  WriteRebootingPage(scheme);
  // A failed start leaves the page sent and the card running.
  if (StartChild({"reboot command", card_paths::kRebootCommand}, ChildGroup::kInherited) == 0) {
    RebootAfterDelay();
  }
  return 0;
}
