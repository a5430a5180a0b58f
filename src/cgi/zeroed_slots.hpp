#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "cgi/checked_alloc.hpp"

// A fixed number of 32-bit slots, all zero at first. They come from calloc:
// a large block is fresh zero pages from the kernel, so it is neither cleared
// by the program nor touched before its slots are used.
class ZeroedSlots {
 public:
  ZeroedSlots() = default;
  explicit ZeroedSlots(std::size_t count)
      : slots_(static_cast<std::uint32_t*>(std::calloc(count, sizeof(std::uint32_t)))),
        size_(count) {
    if (!slots_) {
      CgiMemoryExhausted();
    }
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::uint32_t& operator[](std::size_t index) { return slots_[index]; }
  std::uint32_t operator[](std::size_t index) const { return slots_[index]; }

 private:
  struct Release {
    void operator()(std::uint32_t* slots) const noexcept { std::free(slots); }
  };
  std::unique_ptr<std::uint32_t[], Release> slots_;
  std::size_t size_ = 0;
};
