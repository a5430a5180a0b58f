#pragma once

#include <cassert>
#include <cstddef>
#include <memory>
#include <vector>

// An array that grows a block at a time and never moves what it holds: no
// record is copied when it grows, and it costs at most one block more than
// its records. Blocks are not cleared when allocated, so their pages are
// touched only as records are added.
template <typename T, std::size_t BlockShift = 10>
class BlockArray {
 public:
  std::size_t size() const { return size_; }
  T& operator[](std::size_t index) {
    assert(index < size_);
    return blocks_[index >> BlockShift][index & kMask];
  }
  const T& operator[](std::size_t index) const {
    assert(index < size_);
    return blocks_[index >> BlockShift][index & kMask];
  }

  T& push_back(T value) {
    if (size_ == blocks_.size() << BlockShift) {
      blocks_.push_back(std::make_unique_for_overwrite<T[]>(kBlock));
    }
    T& slot = blocks_[size_ >> BlockShift][size_ & kMask];
    ++size_;
    slot = std::move(value);
    return slot;
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << BlockShift;
  static constexpr std::size_t kMask = kBlock - 1;
  std::vector<std::unique_ptr<T[]>> blocks_;
  std::size_t size_ = 0;
};
