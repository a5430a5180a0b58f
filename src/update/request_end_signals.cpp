#include "update/request_end_signals.hpp"

#include <signal.h>

#include <array>

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGPIPE};
// As they were before; forked children inherit the copy.
std::array<struct sigaction, kSignals.size()> saved{};

}  // namespace

void IgnoreRequestEndSignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &ignore, &saved[i]);
  }
}

void RestoreRequestEndSignals(bool keep_pipe_ignored) {
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    if (kSignals[i] != SIGPIPE || !keep_pipe_ignored) {
      ::sigaction(kSignals[i], &saved[i], nullptr);
    }
  }
}
