#include "cgi/collection_table.hpp"

#include <algorithm>
#include <utility>

#include "cgi/cgi_context.hpp"

namespace {

// The capacity is counted from separators, not from pairs that arrived
// ("&&&&..." is one pair), so only this much room is made in advance; the
// table grows with the names that really come.
constexpr std::size_t kMaxReserved = 4096;

}  // namespace

CollectionTable::CollectionTable(std::size_t capacity) : key_(CgiRandomNameHashKey()) {
  const std::size_t reserved = std::min(capacity, kMaxReserved);
  collections_.reserve(reserved);
  ReserveIndex(reserved);
}

std::size_t CollectionTable::SlotOf(std::string_view name, std::uint64_t hash) const {
  const std::size_t mask = index_.size() - 1;
  // The index is never full, so the walk ends at a free slot at the latest.
  for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
    const IndexSlot& candidate = index_[slot];
    if (candidate.position == kFreeSlot ||
        (candidate.hash == hash && collections_[candidate.position].First().name == name)) {
      return slot;
    }
  }
}

void CollectionTable::ReserveIndex(std::size_t names) {
  std::size_t size = index_.empty() ? 16 : index_.size();
  while (size / 2 < names) {
    size *= 2;
  }
  if (size == index_.size()) {
    return;
  }
  std::vector<IndexSlot> old = std::exchange(index_, std::vector<IndexSlot>(size));
  const std::size_t mask = size - 1;
  for (const IndexSlot& moved : old) {
    if (moved.position == kFreeSlot) {
      continue;
    }
    std::size_t slot = static_cast<std::size_t>(moved.hash) & mask;
    while (index_[slot].position != kFreeSlot) {
      slot = (slot + 1) & mask;
    }
    index_[slot] = moved;
  }
}

std::optional<std::size_t> CollectionTable::Find(std::string_view name) const {
  if (collections_.empty()) {
    return std::nullopt;
  }
  const IndexSlot& slot = index_[SlotOf(name, CgiNameHash(name, key_))];
  if (slot.position == kFreeSlot) {
    return std::nullopt;
  }
  return slot.position;
}

void CollectionTable::Append(FormEntry entry) {
  const std::uint64_t hash = CgiNameHash(entry.name, key_);
  std::size_t slot = SlotOf(entry.name, hash);
  if (index_[slot].position == kFreeSlot) {
    if (collections_.size() + 1 > index_.size() / 2) {
      ReserveIndex(collections_.size() + 1);
      slot = SlotOf(entry.name, hash);
    }
    index_[slot] = {hash, collections_.size()};
    collections_.push_back(CgiNewCollection());
  }
  collections_[index_[slot].position].entries.push_back(std::move(entry));
}

int CgiCreateCollectionTable(std::size_t capacity) {
  CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr) {
    return -1;
  }
  environment->collections.emplace(capacity);
  return 0;
}

int CgiAppendEntry(FormEntry entry) {
  CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr || !environment->collections) {
    return -1;
  }
  environment->collections->Append(std::move(entry));
  return 0;
}

int CgiFindCollection(std::string_view name, std::ptrdiff_t& index) {
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr) {
    index = -1;
    return 1;
  }
  const std::optional<std::size_t> position =
      environment->collections ? environment->collections->Find(name) : std::nullopt;
  if (!position) {
    index = static_cast<std::ptrdiff_t>(environment->CollectionCount());
    return 1;
  }
  index = static_cast<std::ptrdiff_t>(*position);
  return 0;
}

int CgiFirstEntry(std::string_view name, const FormEntry*& entry) {
  entry = nullptr;
  std::ptrdiff_t index = 0;
  if (CgiFindCollection(name, index) != 0) {
    return 1;
  }
  entry = &CgiCurrentEnvironment()->collections->At(static_cast<std::size_t>(index)).First();
  return 0;
}
