#pragma once

#include <optional>

#include "e2e/harness/sandbox.hpp"

namespace testing_support {

using CgiEnvironment =
    std::vector<std::pair<std::string, std::string>>;  // the whole environment of one request

struct CgiRun {
  std::string out, err;  // standard output and error, of every process that held them
  int exit_status = -1;  // -1 if signalled
  // When the request process ended, and when the last holder of its standard output closed it.
  std::chrono::steady_clock::time_point exited, output_closed;
  std::size_t unread_input = 0;  // bytes of the body the program left in its input
};

struct CgiRunOptions {
  std::string program = "";          // default: the sandboxed build
  std::chrono::seconds timeout{60};  // a bound for a busy machine, not an expected time
  // A client that closes the response once it holds `leave_after` ("": at once); with
  // `terminate_on_leave`, SIGTERM too.
  std::optional<std::string> leave_after = std::nullopt;
  bool terminate_on_leave = false;
  int closed_stream = -1;        // a standard stream the program starts without
  bool input_left_open = false;  // the body's stream stays open until the program has ended
};

// Runs the program in the sandbox's working directory with `body` as input and descriptor 7 left
// open (as a careless server does); fails the test when it does not end in time, or, under
// MEROVANE_TEST_VALGRIND, when memcheck finds faults.
CgiRun RunCgi(const Sandbox& sandbox, const CgiEnvironment& environment, std::string_view body = "",
              const CgiRunOptions& options = {});
bool UnderMemcheck();

inline constexpr const char* kTestHostUrl = "http://card.example";
inline constexpr const char* kTestScript = "/cgi-bin/Merovane";
// `env` changed by `words` apart by `separator`: "NAME=VALUE" sets, a bare "NAME" unsets.
inline CgiEnvironment With(CgiEnvironment env, std::string_view words, char separator = ' ') {
  for (std::size_t at = 0, end = 0; at < words.size(); at = end + 1) {
    end = std::min(words.find(separator, at), words.size());
    const std::string_view word = words.substr(at, end - at), name = word.substr(0, word.find('='));
    std::erase_if(env, [&](const auto& variable) { return variable.first == name; });
    if (name.size() < word.size()) env.emplace_back(name, word.substr(name.size() + 1));
  }
  return env;
}
// A GET with HTTP_HOST "card.example" and SCRIPT_NAME kTestScript; a POST with the body's length
// and `type` (none when empty).
inline CgiEnvironment GetRequest(std::string_view path_info) {
  return {{"PATH_INFO", std::string(path_info)},
          {"REQUEST_METHOD", "GET"},
          {"HTTP_HOST", "card.example"},
          {"SCRIPT_NAME", kTestScript}};
}
inline CgiEnvironment PostRequest(std::string_view path_info, std::string_view body,
                                  std::string_view type = "application/x-www-form-urlencoded") {
  CgiEnvironment env = With(GetRequest(path_info), "REQUEST_METHOD=POST");
  env.emplace_back("CONTENT_LENGTH", std::to_string(body.size()));
  if (!type.empty()) env.emplace_back("CONTENT_TYPE", type);
  return env;
}

}  // namespace testing_support
