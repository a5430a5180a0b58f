#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// A request body read line by line, with the line after the current one
// always in sight: the multipart parser has to know whether a header goes on,
// whether the header block ends, whether a part's data ends, before it
// decides what the current line is.
//
// Lines are byte-exact: a line ends after a line feed only, keeps it and any
// carriage return before it, and may hold NUL bytes. Input that ends right
// after a line feed is followed by one more, empty, line; input that ends
// inside a line gives that line and nothing after it; empty input gives one
// empty line. A read error ends the input like the end of file does.

// One line buffer, reused by every line that falls into its slot. The stream
// fills it in place, so the buffer belongs to the C library's allocator; it is
// never shrunk, and a line does not pay for a longer one read before it.
struct LineSlot {
  struct Release {
    void operator()(char* buffer) const noexcept { std::free(buffer); }
  };
  std::unique_ptr<char, Release> buffer;  // the line and a NUL; null until first used
  std::size_t capacity = 0;               // bytes in the buffer
  std::size_t length = 0;                 // bytes of the line, without the NUL

  std::string_view Line() const { return {buffer.get(), length}; }
};

// A ring of line buffers over a stream (not owned). The line with sequence
// number k (0 for the first line of the input) lives in slot k modulo the
// slot count. Its buffers are released with it; the stream stays open.
struct LineReader {
  std::int32_t slot_count = 0;
  std::uint64_t read_index = 0;  // sequence number of the next line to hand out
  std::int32_t available = 0;    // lines read and not yet handed out
  std::vector<LineSlot> slots;
  std::FILE* stream = nullptr;
  bool end_of_input = false;     // a read met the end of the input (or an error)
  std::uint64_t bytes_read = 0;  // bytes of every line read from the stream so far
};

// The bytes of the lines read ahead and not yet handed out.
std::uint64_t CgiBytesHeldAhead(const LineReader& reader);

// A reader with `slot_count` slots (at least 3) over `stream`, which has read
// its first slot-count lines already; nothing for fewer than 3 slots.
std::optional<LineReader> CgiNewLineReader(std::int32_t slot_count, std::FILE* stream);

// Reads lines into consecutive slots, from the slot of sequence number
// `sequence` on, until `target` lines are held ahead or the input has ended.
void readCRLFLine(LineReader& reader, std::uint64_t sequence, std::int32_t target);

// Hands out the next line and keeps the line after it in sight. The line stays
// valid until the next call of CgiNextLine or CgiNextLineWithLength: its slot
// is refilled after that. Nothing once the input has ended and every line has
// been handed out.
std::optional<std::string_view> CgiNextLine(LineReader& reader);

// The same, also delivering the slot's capacity; returns the line's length.
// Without a line: `line` holds nothing, capacity is 0, and 0 is returned.
std::size_t CgiNextLineWithLength(LineReader& reader, std::optional<std::string_view>& line,
                                  std::size_t& capacity);

// The line the next CgiNextLine will hand out, without consuming it; nothing
// when no line is left (the end of the input, for every caller). Inline: a
// part's data looks ahead at every line.
inline std::optional<std::string_view> CgiPeekLine(const LineReader& reader) {
  if (reader.available <= 0) {
    return std::nullopt;
  }
  return reader.slots[reader.read_index % static_cast<std::uint64_t>(reader.slot_count)].Line();
}
