#pragma once

#include <signal.h>

#include <string>

// Programs of the card started from the request process, which runs as root
// with whatever descriptors the web server left open.

// How a child program ended.
struct ChildEnd {
  enum Kind { kExited, kSignalled, kBounded, kUnended, kNotStarted } kind = kNotStarted;
  int number = 0;  // the exit status, the signal, the bound in seconds, or the error number
};

// What happened, for the error log: "exited with status 3", "could not be
// started: No such file or directory", ...
std::string DescribeChildEnd(const ChildEnd& end);

// Marks every descriptor above the standard streams close-on-exec, also those
// the web server left open: the next program executed holds none of them,
// while a process that fails to execute can still write its error log.
void CloseAboveStandardStreamsOnExec();

// While one lives, SIGCHLD is blocked and at its default action, as
// RunChildProgram needs it: the end of a child is awaited as a signal, none
// may be lost, and a web server may leave SIGCHLD ignored, so that no child
// could be waited for. A run of programs (the changes of an Apply) sets and
// restores both once; a scope opened within another one sets nothing.
class ChildSignals {
 public:
  ChildSignals();
  ~ChildSignals();
  ChildSignals(const ChildSignals&) = delete;
  ChildSignals& operator=(const ChildSignals&) = delete;

  // The outermost scope's: what the signal and the mask were before it,
  // which every child gets back.
  static const ChildSignals& Outermost();
  const struct sigaction& before() const { return before_; }
  const sigset_t& mask() const { return mask_; }

 private:
  const ChildSignals* outer_;
  // Set by the outermost scope only: an inner one never reads its own.
  struct sigaction before_;
  sigset_t mask_;
};

// Runs `argv[0]` (by its path, with `argv` as its arguments) in a child that
// leads a process group of its own, made by _Fork (no fork handler runs in
// it), after `prepare` has run in the child and
// with every descriptor above 2 closed. When it cannot be executed, the child
// runs `not_started` (which ends it) and the parent learns why. Past
// `bound_seconds` (0: no bound) the group and the program get SIGTERM, SIGKILL
// after a short grace. Returns once the child has been reaped, or, when even
// SIGKILL has not ended it after that grace again, without it (kUnended).
ChildEnd RunChildProgram(const char* const* argv, void (*prepare)(), void (*not_started)(),
                         unsigned bound_seconds);
