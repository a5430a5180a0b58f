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

CollectionTable::CollectionTable(std::size_t capacity) {
  const std::size_t reserved = std::min(capacity, kMaxReserved);
  collections_.reserve(reserved);
  positions_.reserve(reserved);
}

std::optional<std::size_t> CollectionTable::Find(std::string_view name) const {
  const auto found = positions_.find(name);
  if (found == positions_.end()) {
    return std::nullopt;
  }
  return found->second;
}

void CollectionTable::Append(FormEntry entry) {
  auto found = positions_.find(std::string_view(entry.name));
  if (found == positions_.end()) {
    found = positions_.emplace(entry.name, collections_.size()).first;
    collections_.push_back(CgiNewCollection());
  }
  collections_[found->second].entries.push_back(std::move(entry));
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
