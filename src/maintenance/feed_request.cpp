#include "maintenance/feed_request.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

std::size_t FeedBodyLength(const char* content_length) {
  if (content_length == nullptr) {
    return 0;
  }
  // A negative or oversized value wraps or saturates far above the limit,
  // and is cut down to it like any other long body.
  const unsigned long length = std::strtoul(content_length, nullptr, 0);
  return static_cast<std::size_t>(std::min<unsigned long>(length, kFeedBodyLimit));
}

std::string ReadFeedBody(std::size_t length) {
  std::string body(length, '\0');
  std::size_t received = 0;
  while (received < length) {
    const ssize_t got = ::read(STDIN_FILENO, body.data() + received, length - received);
    if (got > 0) {
      received += static_cast<std::size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  body.resize(received);
  const std::size_t text_end = body.find('\0');
  if (text_end != std::string::npos) {
    body.resize(text_end);
  }
  return body;
}

std::optional<LoadType> FeedLoadType(std::string_view body) {
  constexpr std::string_view kKey = "loadtype=";
  const std::size_t key = body.find(kKey);
  if (key == std::string_view::npos) {
    return std::nullopt;
  }
  // Up to the first space: found with std::find, as GCC 12 optimizing
  // across files takes find's search for an unbounded one and warns.
  const std::string_view rest = body.substr(key + kKey.size());
  const std::string_view value(rest.begin(), std::find(rest.begin(), rest.end(), ' '));
  return value == kPpcUploadName ? LoadType::kPpcUpload : LoadType::kDefault;
}
