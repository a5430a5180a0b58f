#pragma once

#include <optional>
#include <string>
#include <vector>

// One part of a multipart body with the values of its header block, or, at
// the head of a part list, the body as a whole with the values of the
// request's CONTENT_TYPE.
struct MimePart {
  int media_type_code = 7;             // see kMediaTypeKeywords; 7 until headers are applied
  std::optional<std::string> subtype;  // the media type's text after the "/"
  int transfer_encoding_code = 7;      // see kTransferEncodingKeywords; 7 until headers are applied
  std::optional<std::string> boundary;  // the content type's "boundary" parameter
  std::optional<std::string> name;  // the field name (content type "name", else disposition "name")
  std::optional<std::string> file_name;  // without its directory part
  std::optional<std::string> charset;
  int disposition_code = 0;
  int format_code = 0;
  std::optional<std::string> description;
  std::string data;  // the part's bytes, any of them, NUL included
};

inline MimePart CgiNewPart() { return MimePart{}; }

// A multipart body: the head record, then its parts in body order.
struct PartList {
  MimePart head;
  std::vector<MimePart> parts;
};

// The transfer encoding whose data loses the CR LF before the next delimiter
// line when it is captured.
inline constexpr int kBinaryTransferEncoding = 2;
