#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"

namespace cgi_testing {

using Variables = std::vector<std::pair<std::string, std::string>>;

// Makes `variables` the only captured CGI variables that are set.
inline void SetCgiVariables(const Variables& variables) {
  for (std::string_view name : kCapturedVariables) ::unsetenv(std::string(name).c_str());
  for (const auto& [name, value] : variables) ::setenv(name.c_str(), value.c_str(), 1);
}

// From now on standard input (descriptor and stream) reads from `source`.
inline void ReplaceStdin(int source) {
  ASSERT_GE(source, 0);
  ::__fpurge(stdin);  // nothing buffered from an earlier source may be read
  ASSERT_EQ(::dup2(source, STDIN_FILENO), STDIN_FILENO);
  ::close(source);
  std::clearerr(stdin);
}
inline void SetStdinPath(const char* path) { ReplaceStdin(::open(path, O_RDONLY)); }
inline void SetStdin(std::string_view body) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(body.data(), 1, body.size(), file), body.size());
  ASSERT_EQ(std::fflush(file), 0);
  ASSERT_EQ(::lseek(::fileno(file), 0, SEEK_SET), 0);
  ReplaceStdin(::dup(::fileno(file)));
  std::fclose(file);
}

struct CloseStream {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, CloseStream>;

// A stream reading `content` from a temporary file, as standard input would.
inline Stream StreamOf(std::string_view content) {
  Stream stream(std::tmpfile());
  if (stream) {
    std::fwrite(content.data(), 1, content.size(), stream.get());
    std::rewind(stream.get());
  }
  return stream;
}

struct Entry {
  std::string name;
  std::string value;
  std::size_t value_length;
  bool operator==(const Entry&) const = default;
};
inline void PrintTo(const Entry& e, std::ostream* os) {
  *os << ::testing::PrintToString(e.name) << "=" << ::testing::PrintToString(e.value) << "/" << e.value_length;
}

// Every entry of the current request: collection after collection in table
// order, each collection's entries in arrival order.
inline std::vector<Entry> TableEntries() {
  std::vector<Entry> entries;
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  for (std::size_t i = 0; environment != nullptr && i < environment->CollectionCount(); ++i) {
    for (const FormEntry& entry : environment->collections->At(i).entries) {
      entries.push_back({entry.name, entry.value, entry.value_length});
    }
  }
  return entries;
}

// Parses `body` as a URL-encoded POST; CONTENT_LENGTH is its size unless given.
inline int ParsePost(std::string_view body, std::optional<std::string> content_length = std::nullopt) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"},
                   {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                   {"CONTENT_LENGTH", content_length.value_or(std::to_string(body.size()))}});
  SetStdin(body);
  return CgiParseRequest();
}

// Parses `body` as a POST of `content_type` (a multipart one, say).
inline int ParsePostOf(const std::string& content_type, std::string_view body) {
  SetCgiVariables({{"REQUEST_METHOD", "POST"},
                   {"CONTENT_TYPE", content_type},
                   {"CONTENT_LENGTH", std::to_string(body.size())}});
  SetStdin(body);
  return CgiParseRequest();
}

// Releases the request after every test.
class CgiTest : public ::testing::Test {
 protected:
  void TearDown() override { CgiFreeRequest(); }
};

}  // namespace cgi_testing
