#pragma once
// A request's inputs set from memory, for the library's tests and the fuzzers alike (no
// GoogleTest): its CGI variables and its standard input, descriptor and stream.
#include <stdio_ext.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cgi/captured_variables.hpp"

namespace cgi_testing {
using Variables = std::vector<std::pair<std::string, std::string>>;

// Read by the program itself, not captured by the request library.
inline constexpr std::string_view kOwnVariables[] = {"HTTP_HOST", "HTTP_ORIGIN", "HTTPS",
                                                     "REQUEST_SCHEME"};
// Makes those of `variables` that are CGI variables the only ones set (no other variable of the
// process changes); a value ends at its first NUL, as in any environment.
inline void SetCgiVariables(const Variables& variables) {
  for (std::string_view name : kOwnVariables) ::unsetenv(std::string(name).c_str());
  for (std::string_view name : kCapturedVariables) ::unsetenv(std::string(name).c_str());
  for (const auto& [name, value] : variables)
    if (std::ranges::count(kOwnVariables, name) + std::ranges::count(kCapturedVariables, name))
      ::setenv(name.c_str(), value.c_str(), 1);
}

// Standard input (descriptor and stream, nothing buffered kept) reads from `source` from now on.
inline void ReplaceStdin(int source) {
  if (source < 0 || ::dup2(source, STDIN_FILENO) != STDIN_FILENO)
    std::perror("standard input"), std::abort();
  ::close(source);
  ::__fpurge(stdin);
  std::clearerr(stdin);
}
// Standard input reads `bytes` from a memory file.
inline void SetStdin(std::string_view bytes) {
  const int file = ::memfd_create("merovane-test-stdin", 0);
  if (::write(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      ::lseek(file, 0, SEEK_SET) != 0)
    std::perror("memory file"), std::abort();
  ReplaceStdin(file);
}
// Standard input reads from a pipe (of pipe2's `flags`) that holds `now`, and `later` too once
// the returned writer has waited 20 ms (the reader waits for it), then ends.
inline std::jthread SetStdinInPieces(std::string now, std::string later, int flags = 0) {
  int ends[2];
  if (::pipe2(ends, flags) != 0 || ::write(ends[1], now.data(), now.size()) != ssize_t(now.size()))
    std::perror("pipe"), std::abort();
  ReplaceStdin(ends[0]);
  return std::jthread([later = std::move(later), writer = ends[1]] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (::write(writer, later.data(), later.size()) != ssize_t(later.size())) std::abort();
    ::close(writer);
  });
}
}  // namespace cgi_testing
