#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness/sandbox.hpp"

namespace testing_support {

// The CGI environment of one request, built from scratch: nothing of the
// test process's own environment reaches the program.
using CgiEnvironment = std::vector<std::pair<std::string, std::string>>;

struct CgiRun {
  std::string out;   // everything written to standard output, by every process
  std::string err;   // everything written to standard error
  int exit_status = -1;  // the request process's exit status; -1 if signalled
  int signal = 0;        // the signal that ended it, if any
  // When the request process ended, and when the last holder of its standard
  // output closed it (later when a child keeps the response stream open).
  std::chrono::steady_clock::time_point exited;
  std::chrono::steady_clock::time_point output_closed;
};

struct CgiRunOptions {
  std::string program = "";  // defaults to the sandboxed build of the program
  std::chrono::seconds timeout{30};
  unsigned long address_space_limit = 0;  // RLIMIT_AS in bytes; 0 = none
  // The body arrives in two pieces: the first `body_split` bytes, then the
  // rest after `body_pause` (0 = all at once).
  std::size_t body_split = 0;
  std::chrono::milliseconds body_pause{0};
  // When the tests run as root, the program starts as this user (and group
  // of the same number, no other groups); otherwise it has no effect.
  std::optional<uid_t> user = std::nullopt;
  // A client that leaves: once the response holds `leave_after` ("" at
  // once), the response is no longer read and its pipe is closed; with
  // `terminate_on_leave` the request process also gets SIGTERM, as lighttpd
  // sends it when a client drops.
  std::optional<std::string> leave_after = std::nullopt;
  bool terminate_on_leave = false;
  // A standard stream (0, 1 or 2) that the program starts without; -1: none.
  int closed_stream = -1;
  // A descriptor left open into the program (on /dev/null), as a careless
  // server might; -1: none.
  int inherited_descriptor = -1;
};

// Runs the program once in the sandbox's working directory with `environment`
// and `body` on standard input, and collects what it wrote. Fails the current
// test (and kills the process group) when it does not finish in time.
//
// With MEROVANE_TEST_VALGRIND set to valgrind's path in the test's own
// environment, the program runs under memcheck: any invalid access, use of
// uninitialised memory or leak of the request process fails the test with
// valgrind's report (and makes the exit status 99). Programs the request
// execs and children it forks are not checked; the address-space limit is
// not applied (valgrind needs room of its own).
//
// In a cross build the program runs under the emulator of the build
// (CMAKE_CROSSCOMPILING_EMULATOR), without the address-space limit either.
CgiRun RunCgi(const Sandbox& sandbox, const CgiEnvironment& environment, std::string_view body = "",
              const CgiRunOptions& options = {});

// The common GET request for a path: PATH_INFO, REQUEST_METHOD, HTTP_HOST
// "card.example" and SCRIPT_NAME "/cgi-bin/Merovane".
CgiEnvironment GetRequest(std::string_view path_info);
// Sets or replaces one variable.
void SetVariable(CgiEnvironment& environment, std::string_view name, std::string_view value);
void RemoveVariable(CgiEnvironment& environment, std::string_view name);

inline constexpr const char* kTestHost = "card.example";
inline constexpr const char* kTestScript = "/cgi-bin/Merovane";

}  // namespace testing_support
