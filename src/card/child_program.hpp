#pragma once

#include <sys/types.h>

#include <string>

// Programs of the card started from the request process, which runs as root
// with whatever descriptors the web server left open.

enum class ChildGroup { kInherited, kOwn };

// How the error log names a child: "KIND PATH", or "KIND PATH for OID".
struct ChildName {
  const char* kind;  // "change program", "refresh script", "reboot command"
  const char* path;
  const char* oid = nullptr;
};

// Every descriptor above the standard streams, also those the web server
// left open: closed now, or (`on_exec`) marked to close when the next
// program starts. (The error log's among them: close it first.)
void CloseAboveStandardStreams(bool on_exec);

// The one way this program makes a process. fork runs the handlers that the
// layers above registered: the response is flushed first (response::Begin)
// and the child gets back the address-space limit (CgiLimitAddressSpace). In
// the child every descriptor above the standard streams is marked
// close-on-exec, also those the web server left open: the next program
// executed holds none of them, while the child can still write the error
// log. With kOwn the child leads a process group of its own, set on both
// sides, so that it exists before either goes on. When no process can be
// made, logs "NAME could not be started: REASON". Returns what fork returns.
pid_t StartChild(const ChildName& name, ChildGroup group);

// A program to run and wait for, started by StartChild in a group of its own.
struct ChildProgram {
  const char* const* argv;  // argv[0]: the program's path
  ChildName name;
  // Run in the child just before the program starts, to give it back what
  // this process changed for itself.
  void (*prepare)();
  // Run in the child when the program cannot be started, before it ends
  // with status 1.
  void (*not_started)() = nullptr;
  // Whether a nonzero exit status or a signal is logged too; a start that
  // failed and the bound always are.
  bool log_every_failure = true;
};

// Runs `program` and waits for it within card_paths::kChildTimeoutSeconds:
// past that bound its group and the program itself (which may have left the
// group) get SIGTERM, SIGKILL after a short grace, and the wait after that
// is bounded too. Logs each end that `program` asks for as "NAME exited with
// status N", "NAME was ended by signal N", "NAME ran past its bound of N s
// and was ended" (or "and could not be ended": not reaped), "NAME could not
// be started: REASON". SIGCHLD and the signal mask are as before for the
// program and once this returns. Returns how it ended, as the log words it
// ("exited with status 0" for a clean end).
std::string RunChildProgram(const ChildProgram& program);
