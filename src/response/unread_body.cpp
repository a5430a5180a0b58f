#include "response/unread_body.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

// CONTENT_LENGTH as RFC 3875 spells it, digits only; none for anything else.
std::optional<std::uint64_t> DeclaredLength(const char* text) {
  if (text == nullptr || *text == '\0' || std::strlen(text) > 18) {
    return std::nullopt;
  }
  std::uint64_t length = 0;
  for (const char c : std::string_view(text)) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    length = length * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return length;
}

}  // namespace

void DropUnreadBody(std::uint64_t already_read) {
  const char* method = std::getenv("REQUEST_METHOD");
  const std::optional<std::uint64_t> length = DeclaredLength(std::getenv("CONTENT_LENGTH"));
  if (method == nullptr || std::strcmp(method, "POST") != 0 || !length ||
      *length > kDroppedBodyLimit || *length <= already_read) {
    return;
  }
  std::array<char, 4096> buffer;
  for (std::uint64_t left = *length - already_read; left > 0;) {
    const ssize_t got =
        ::read(STDIN_FILENO, buffer.data(), std::min<std::uint64_t>(left, buffer.size()));
    if (got > 0) {
      left -= static_cast<std::uint64_t>(got);
    } else if (got == 0 || errno != EINTR) {
      break;  // the input ended early, or gives nothing now (non-blocking)
    }
  }
}
