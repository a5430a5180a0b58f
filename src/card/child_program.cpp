#include "card/child_program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

// What a program that ignores SIGTERM still gets before SIGKILL.
constexpr std::chrono::seconds kGrace{2};

// Whether the child has ended, without reaping it: while it is a zombie its
// process id, and so its group's id, cannot be taken by another process.
bool Ended(pid_t child) {
  // Only the process id tells whether a child was found: cleared, not the
  // whole record.
  siginfo_t info;
  info.si_pid = 0;
  if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return true;  // nothing left to wait for
  }
  return info.si_pid == child;
}

// Waits for SIGCHLD (blocked by the caller) until the child has ended or the
// deadline has passed; true when it has ended.
bool AwaitEnd(pid_t child, std::optional<Clock::time_point> deadline) {
  sigset_t child_signal;
  sigemptyset(&child_signal);
  sigaddset(&child_signal, SIGCHLD);
  while (!Ended(child)) {
    if (!deadline) {
      ::sigwaitinfo(&child_signal, nullptr);
      continue;
    }
    const auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      return false;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const timespec timeout{
        static_cast<time_t>(seconds.count()),
        static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
    ::sigtimedwait(&child_signal, nullptr, &timeout);
  }
  return true;
}

ChildEnd Reap(pid_t child) {
  int status = 0;
  if (::waitpid(child, &status, 0) != child) {
    return {ChildEnd::kExited, 0};
  }
  if (WIFSIGNALED(status)) {
    return {ChildEnd::kSignalled, WTERMSIG(status)};
  }
  return {ChildEnd::kExited, WEXITSTATUS(status)};
}

// The child's side: its own group, the signals as the parent had them, then
// the program; on failure the error number goes back through `report`.
[[noreturn]] void ExecuteInChild(const char* const* argv, void (*prepare)(), void (*not_started)(),
                                 int report, const struct sigaction& child_action,
                                 const sigset_t& mask) {
  ::setpgid(0, 0);
  ::sigaction(SIGCHLD, &child_action, nullptr);
  ::sigprocmask(SIG_SETMASK, &mask, nullptr);
  prepare();
  CloseAboveStandardStreamsOnExec();
  ::execv(argv[0], const_cast<char* const*>(argv));
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
  not_started();
  ::_exit(1);
}

ChildEnd StartAndWait(const char* const* argv, void (*prepare)(), void (*not_started)(),
                      unsigned bound_seconds, const struct sigaction& child_action,
                      const sigset_t& mask) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    return {ChildEnd::kNotStarted, errno};
  }
  // The process has a single thread, so no lock can be held at the fork:
  // _Fork spares the handlers fork runs for threaded programs. `prepare`
  // gives the child back what the process changed for itself.
  const pid_t child = ::_Fork();
  if (child == 0) {
    ::close(report[0]);
    ExecuteInChild(argv, prepare, not_started, report[1], child_action, mask);
  }
  const int fork_error = errno;
  ::close(report[1]);
  if (child < 0) {
    ::close(report[0]);
    return {ChildEnd::kNotStarted, fork_error};
  }
  // Also here: the group must exist before it may have to be signalled.
  ::setpgid(child, child);
  int exec_error = 0;
  ssize_t got = 0;
  do {
    got = ::read(report[0], &exec_error, sizeof exec_error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof exec_error)) {
    Reap(child);
    return {ChildEnd::kNotStarted, exec_error};
  }
  std::optional<Clock::time_point> deadline;
  if (bound_seconds > 0) {
    deadline = Clock::now() + std::chrono::seconds(bound_seconds);
  }
  if (AwaitEnd(child, deadline)) {
    return Reap(child);
  }
  // The program by its id as well: it may have moved to another group.
  // Both ids stay reserved while the child is not reaped.
  ::kill(-child, SIGTERM);
  ::kill(child, SIGTERM);
  AwaitEnd(child, Clock::now() + kGrace);
  // What is left of the group, the program itself included if it ignores
  // SIGTERM.
  ::kill(-child, SIGKILL);
  ::kill(child, SIGKILL);
  if (!AwaitEnd(child, Clock::now() + kGrace)) {
    return {ChildEnd::kUnended, static_cast<int>(bound_seconds)};
  }
  Reap(child);
  return {ChildEnd::kBounded, static_cast<int>(bound_seconds)};
}

}  // namespace

std::string DescribeChildEnd(const ChildEnd& end) {
  switch (end.kind) {
    case ChildEnd::kExited:
      return "exited with status " + std::to_string(end.number);
    case ChildEnd::kSignalled:
      return "was ended by signal " + std::to_string(end.number);
    case ChildEnd::kBounded:
      return "ran past its bound of " + std::to_string(end.number) + " s and was ended";
    case ChildEnd::kUnended:
      return "ran past its bound of " + std::to_string(end.number) + " s and could not be ended";
    case ChildEnd::kNotStarted:
      break;
  }
  return std::string("could not be started: ") + std::strerror(end.number);
}

void CloseAboveStandardStreamsOnExec() {
  if (::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
    return;
  }
  // A kernel without close_range's flag (before Linux 5.11): one by one.
  const long limit = ::sysconf(_SC_OPEN_MAX);
  for (int descriptor = STDERR_FILENO + 1; descriptor < (limit > 0 ? limit : 1024); ++descriptor) {
    ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
  }
}

namespace {

const ChildSignals* outermost_signals = nullptr;

}  // namespace

ChildSignals::ChildSignals() : outer_(outermost_signals) {
  if (outer_ != nullptr) {
    return;
  }
  sigset_t child_signal;
  sigemptyset(&child_signal);
  sigaddset(&child_signal, SIGCHLD);
  ::sigprocmask(SIG_BLOCK, &child_signal, &mask_);
  struct sigaction by_default {};
  by_default.sa_handler = SIG_DFL;
  sigemptyset(&by_default.sa_mask);
  ::sigaction(SIGCHLD, &by_default, &before_);
  outermost_signals = this;
}

ChildSignals::~ChildSignals() {
  if (outer_ != nullptr) {
    return;
  }
  outermost_signals = nullptr;
  ::sigaction(SIGCHLD, &before_, nullptr);
  ::sigprocmask(SIG_SETMASK, &mask_, nullptr);
}

const ChildSignals& ChildSignals::Outermost() { return *outermost_signals; }

ChildEnd RunChildProgram(const char* const* argv, void (*prepare)(), void (*not_started)(),
                         unsigned bound_seconds) {
  // Both as before for the child.
  const ChildSignals signals;
  const ChildSignals& outermost = ChildSignals::Outermost();
  return StartAndWait(argv, prepare, not_started, bound_seconds, outermost.before(),
                      outermost.mask());
}
