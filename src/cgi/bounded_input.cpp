#include "cgi/bounded_input.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "cgi/checked_alloc.hpp"

namespace {

// How long a read waits for data that has not come: a web server's own
// time-out for a client that sends nothing (lighttpd's and Apache's is 60 s).
constexpr int kInputWaitMilliseconds = 60 * 1000;

}  // namespace

std::optional<std::size_t> CgiReadInput(int descriptor, char* buffer, std::size_t size) {
  while (true) {
    const ssize_t arrived = ::read(descriptor, buffer, size);
    if (arrived >= 0) {
      return static_cast<std::size_t>(arrived);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A non-blocking input whose data is late: waited for as a server
      // waits for its client, and its end when none comes.
      pollfd input{.fd = descriptor, .events = POLLIN, .revents = 0};
      const int ready = ::poll(&input, 1, kInputWaitMilliseconds);
      if (ready == 0) {
        return 0;
      }
      if (ready > 0 || errno == EINTR) {
        continue;
      }
      return std::nullopt;
    }
    if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

BoundedInput::BoundedInput(int descriptor, std::uint64_t length)
    : descriptor_(descriptor), left_(length) {
  stream_ = ::fopencookie(this, "r",
                          {.read = &Read, .write = nullptr, .seek = nullptr, .close = nullptr});
  // A stream is a small allocation: it fails only when memory has run out.
  if (stream_ == nullptr) {
    CgiMemoryExhausted();
  }
  // The body is read line by line through this stream: in blocks of 64 KiB,
  // a line rarely straddles a refill, and a file part of megabytes costs a
  // sixteenth of the refills of stdio's 4 KiB. One body is read per process,
  // so the block is static: its pages are touched only as far as a body
  // fills it.
  static std::array<char, 64 * 1024> block;
  std::setvbuf(stream_, block.data(), _IOFBF, block.size());
}

BoundedInput::~BoundedInput() { std::fclose(stream_); }

// The descriptor is asked for no more than is left of the length.
ssize_t BoundedInput::Read(void* cookie, char* buffer, std::size_t size) {
  BoundedInput& input = *static_cast<BoundedInput*>(cookie);
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, input.left_));
  if (wanted == 0) {
    return 0;
  }
  const std::optional<std::size_t> got = CgiReadInput(input.descriptor_, buffer, wanted);
  if (!got) {
    return -1;
  }
  input.left_ -= *got;
  input.received_ += *got;
  return static_cast<ssize_t>(*got);
}

void BoundedInput::Drain() {
  std::array<char, 4096> block;
  while (std::fread(block.data(), 1, block.size(), stream_) == block.size()) {
  }
}
