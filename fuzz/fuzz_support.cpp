#include "fuzz_support.hpp"

#include <stdio_ext.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cgi/captured_variables.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"

namespace fuzz_support {

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: broken promise: %s\n", file, line, condition);
  std::abort();
}

void SetStdin(std::string_view bytes) {
  const int file = ::memfd_create("merovane-fuzz-stdin", 0);
  if (file < 0 || ::write(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      ::lseek(file, 0, SEEK_SET) != 0 || ::dup2(file, STDIN_FILENO) != STDIN_FILENO) {
    std::perror("standard input");
    std::abort();
  }
  ::close(file);
  ::__fpurge(stdin);  // nothing the stream buffered from the last input is read again
  std::clearerr(stdin);
}

namespace {
// Read by the program itself, not captured by the request library.
constexpr std::string_view kOwnVariables[] = {"HTTP_HOST", "HTTP_ORIGIN", "HTTPS",
                                              "REQUEST_SCHEME"};
}  // namespace

bool IsCgiVariable(std::string_view name) {
  return std::ranges::count(kOwnVariables, name) + std::ranges::count(kCapturedVariables, name) > 0;
}

void ClearCgiVariables() {
  for (std::string_view name : kOwnVariables) ::unsetenv(std::string(name).c_str());
  for (std::string_view name : kCapturedVariables) ::unsetenv(std::string(name).c_str());
}

void SetVariable(const std::string& name, std::string_view value) {
  ::setenv(name.c_str(), std::string(value.substr(0, value.find('\0'))).c_str(), 1);
}

std::size_t LookUpEveryName() {
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  FUZZ_CHECK(environment != nullptr);
  std::size_t bytes = 0;
  for (std::size_t position = 0; position < environment->CollectionCount(); ++position) {
    const CollectionTable& table = *environment->collections;
    for (const FormEntry& entry : table.Entries(position)) bytes += entry.raw_value.size();
    const std::string name(table.First(position).name);
    FUZZ_CHECK(table.Find(name) == position);
    std::string text;
    for (const std::size_t capacity : {0, 1, 50}) {  // never more than capacity - 1 characters
      CgiGetString(name, text, capacity);
      FUZZ_CHECK(text.size() < std::max<std::size_t>(capacity, 1));
    }
    std::int32_t number;
    CgiGetLong(name, number, -1);
    double decimal;
    CgiGetDouble(name, decimal, -1.0);
  }
  return bytes;
}

}  // namespace fuzz_support
