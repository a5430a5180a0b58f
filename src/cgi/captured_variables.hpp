#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The CGI variables captured for a request, in slot order: a variable's
// position here is its index for CgiCapturedValue.
inline constexpr std::array<std::string_view, 19> kCapturedVariables = {
    "HTTP_COOKIE",       "HTTP_REFERER", "AUTH_TYPE",       "CONTENT_LENGTH",  "CONTENT_TYPE",
    "GATEWAY_INTERFACE", "PATH_INFO",    "PATH_TRANSLATED", "QUERY_STRING",    "REMOTE_ADDR",
    "REMOTE_HOST",       "REMOTE_IDENT", "REMOTE_USER",     "REQUEST_METHOD",  "SCRIPT_NAME",
    "SERVER_NAME",       "SERVER_PORT",  "SERVER_PROTOCOL", "SERVER_SOFTWARE",
};
inline constexpr std::size_t kCapturedVariableCount = kCapturedVariables.size();
// Each name is looked up as C text: the literal's own NUL follows it.
static_assert([] {
  for (std::string_view name : kCapturedVariables) {
    if (name.data()[name.size()] != '\0') {
      return false;
    }
  }
  return true;
}());

// The slots the library itself reads.
inline constexpr std::size_t kContentLengthSlot = 3;
inline constexpr std::size_t kContentTypeSlot = 4;
inline constexpr std::size_t kQueryStringSlot = 8;
inline constexpr std::size_t kRequestMethodSlot = 13;

static_assert(kCapturedVariables[kContentLengthSlot] == "CONTENT_LENGTH");
static_assert(kCapturedVariables[kContentTypeSlot] == "CONTENT_TYPE");
static_assert(kCapturedVariables[kQueryStringSlot] == "QUERY_STRING");
static_assert(kCapturedVariables[kRequestMethodSlot] == "REQUEST_METHOD");
