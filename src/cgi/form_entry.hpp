#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One submitted entry, as the lookups see it: a view into the request's own
// storage (see collection_table.hpp), valid until CgiFreeRequest.
struct FormEntry {
  std::string_view name;
  // URL-encoded text: the value as it was sent, undecoded (the zero bytes of
  // a body shorter than its declared length are not in it). Multipart: the
  // part's data, any bytes, NUL included; the lookups read it up to its
  // first NUL.
  std::string_view raw_value;
  bool url_encoded = true;
  // URL-encoded text: the raw length of the value, plus one (an empty value
  // counts 1). Multipart: the data bytes kept (empty is 0). The numeric
  // lookups test emptiness by this count, not by the value.
  std::size_t value_length = 0;
  int content_type_code = 0;                  // a multipart part's media type code
  std::optional<std::string_view> subtype;    // a multipart part's media subtype
  int transfer_encoding_code = 0;             // a multipart part's transfer encoding code
  std::optional<std::string_view> file_name;  // a multipart part's file name, if it has one
  bool truncated = false;                     // no entry is ever cut by a size limit

  // The delivered value, at most `limit` bytes of it: decoded for URL-encoded
  // text (which ends at an escaped NUL), the data itself for a part.
  std::string Value(std::size_t limit = std::string::npos) const;
};

// The value of a multipart entry: its data, moved in from the part, and the
// fields that only parts have. Texts are offsets into the request's text.
struct PartValue {
  static constexpr std::uint32_t kNoText = UINT32_MAX;
  std::string data;
  std::uint32_t subtype = kNoText;
  std::uint32_t file_name = kNoText;
  int content_type_code = 0;
  int transfer_encoding_code = 0;
};
