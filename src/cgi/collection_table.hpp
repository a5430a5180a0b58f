#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cgi/block_array.hpp"
#include "cgi/form_entry.hpp"
#include "cgi/mime_part.hpp"
#include "cgi/name_hash.hpp"
#include "cgi/zeroed_slots.hpp"

// The entries of a request, grouped by name into collections that stand in
// the order in which their names first arrived. Names are matched exactly
// (same bytes, same length, case counts).
//
// A form may carry a hundred thousand fields, so the storage is compact and
// owned by the table, released with it at once:
//   - one text: the URL-encoded text itself, whose names are decoded in place
//     and whose values stay as sent (they are decoded when looked up); for a
//     multipart body, the names, subtypes and file names, each ended by a NUL;
//   - an entry is two numbers (where its value is, the next entry of its
//     name), a collection three (its name, its last entry), both in blocks
//     that never move;
//   - the multipart-only fields live beside, one record per part, holding
//     the part's data moved in from the parse;
//   - the name index: open addressing over 32-bit slots, at most three
//     quarters full, sized first by the bytes of a URL-encoded text that
//     arrived (a slot for every 8 bytes, so a form of many names is not indexed again
//     and again), then to the names that arrived. A name's place comes
//     from the low 32 bits of its keyed hash (see name_hash.hpp), kept with
//     its collection: the low bits choose the slot, and the bits above them
//     go into the slot beside the collection's position, so a probe rarely
//     needs to look at a name. Growing rebuilds the index from the
//     collections' kept hashes (no name is hashed twice), so the old index
//     is gone before the new one is filled.
class CollectionTable {
 public:
  // A table over URL-encoded `text` of `length` bytes: the text, then zero
  // bytes when `length` is longer (a body shorter than its declared length).
  CollectionTable(std::string text, std::size_t length);
  // A table for the parts of a multipart body.
  CollectionTable();

  std::size_t Count() const { return collections_.size(); }
  // The position of the collection of exactly `name`, if there is one.
  std::optional<std::size_t> Find(std::string_view name) const;
  // The first entry of the collection at `position`, and all of its entries
  // in arrival order.
  FormEntry First(std::size_t position) const;
  std::vector<FormEntry> Entries(std::size_t position) const;
  // The first value of the collection at `position` as it is stored: the
  // URL-encoded text undecoded, or a part's data.
  std::string_view FirstRawValue(std::size_t position) const;
  bool IsMultipart() const { return multipart_; }

  // URL-encoded text, for the parse: names are decoded in it in place.
  std::string& Text() { return text_; }
  // A pair whose name is the `name_length` bytes at `name` of the text and
  // whose value starts at `value` (nothing: a pair without "="); the value
  // runs to the next "&" or the end of the text.
  void AppendPair(std::size_t name, std::size_t name_length, std::optional<std::size_t> value);
  // A named part; its data is moved, its texts copied into the table's text.
  void AppendPart(MimePart& part);

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  // The entries of a name form a ring: the last one leads back to the first,
  // so a collection needs to know only its last entry.
  struct Entry {
    std::uint32_t value;  // text offset (kNone: no "=") or part number
    std::uint32_t next;   // the next entry of the same name; the last: the first
  };
  struct Collection {
    std::uint32_t name;
    std::uint32_t name_length;
    std::uint32_t last;
    std::uint32_t hash;  // the low 32 bits of the name's hash
  };

  std::string_view NameOf(const Collection& collection) const {
    return std::string_view(text_).substr(collection.name, collection.name_length);
  }
  std::uint32_t NameHashOf(std::string_view name) const {
    return static_cast<std::uint32_t>(CgiNameHash(name, key_));
  }
  FormEntry EntryAt(std::uint32_t entry) const;
  std::string_view RawValueAt(std::uint32_t entry) const;
  std::optional<std::string_view> TextAt(std::uint32_t offset) const;
  std::uint32_t AppendText(std::string_view text);
  // Adds an entry under the name of `name_length` bytes at `name`.
  void Append(std::uint32_t name, std::uint32_t name_length, std::uint32_t value);

  // Slot codes: 0 is free; else the position plus one in the low `shift_`
  // bits and the hash's bits above its slot bits above them.
  std::uint32_t TagOf(std::uint32_t hash) const { return shift_ == 32 ? 0 : hash >> shift_; }
  std::uint32_t CodeOf(std::uint32_t hash, std::size_t position) const {
    // The position plus one fits below the tag: the index has more slots
    // than there are collections.
    assert(position + 1 < index_.size());
    return (TagOf(hash) << shift_) | static_cast<std::uint32_t>(position + 1);
  }
  std::size_t PositionOf(std::uint32_t code) const {
    return (code & static_cast<std::uint32_t>(index_.size() - 1)) - 1;
  }
  // The slot that holds `name`, or the free slot where it would go.
  std::size_t SlotOf(std::string_view name, std::uint32_t hash) const;
  void RebuildIndex(std::size_t slots);
  std::size_t FirstIndexSize() const;

  bool multipart_;
  std::string text_;
  std::size_t length_ = 0;
  BlockArray<Entry> entries_;
  BlockArray<Collection> collections_;
  BlockArray<PartValue, 6> parts_;  // allocated with the first part
  // The collection after the one Find found last.
  mutable std::size_t next_guess_ = 0;
  NameHashKey key_;
  ZeroedSlots index_;   // a power of two in size, or empty before the first name
  unsigned shift_ = 0;  // log2 of the index size
};

// The operations the parsers build a request with. Each works on the current
// request (see cgi_context.hpp).

// Starts the collection table of the current request, for URL-encoded text
// (owned from now on by the table) or, without text, for a multipart body.
// Returns the table, or nothing when there is no current request.
CollectionTable* CgiCreateCollectionTable(std::string text, std::size_t length);
CollectionTable* CgiCreateCollectionTable();
// 0 and the collection's position when a collection of exactly `name`
// exists; else 1, with `index` set to the collection count, or to -1 when
// there is no current request.
int CgiFindCollection(std::string_view name, std::ptrdiff_t& index);
// 0 and the first entry of `name`; else 1 and an empty entry.
int CgiFirstEntry(std::string_view name, FormEntry& entry);
