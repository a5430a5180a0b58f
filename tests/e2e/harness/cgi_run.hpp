#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness/sandbox.hpp"

namespace testing_support {

// The CGI environment of one request: nothing of the test's own reaches the program.
using CgiEnvironment = std::vector<std::pair<std::string, std::string>>;

struct CgiRun {
  std::string out, err;  // standard output and error, of every process that held them
  int exit_status = -1;  // -1 if signalled
  int signal = 0;
  // When the request process ended, and when the last holder of its standard output closed it.
  std::chrono::steady_clock::time_point exited, output_closed;
};

struct CgiRunOptions {
  std::string program = "";  // default: the sandboxed build
  std::chrono::seconds timeout{30};
  // A client that leaves once the response holds `leave_after` ("" at once): the
  // response pipe is closed, and with `terminate_on_leave` the process gets SIGTERM.
  std::optional<std::string> leave_after = std::nullopt;
  bool terminate_on_leave = false;
  int closed_stream = -1;         // a standard stream the program starts without
  int inherited_descriptor = -1;  // a descriptor left open into the program (on /dev/null)
};

// Runs the program once in the sandbox's working directory with `body` on its
// standard input; fails the test when it does not end in time. With
// MEROVANE_TEST_VALGRIND naming valgrind, the request process runs under
// memcheck and any fault or leak it reports fails the test.
CgiRun RunCgi(const Sandbox& sandbox, const CgiEnvironment& environment, std::string_view body = "",
              const CgiRunOptions& options = {});
bool UnderMemcheck();

// A GET of `path_info` with HTTP_HOST kTestHost and SCRIPT_NAME kTestScript.
CgiEnvironment GetRequest(std::string_view path_info);
// A POST with the body's CONTENT_LENGTH and CONTENT_TYPE `type` (none when empty).
CgiEnvironment PostRequest(std::string_view path_info, std::string_view body,
                           std::string_view type = "application/x-www-form-urlencoded");
void SetVariable(CgiEnvironment& environment, std::string_view name, std::string_view value);
void RemoveVariable(CgiEnvironment& environment, std::string_view name);

inline constexpr const char* kTestHost = "card.example";
inline constexpr const char* kTestScript = "/cgi-bin/Merovane";

}  // namespace testing_support
