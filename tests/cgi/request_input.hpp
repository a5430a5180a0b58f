#pragma once
// A request's inputs set from memory, for the library's tests and the fuzzers alike (no
// GoogleTest): its CGI variables and its standard input, descriptor and stream.
#include <stdio_ext.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "cgi/captured_variables.hpp"

namespace cgi_testing {
using Variables = std::vector<std::pair<std::string, std::string>>;

// Read by the program itself, not captured by the request library.
inline constexpr std::string_view kOwnVariables[] = {"HTTP_HOST", "HTTP_ORIGIN", "HTTPS",
                                                     "REQUEST_SCHEME"};
inline bool IsCgiVariable(std::string_view name) {
  return std::ranges::count(kOwnVariables, name) + std::ranges::count(kCapturedVariables, name) > 0;
}
// Makes `variables` the only CGI variables that are set; a value ends at its first NUL, as in any
// environment.
inline void SetCgiVariables(const Variables& variables) {
  for (std::string_view name : kOwnVariables) ::unsetenv(std::string(name).c_str());
  for (std::string_view name : kCapturedVariables) ::unsetenv(std::string(name).c_str());
  for (const auto& [name, value] : variables) ::setenv(name.c_str(), value.c_str(), 1);
}

// Standard input (descriptor and stream, nothing buffered kept) reads from `source` from now on.
inline void ReplaceStdin(int source) {
  if (source < 0 || ::dup2(source, STDIN_FILENO) != STDIN_FILENO) {
    std::perror("standard input");
    std::abort();
  }
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
}  // namespace cgi_testing
