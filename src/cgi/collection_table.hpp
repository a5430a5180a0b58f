#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "cgi/form_entry.hpp"
#include "cgi/name_hash.hpp"

// The collections of a request, in the order in which their names first
// arrived. Names are matched exactly (same bytes, same length, case counts).
// An index beside the ordered table keeps a lookup from walking every name,
// so a form with many fields parses in linear time: open addressing over the
// positions, with each name's keyed hash (see name_hash.hpp), in one array
// at most half full. A name is kept once, in its collection's first entry.
class CollectionTable {
 public:
  // `capacity` is the number of entries the parse expects at most; it only
  // decides how much room is made up front.
  explicit CollectionTable(std::size_t capacity);

  std::size_t Count() const { return collections_.size(); }
  const FormCollection& At(std::size_t position) const { return collections_[position]; }
  const std::vector<FormCollection>& Collections() const { return collections_; }

  // The position of the collection of exactly `name`, if there is one.
  std::optional<std::size_t> Find(std::string_view name) const;
  // Adds `entry` behind the last entry of its name's collection, opening a
  // new collection at the end of the table for a name not seen before.
  void Append(FormEntry entry);

 private:
  static constexpr std::size_t kFreeSlot = static_cast<std::size_t>(-1);
  struct IndexSlot {
    std::uint64_t hash = 0;
    std::size_t position = kFreeSlot;
  };

  // The slot that holds `name`, or the free slot where it would go.
  std::size_t SlotOf(std::string_view name, std::uint64_t hash) const;
  // Makes room for one more name, keeping the index at most half full.
  void ReserveIndex(std::size_t names);

  NameHashKey key_;
  std::vector<FormCollection> collections_;
  std::vector<IndexSlot> index_;  // a power of two in size, or empty
};

// The operations the parsers build a request with. Each works on the current
// request (see cgi_context.hpp).

// Starts an empty collection table; `capacity` bounds the entries the parse
// will add (the separator count of URL-encoded text, the part count of a
// multipart body). Returns 0, or -1 when there is no current request.
int CgiCreateCollectionTable(std::size_t capacity);
// Hands a filled entry to the collection of its name. Returns 0, or -1 when
// there is no current request or it has no collection table yet.
int CgiAppendEntry(FormEntry entry);
// 0 and the collection's position when a collection of exactly `name`
// exists; else 1, with `index` set to the collection count, or to -1 when
// there is no current request.
int CgiFindCollection(std::string_view name, std::ptrdiff_t& index);
// 0 and the first entry of `name`; else 1 with `entry` null.
int CgiFirstEntry(std::string_view name, const FormEntry*& entry);
