#include "response/response_output.hpp"

#include <array>
#include <cstdarg>
#include <cstdio>

namespace response {
namespace {
std::string* capture_target = nullptr;
}

void Begin() {
  // Static storage: its pages are touched only as far as a page fills it.
  static std::array<char, 32 * 1024> block;
  std::setvbuf(stdout, block.data(), _IOFBF, block.size());
}

void Write(std::string_view text) {
  if (capture_target != nullptr) {
    capture_target->append(text);
    return;
  }
  // One thread writes the response: the stream needs no lock per piece.
  ::fwrite_unlocked(text.data(), 1, text.size(), stdout);
}

void Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (capture_target == nullptr) {
    std::vfprintf(stdout, format, args);
    va_end(args);
    return;
  }
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    const std::size_t start = capture_target->size();
    capture_target->resize(start + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(capture_target->data() + start, static_cast<std::size_t>(length) + 1, format,
                   args);
    capture_target->resize(start + static_cast<std::size_t>(length));
  }
  va_end(args);
}

bool Flush() {
  if (capture_target != nullptr) {
    return true;
  }
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

Capture::Capture() : previous_(capture_target) { capture_target = &text_; }
Capture::~Capture() { capture_target = previous_; }

}  // namespace response
