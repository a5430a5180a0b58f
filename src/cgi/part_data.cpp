#include "cgi/part_data.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Below this, data grows by the string's own rule.
constexpr std::size_t kLargeData = 256 * 1024;
constexpr std::size_t kGrowthFactor = 4;
constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;

}  // namespace

void PartData::Append(std::string_view bytes) {
  const std::size_t needed = data_.size() + bytes.size();
  if (needed > data_.capacity() && !data_.empty() && expected_ >= needed &&
      expected_ < kLargeData) {
    data_.reserve(static_cast<std::size_t>(expected_));
    holds_rest_ = true;
  } else if (needed > data_.capacity() && needed >= kLargeData) {
    std::size_t room = needed * kGrowthFactor;
    if (expected_ >= needed && expected_ < room) {
      room = static_cast<std::size_t>(expected_);
    }
    // The new buffer is advised before the data so far is copied into it,
    // or the copy would already have touched its first pages.
    std::string grown;
    grown.reserve(room);
    CgiAdviseHugePages(grown);
    grown.append(data_);
    data_.swap(grown);
  }
  data_.append(bytes);
}

void PartData::End() {
  // Half the room unused: a part before others, whose rest was not its own.
  if (holds_rest_ && data_.capacity() / 2 > data_.size()) {
    data_.shrink_to_fit();
  }
}

void CgiAdviseHugePages(std::string& text) {
  const auto start = reinterpret_cast<std::uintptr_t>(text.data());
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (start + text.capacity()) & ~(kHugePage - 1);
  if (first < end) {
    // Only whole huge pages inside the buffer; the result does not matter.
    [[maybe_unused]] const int advised =
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
}
