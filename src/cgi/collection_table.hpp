#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cgi/form_entry.hpp"

// The collections of a request, in the order in which their names first
// arrived. Names are matched exactly (same bytes, same length, case counts);
// an index beside the ordered table keeps a lookup from walking every name,
// so a form with many fields parses in linear time.
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
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept { return std::hash<std::string_view>{}(name); }
  };

  std::vector<FormCollection> collections_;
  std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>> positions_;
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
