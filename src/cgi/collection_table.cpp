#include "cgi/collection_table.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <utility>

#include "cgi/cgi_context.hpp"
#include "cgi/checked_alloc.hpp"

namespace {

constexpr std::size_t kFewestSlots = 16;
// A URL-encoded pair takes at least two bytes ("=" and "&"), most forms far
// more: one slot for every 8 bytes of text indexes a form of short names at
// once, and its 4 bytes of address space stay within half the text's size.
constexpr std::size_t kTextBytesPerSlot = 8;
constexpr std::size_t kMaxEntries = std::size_t{1} << 30;

}  // namespace

CollectionTable::CollectionTable(std::string text, std::size_t length)
    : multipart_(false), text_(std::move(text)), length_(length), key_(CgiRandomNameHashKey()) {
  if (text_.size() > length_) {
    text_.resize(length_);
  }
}

CollectionTable::CollectionTable() : multipart_(true), key_(CgiRandomNameHashKey()) {}

std::optional<std::string_view> CollectionTable::TextAt(std::uint32_t offset) const {
  if (offset == PartValue::kNoText) {
    return std::nullopt;
  }
  return std::string_view(text_.c_str() + offset);
}

std::uint32_t CollectionTable::AppendText(std::string_view text) {
  // Offsets are 32 bits: a request past 4 GiB of names cannot be kept.
  if (text.size() >= kNone - text_.size()) {
    CgiMemoryExhausted();
  }
  const auto offset = static_cast<std::uint32_t>(text_.size());
  text_.append(text).push_back('\0');
  return offset;
}

FormEntry CollectionTable::EntryAt(std::uint32_t number) const {
  const Entry& entry = entries_[number];
  FormEntry view;
  if (multipart_) {
    const PartValue& part = parts_[entry.value];
    view.url_encoded = false;
    view.raw_value = part.data;
    view.value_length = part.data.size();
    view.content_type_code = part.content_type_code;
    view.subtype = TextAt(part.subtype);
    view.transfer_encoding_code = part.transfer_encoding_code;
    view.file_name = TextAt(part.file_name);
  } else if (entry.value == kNone) {
    view.value_length = 1;  // a last pair without "=": an empty value
  } else {
    // The zero tail past the bytes that arrived counts in the value's
    // length, though it is not stored.
    view.raw_value = RawValueAt(number);
    const std::size_t end = entry.value + view.raw_value.size();
    view.value_length = (end < text_.size() ? end : length_) - entry.value + 1;
  }
  return view;
}

std::string_view CollectionTable::RawValueAt(std::uint32_t number) const {
  const Entry& entry = entries_[number];
  if (multipart_) {
    return parts_[entry.value].data;
  }
  if (entry.value == kNone) {
    return {};
  }
  // The value runs to the next "&" or the end.
  const std::string_view rest = std::string_view(text_).substr(entry.value);
  return rest.substr(0, rest.find('&'));
}

std::string_view CollectionTable::FirstRawValue(std::size_t position) const {
  return RawValueAt(entries_[collections_[position].last].next);
}

FormEntry CollectionTable::First(std::size_t position) const {
  FormEntry entry = EntryAt(entries_[collections_[position].last].next);
  entry.name = NameOf(collections_[position]);
  return entry;
}

std::vector<FormEntry> CollectionTable::Entries(std::size_t position) const {
  std::vector<FormEntry> entries;
  const Collection& collection = collections_[position];
  std::uint32_t entry = collection.last;
  do {
    entry = entries_[entry].next;
    entries.push_back(EntryAt(entry));
    entries.back().name = NameOf(collection);
  } while (entry != collection.last);
  return entries;
}

// Inlined into the parse's loop: it runs once for every pair of a form.
inline std::size_t CollectionTable::SlotOf(std::string_view name, std::uint32_t hash) const {
  const std::size_t mask = index_.size() - 1;
  const std::uint32_t tag = TagOf(hash);
  // The index is never full, so the walk ends at a free slot at the latest.
  assert(collections_.size() < index_.size());
  for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t code = index_[slot];
    if (code == 0) {
      return slot;
    }
    if ((code >> shift_) != tag) {
      continue;
    }
    if (NameOf(collections_[PositionOf(code)]) == name) {
      return slot;
    }
  }
}

void CollectionTable::RebuildIndex(std::size_t slots) {
  // The old index goes first: the new one is filled from the collections.
  index_ = ZeroedSlots();
  index_ = ZeroedSlots(slots);
  assert(std::has_single_bit(slots) && collections_.size() < slots);
  shift_ = static_cast<unsigned>(std::countr_zero(slots));
  const std::size_t mask = slots - 1;
  for (std::size_t position = 0; position < collections_.size(); ++position) {
    // Names are distinct: the first free slot from the name's own is its.
    const std::uint32_t hash = collections_[position].hash;
    std::size_t slot = hash & mask;
    while (index_[slot] != 0) {
      slot = (slot + 1) & mask;
    }
    index_[slot] = CodeOf(hash, position);
  }
}

std::size_t CollectionTable::FirstIndexSize() const {
  // The text that arrived, never the length declared for it: a short body
  // under a large CONTENT_LENGTH gets a small index.
  return std::bit_ceil(std::max(kFewestSlots, text_.size() / kTextBytesPerSlot));
}

std::optional<std::size_t> CollectionTable::Find(std::string_view name) const {
  // A form is mostly read in the order it was sent: the collection after
  // the one found last is compared first.
  if (next_guess_ < collections_.size() && NameOf(collections_[next_guess_]) == name) {
    return next_guess_++;
  }
  std::optional<std::size_t> position;
  if (index_.empty()) {
    return std::nullopt;
  }
  if (const std::uint32_t code = index_[SlotOf(name, NameHashOf(name))]; code != 0) {
    position = PositionOf(code);
  }
  if (position) {
    next_guess_ = *position + 1;
  }
  return position;
}

void CollectionTable::Append(std::uint32_t name, std::uint32_t name_length, std::uint32_t value) {
  // Entry numbers and index slots are 32 bits; a billion entries (a body of
  // gigabytes) cannot be kept.
  if (entries_.size() >= kMaxEntries) {
    CgiMemoryExhausted();
  }
  const auto entry = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back({value, entry});
  const std::string_view name_text = std::string_view(text_).substr(name, name_length);
  const auto join = [&](std::size_t position) {
    Collection& collection = collections_[position];
    // Into the ring, behind the last entry and before the first.
    entries_[entry].next = entries_[collection.last].next;
    entries_[collection.last].next = entry;
    collection.last = entry;
  };
  if (index_.empty()) {
    RebuildIndex(FirstIndexSize());
  }
  const std::uint32_t hash = NameHashOf(name_text);
  const std::size_t slot = SlotOf(name_text, hash);
  if (index_[slot] != 0) {
    join(PositionOf(index_[slot]));
    return;
  }
  collections_.push_back({name, name_length, entry, hash});
  // At most three quarters full; the new collection is placed by the rebuild.
  if (collections_.size() * 4 > index_.size() * 3) {
    RebuildIndex(index_.size() * 2);
    return;
  }
  index_[slot] = CodeOf(hash, collections_.size() - 1);
}

void CollectionTable::AppendPair(std::size_t name, std::size_t name_length,
                                 std::optional<std::size_t> value) {
  // A text is at most a 32-bit signed length long: its offsets fit.
  assert(name + name_length < kNone && value.value_or(0) < kNone);
  Append(static_cast<std::uint32_t>(name), static_cast<std::uint32_t>(name_length),
         value ? static_cast<std::uint32_t>(*value) : kNone);
}

void CollectionTable::AppendPart(MimePart& part) {
  assert(part.name);  // a part without a name is no entry
  const std::string_view name = *part.name;
  PartValue& value = parts_.push_back({});
  value.data = std::move(part.data);
  value.content_type_code = part.media_type_code;
  value.transfer_encoding_code = part.transfer_encoding_code;
  if (part.subtype) {
    value.subtype = AppendText(*part.subtype);
  }
  if (part.file_name) {
    value.file_name = AppendText(*part.file_name);
  }
  const auto number = static_cast<std::uint32_t>(parts_.size() - 1);
  // A name seen before is kept once.
  if (const std::optional<std::size_t> position = Find(name)) {
    const Collection& collection = collections_[*position];
    Append(collection.name, collection.name_length, number);
  } else {
    Append(AppendText(name), static_cast<std::uint32_t>(name.size()), number);
  }
}

CollectionTable* CgiCreateCollectionTable(std::string text, std::size_t length) {
  CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr) {
    return nullptr;
  }
  return &environment->collections.emplace(std::move(text), length);
}

CollectionTable* CgiCreateCollectionTable() {
  CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr) {
    return nullptr;
  }
  return &environment->collections.emplace();
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

int CgiFirstEntry(std::string_view name, FormEntry& entry) {
  entry = FormEntry{};
  std::ptrdiff_t index = 0;
  if (CgiFindCollection(name, index) != 0) {
    return 1;
  }
  const CollectionTable& table = *CgiCurrentEnvironment()->collections;
  entry = table.First(static_cast<std::size_t>(index));
  return 0;
}
