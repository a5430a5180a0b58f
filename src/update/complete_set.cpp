#include "update/complete_set.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "cgi/cgi_request.hpp"
#include "response/response_output.hpp"
#include "update/network_settings_page.hpp"
#include "update/request_end_signals.hpp"

namespace {

// Runs one change program with the oid and the value as its arguments, on
// the request's own streams, and waits for it. Its exit status is not used.
void ApplyChange(const ParamChange& change) {
  if (change.prog.empty()) {
    WriteErrorLog("no program to apply parameter %s\n", change.oid.c_str());
    return;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    RestoreRequestEndSignals(/*keep_pipe_ignored=*/true);
    ::execl(change.prog.c_str(), change.prog.c_str(), change.oid.c_str(), change.value.c_str(),
            static_cast<char*>(nullptr));
    // Not started: end quietly without flushing anything inherited.
    ::_exit(0);
  }
  if (child > 0) {
    ::waitpid(child, nullptr, 0);
  }
}

// Closes every descriptor above the standard streams, also those the web
// server left open to the program, which no close-on-exec flag covers.
void CloseInheritedDescriptors() {
  if (::close_range(STDERR_FILENO + 1, ~0U, 0) == 0) {
    return;
  }
  // A kernel without close_range (before Linux 5.9): one by one.
  const long limit = ::sysconf(_SC_OPEN_MAX);
  for (int descriptor = STDERR_FILENO + 1; descriptor < (limit > 0 ? limit : 1024); ++descriptor) {
    ::close(descriptor);
  }
}

// The refresh process: nothing of the request's streams stays open in it,
// and it holds no descriptor but its three streams on the null device.
[[noreturn]] void RunRefreshScript() {
  ::fcloseall();
  std::freopen(card_paths::kDevNull, "r", stdin);
  std::freopen(card_paths::kDevNull, "w", stdout);
  std::freopen(card_paths::kDevNull, "w", stderr);
  CloseInheritedDescriptors();
  // Only now: closing the streams may still write to a closed response.
  RestoreRequestEndSignals(/*keep_pipe_ignored=*/false);
  ::execl(card_paths::kRefreshScript, card_paths::kRefreshScript, static_cast<char*>(nullptr));
  std::perror("execl");
  std::exit(1);
}

}  // namespace

int CompleteSet(const SetState& state, std::string_view scheme, std::string_view fallback_host) {
  // All or nothing: from here every change runs and the refresh starts,
  // also when the browser leaves as soon as the page arrives (the page
  // itself sends it away) and the server ends the request.
  IgnoreRequestEndSignals();
  WriteNetworkSettingsPage(state, scheme, fallback_host);
  // The page is complete before any program runs; children inherit the
  // response stream, and their output follows the page footer.
  if (!response::Flush()) {
    WriteErrorLog("can't deliver the network settings page; applying the changes anyway\n");
  }
  CgiFreeRequest();

  for (const ParamChange& change : state.changes) {
    ApplyChange(change);
  }

  // The request process does not wait for the refresh: an intermediate
  // process does, so the refresh never becomes a zombie of the server.
  const pid_t intermediate = ::fork();
  if (intermediate != 0) {
    return 0;
  }
  const pid_t refresh = ::fork();
  if (refresh == 0) {
    RunRefreshScript();
  }
  if (refresh > 0) {
    ::waitpid(refresh, nullptr, 0);
  }
  return 0;
}
