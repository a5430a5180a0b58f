#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The first `length` bytes of a stream as a stream of their own, which ends
// after them. A CGI program may read no more of its input than
// CONTENT_LENGTH declares, and the server need not end the input there: a
// reader that asked for one byte more could wait for ever.
class BoundedInput {
 public:
  BoundedInput(std::FILE* source, std::uint64_t length);
  // The bounded stream goes; the source stays open.
  ~BoundedInput();
  BoundedInput(const BoundedInput&) = delete;
  BoundedInput& operator=(const BoundedInput&) = delete;

  std::FILE* stream() const { return stream_; }
  // The bytes taken from the source so far.
  std::uint64_t received() const { return received_; }
  // Takes and drops the rest of the length, as far as the source has it.
  void Drain();

 private:
  static ssize_t Read(void* cookie, char* buffer, std::size_t size);

  std::FILE* source_;
  std::uint64_t left_;
  std::uint64_t received_ = 0;
  std::FILE* stream_ = nullptr;
};
