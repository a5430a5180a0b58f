#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>

#include "cgi/line_reader.hpp"
#include "cgi/mime_part.hpp"

// "multipart/form-data" bodies: parts between delimiter lines "--" and the
// boundary of CONTENT_TYPE, up to the close delimiter line "--", the boundary
// and "--". The body is read line by line, never beyond its declared length:
// until the close delimiter, the end of the declared bytes or the end of the
// input.

// Parses the first `length` bytes on `stream` into entries of the current
// request, one per named part, in body order (a part without a name gives
// none). An entry's value is its part's data without a final CR LF; its value
// length counts the bytes kept, NUL bytes included. The request notes how the
// body arrived (see CgiBodyArrived). Returns 0, or -1 without reading
// anything and without entries when CONTENT_TYPE has no boundary, or an empty
// one.
int CgiParseMultipart(std::FILE* stream, std::uint32_t length);

// How a multipart body arrived: the bytes read of its length, and whether its
// close delimiter line was among them.
struct MultipartArrival {
  std::uint64_t received = 0;
  bool closed = false;
};

// Reads the body part by part: `head` gets CONTENT_TYPE, then `each` is
// called with every part in body order, as soon as its data is complete, and
// may take what it wants of it (the part is gone after the call). Lines
// before the first delimiter and between parts are ignored; nothing is
// parsed after the close delimiter, though the rest of the length is read, to
// tell whether it all arrived. Nothing, with nothing read, without a usable
// boundary.
std::optional<MultipartArrival> CgiScanParts(std::FILE* stream, std::uint32_t length,
                                             MimePart& head,
                                             const std::function<void(MimePart&)>& each);
// The same, as a list: the head, then every part.
std::optional<PartList> CgiScanMultipart(std::FILE* stream, std::uint32_t length);

// Fills the part's data with the lines from the reader's next line up to the
// one followed by a line that begins with `delimiter` (the close delimiter
// does too), or to the end of the input; returns the data's length. Binary
// data loses the CR LF that stands before the delimiter line.
std::size_t CgiCaptureData(LineReader& reader, std::string_view delimiter, MimePart& part);
