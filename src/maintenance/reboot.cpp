#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "card/card_paths.hpp"
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

void WriteRebootingPage(std::string_view scheme) {
  HtmlResponseHeader("Refresh: 30; " + std::string(scheme) + "://" +
                     HeaderSafe(std::getenv("HTTP_HOST")) + "\r\n");
  IncludeFile(kPageHeaderInclude);
  response::Write("<div class=\"headerBox\"></div>");
  response::Write(
      "<div align=\"center\"><h1>Card is rebooting</h1><p>Please wait 30 seconds</p></div>");
  IncludeFile(kPageFooterInclude);
}

// The child leaves the request's streams to the request process, so the web
// server sees the response end as soon as that process exits.
[[noreturn]] void RebootAfterDelay() {
  std::fclose(stdin);
  std::fclose(stdout);
  std::fclose(stderr);
  if (std::FILE* log = ErrorLogStream(); log != nullptr) {
    std::fclose(log);
  }
  ::sleep(kRebootDelaySeconds);
  ::execlp(card_paths::kRebootCommand, card_paths::kRebootCommand, static_cast<char*>(nullptr));
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
  WriteRebootingPage(scheme);
  response::Flush();
  // A failed fork leaves the page sent and the card running; nothing to add.
  if (::fork() == 0) {
    RebootAfterDelay();
  }
  return 0;
}
