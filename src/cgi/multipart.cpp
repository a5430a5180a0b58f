#include "cgi/multipart.hpp"

#include <cstdint>
#include <string>
#include <utility>

#include "cgi/bounded_input.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/collection_table.hpp"
#include "cgi/mime_headers.hpp"
#include "cgi/part_data.hpp"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Three slots: the line in hand, the one after it, and the one being read.
constexpr std::int32_t kReaderSlots = 3;

// Whether `line` begins with `delimiter` (never empty). Data lines mostly
// differ in their first byte, looked at before the whole comparison.
bool BeginsWith(std::string_view line, std::string_view delimiter) {
  return !line.empty() && line[0] == delimiter[0] && line.starts_with(delimiter);
}

}  // namespace

int CgiParseMultipart(std::FILE* stream, std::uint32_t length) {
  MimePart head = CgiNewPart();
  CollectionTable* table = nullptr;
  const std::optional<MultipartArrival> arrival =
      CgiScanParts(stream, length, head, [&table](MimePart& part) {
        // An entry is found by its name; a part without one could never be.
        if (!part.name) {
          return;
        }
        if (part.data.ends_with(kLineEnd)) {
          part.data.resize(part.data.size() - kLineEnd.size());
        }
        if (table == nullptr) {
          table = CgiCreateCollectionTable();
        }
        if (table != nullptr) {
          table->AppendPart(part);
        }
      });
  if (!arrival) {
    return -1;
  }
  CgiNoteBodyArrival(arrival->received, arrival->closed && arrival->received == length);
  // A body without named parts still leaves an (empty) table.
  return table != nullptr || CgiCreateCollectionTable() != nullptr ? 0 : -1;
}

std::optional<MultipartArrival> CgiScanParts(std::FILE* stream, std::uint32_t length,
                                             MimePart& head,
                                             const std::function<void(MimePart&)>& each) {
  CgiApplyRequestContentType(head);
  // Without a boundary every line would be a delimiter, or none would.
  if (!head.boundary || head.boundary->empty()) {
    return std::nullopt;
  }
  const std::string delimiter = "--" + *head.boundary;
  const std::string close_delimiter = delimiter + "--";
  BoundedInput body(::fileno(stream), length);
  MultipartArrival arrival;
  std::optional<LineReader> reader = CgiNewLineReader(kReaderSlots, body.stream());
  while (const std::optional<std::string_view> line = CgiNextLine(*reader)) {
    // The delimiter begins the close delimiter, so the close one is tested first.
    if (line->starts_with(close_delimiter)) {
      arrival.closed = true;
      break;
    }
    if (!line->starts_with(delimiter)) {
      continue;
    }
    MimePart part = CgiNewPart();
    CgiParsePartHeaders(*reader, part);
    while (const std::optional<std::string_view> blank = CgiNextLine(*reader)) {
      if (blank->starts_with(kLineEnd)) {
        break;
      }
    }
    CgiCaptureData(*reader, delimiter, part);
    each(part);
  }
  body.Drain();
  arrival.received = body.received();
  return arrival;
}

std::optional<PartList> CgiScanMultipart(std::FILE* stream, std::uint32_t length) {
  PartList list{CgiNewPart(), {}};
  if (!CgiScanParts(stream, length, list.head,
                    [&list](MimePart& part) { list.parts.push_back(std::move(part)); })) {
    return std::nullopt;
  }
  return list;
}

std::size_t CgiCaptureData(LineReader& reader, std::string_view delimiter, MimePart& part) {
  part.data.clear();
  // A truthful declared length bounds the part by what is left of the body
  // from its first data line on; it only sizes the data's growth.
  const std::uint64_t part_start = reader.bytes_read - CgiBytesHeldAhead(reader);
  const std::uint64_t declared = CgiDeclaredLength().value_or(0);
  PartData data(part.data, declared > part_start ? declared - part_start : 0);
  std::optional<std::string_view> line;
  std::size_t capacity = 0;
  while (CgiNextLineWithLength(reader, line, capacity), line) {
    // The line before a delimiter line (or the close delimiter line, which
    // begins with the delimiter) is the last one. The test looks ahead, so a
    // delimiter line taken here is data.
    const std::optional<std::string_view> following = CgiPeekLine(reader);
    const bool last = following && BeginsWith(*following, delimiter);
    data.Append(*line);
    if (last) {
      break;
    }
  }
  data.End();
  if (part.transfer_encoding_code == kBinaryTransferEncoding && part.data.ends_with(kLineEnd)) {
    part.data.resize(part.data.size() - kLineEnd.size());
  }
  return part.data.size();
}
