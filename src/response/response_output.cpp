#include "response/response_output.hpp"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace response {
namespace detail {

std::string* capture_target = nullptr;

// The response gathers here and leaves in blocks of up to 32 KiB: a page
// leaves in one write at the end, and the web server reading the pipe is
// woken once. A piece is copied in without a stream's bookkeeping. Static
// storage: its pages are touched only as far as a page fills it.
std::array<char, kBlockSize> block;
std::size_t used = 0;

}  // namespace detail

namespace {

using detail::block;
using detail::capture_target;
using detail::used;

bool failed = false;  // a write of standard output failed

void WriteOut(const char* data, std::size_t size) {
  while (size > 0 && !failed) {
    const ssize_t written = ::write(STDOUT_FILENO, data, size);
    if (written < 0) {
      failed = errno != EINTR;
      continue;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void Drain() {
  WriteOut(block.data(), used);
  used = 0;
}

}  // namespace

void Begin() {
  // A process that ends through exit rather than main still sends what it
  // wrote, as a stdio stream would; and before every fork what was written
  // leaves, so that no child inherits it to send it again.
  static const bool drained_at_exit = std::atexit(Drain) == 0;
  static const bool drained_at_fork = ::pthread_atfork(Drain, nullptr, nullptr) == 0;
  static_cast<void>(drained_at_exit);
  static_cast<void>(drained_at_fork);
}

void WriteThroughDrain(std::string_view text) {
  if (capture_target != nullptr) {
    capture_target->append(text);
    return;
  }
  if (text.size() > block.size() - used) {
    Drain();
    if (text.size() > block.size()) {
      WriteOut(text.data(), text.size());
      return;
    }
  }
  // An empty view may hold no pointer at all, which memcpy must never get.
  if (!text.empty()) {
    std::memcpy(block.data() + used, text.data(), text.size());
    used += text.size();
  }
}

void Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (capture_target == nullptr) {
    // Formatted straight into the block when it fits in what is left.
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(block.data() + used, block.size() - used, format, copy);
    va_end(copy);
    if (length >= 0 && static_cast<std::size_t>(length) < block.size() - used) {
      used += static_cast<std::size_t>(length);
      va_end(args);
      return;
    }
  }
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    // Formatted whole, then written like any other piece.
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    Write(text);
  }
  va_end(args);
}

bool Flush() {
  if (capture_target != nullptr) {
    return true;
  }
  Drain();
  return !failed;
}

Capture::Capture() : previous_(capture_target) { capture_target = &text_; }
Capture::~Capture() { capture_target = previous_; }

}  // namespace response
