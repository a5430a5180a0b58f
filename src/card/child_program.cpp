#include "card/child_program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// What a program that ignores SIGTERM still gets before SIGKILL, and what a
// program gets to end after SIGKILL before it is left behind.
constexpr std::chrono::seconds kGrace{2};

}  // namespace

void CloseAboveStandardStreams(bool on_exec) {
  if (::close_range(STDERR_FILENO + 1, ~0U, on_exec ? CLOSE_RANGE_CLOEXEC : 0) == 0) {
    return;
  }
  // A kernel without close_range (or its flag, before Linux 5.11): one by one.
  const long limit = ::sysconf(_SC_OPEN_MAX);
  for (int descriptor = STDERR_FILENO + 1; descriptor < (limit > 0 ? limit : 1024); ++descriptor) {
    on_exec ? ::fcntl(descriptor, F_SETFD, FD_CLOEXEC) : ::close(descriptor);
  }
}

namespace {

// While one lives, SIGCHLD is blocked and at its default action: the end of
// a child is awaited as a signal, none may be lost, and a web server may
// leave SIGCHLD ignored, so that no child could be waited for. The child
// gets both back as they were.
class ChildSignals {
 public:
  ChildSignals() {
    sigset_t child_signal;
    sigemptyset(&child_signal);
    sigaddset(&child_signal, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &child_signal, &mask_);
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    sigemptyset(&by_default.sa_mask);
    ::sigaction(SIGCHLD, &by_default, &before_);
  }
  ~ChildSignals() { Restore(); }
  ChildSignals(const ChildSignals&) = delete;
  ChildSignals& operator=(const ChildSignals&) = delete;

  void Restore() const {
    ::sigaction(SIGCHLD, &before_, nullptr);
    ::sigprocmask(SIG_SETMASK, &mask_, nullptr);
  }

 private:
  struct sigaction before_;
  sigset_t mask_;
};

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

// Waits for SIGCHLD (blocked by ChildSignals) until the child has ended or
// the deadline has passed; true when it has ended.
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

// How a child program ended, for the error log.
struct ChildEnd {
  // kNotForked: not started, for no process could be made (StartChild logs that).
  enum Kind { kExited, kSignalled, kBounded, kUnended, kNotStarted, kNotForked } kind = kNotStarted;
  int number = 0;  // the exit status, the signal, the bound in seconds, or the error number

  std::string Describe() const {
    switch (kind) {
      case kExited:
        return "exited with status " + std::to_string(number);
      case kSignalled:
        return "was ended by signal " + std::to_string(number);
      case kBounded:
        return "ran past its bound of " + std::to_string(number) + " s and was ended";
      case kUnended:
        return "ran past its bound of " + std::to_string(number) + " s and could not be ended";
      case kNotStarted:
      case kNotForked:
        break;
    }
    return std::string("could not be started: ") + std::strerror(number);
  }
};

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

// The bound has passed: the group, and the program by its id as well, for it
// may have moved to another group. Both ids stay reserved while the child is
// not reaped.
ChildEnd EndBounded(pid_t child, unsigned bound_seconds) {
  const int bound = static_cast<int>(bound_seconds);
  ::kill(-child, SIGTERM);
  ::kill(child, SIGTERM);
  AwaitEnd(child, Clock::now() + kGrace);
  // What is left of the group, the program itself included if it ignores
  // SIGTERM.
  ::kill(-child, SIGKILL);
  ::kill(child, SIGKILL);
  if (!AwaitEnd(child, Clock::now() + kGrace)) {
    return {ChildEnd::kUnended, bound};
  }
  Reap(child);
  return {ChildEnd::kBounded, bound};
}

void LogEnd(const ChildName& name, const std::string& end) {
  if (name.oid != nullptr) {
    WriteErrorLog("%s %s for %s %s\n", name.kind, name.path, name.oid, end.c_str());
  } else {
    WriteErrorLog("%s %s %s\n", name.kind, name.path, end.c_str());
  }
}

// Starts the program and waits for it.
ChildEnd StartAndWait(const ChildProgram& program) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    return ChildEnd{ChildEnd::kNotStarted, errno};
  }
  const ChildSignals signals;
  const pid_t child = StartChild(program.name, ChildGroup::kOwn);
  if (child == 0) {
    // On failure the error number goes back through the pipe.
    ::close(report[0]);
    signals.Restore();
    program.prepare();
    ::execv(program.argv[0], const_cast<char* const*>(program.argv));
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(report[1], &error, sizeof error);
    if (program.not_started != nullptr) {
      program.not_started();
    }
    ::_exit(1);
  }
  ::close(report[1]);
  if (child < 0) {
    const int error = errno;
    ::close(report[0]);
    return {ChildEnd::kNotForked, error};
  }
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
  const unsigned bound = card_paths::kChildTimeoutSeconds;
  std::optional<Clock::time_point> deadline;
  if (bound > 0) {
    deadline = Clock::now() + std::chrono::seconds(bound);
  }
  return AwaitEnd(child, deadline) ? Reap(child) : EndBounded(child, bound);
}

}  // namespace

pid_t StartChild(const ChildName& name, ChildGroup group) {
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    LogEnd(name, ChildEnd{ChildEnd::kNotStarted, error}.Describe());
    errno = error;
    return child;
  }
  if (group == ChildGroup::kOwn) {
    ::setpgid(child, child);  // in the child: (0, 0)
  }
  if (child == 0) {
    CloseAboveStandardStreams(/*on_exec=*/true);
  }
  return child;
}

std::string RunChildProgram(const ChildProgram& program) {
  const ChildEnd end = StartAndWait(program);
  std::string description = end.Describe();
  if (end.kind == ChildEnd::kNotForked || (end.kind == ChildEnd::kExited && end.number == 0)) {
    return description;
  }
  if (program.log_every_failure || end.kind == ChildEnd::kNotStarted ||
      end.kind == ChildEnd::kBounded || end.kind == ChildEnd::kUnended) {
    LogEnd(program.name, description);
  }
  return description;
}
