#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// One submitted entry. The parsers fill it and hand it to CgiAppendEntry,
// which makes it part of the collection of its name.
struct FormEntry {
  std::string name;
  // The delivered bytes. A multipart value may hold NUL bytes; the text
  // lookups read a value up to its first NUL.
  std::string value;
  // URL-encoded text: the raw length of the value before decoding, plus one
  // (an empty value counts 1). Multipart: the data bytes kept (empty is 0).
  // The numeric lookups test emptiness by this count, not by `value`.
  std::size_t value_length = 0;
  int content_type_code = 0;            // a multipart part's media type code
  std::optional<std::string> subtype;   // a multipart part's media subtype
  int transfer_encoding_code = 0;       // a multipart part's transfer encoding code
  std::optional<std::string> file_name; // a multipart part's file name, if it has one
  bool truncated = false;               // no entry is ever cut by a size limit
};

// Every entry of one name, in arrival order; never empty once in the table.
struct FormCollection {
  std::vector<FormEntry> entries;

  std::size_t Count() const { return entries.size(); }
  const FormEntry& First() const { return entries.front(); }
};

// The all-empty entry that a parser starts from.
inline FormEntry CgiNewEntry() { return FormEntry{}; }
inline FormCollection CgiNewCollection() { return FormCollection{}; }
