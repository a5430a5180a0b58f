#include "cgi/line_reader.hpp"

#include <sys/types.h>

#include <cassert>
#include <cerrno>

#include "cgi/checked_alloc.hpp"

namespace {

// Reads one line into `slot`; returns whether the input ended with it.
// getdelim takes a line from the stream's own buffer a block at a time and
// stops right after the line feed, so the stream is left exactly where a
// byte-by-byte reader would leave it: a line that ends in a line feed has not
// met the end of the input (nor an error), any other line has.
bool ReadLineInto(std::FILE* stream, LineSlot& slot) {
  char* buffer = slot.buffer.release();
  std::size_t capacity = slot.capacity;
  errno = 0;
  const ssize_t read = ::getdelim(&buffer, &capacity, '\n', stream);
  const int error = errno;
  slot.buffer.reset(buffer);
  slot.capacity = buffer == nullptr ? 0 : capacity;
  if (read > 0) {
    slot.length = static_cast<std::size_t>(read);
    return buffer[read - 1] != '\n';
  }
  // Neither the end nor a read error: the buffer could not grow.
  if (error == ENOMEM || (!std::feof(stream) && !std::ferror(stream))) {
    CgiMemoryExhausted();
  }
  slot.length = 0;
  if (buffer != nullptr) {
    buffer[0] = '\0';
  }
  return true;
}

}  // namespace

std::optional<LineReader> CgiNewLineReader(std::int32_t slot_count, std::FILE* stream) {
  if (slot_count < 3) {
    return std::nullopt;
  }
  std::optional<LineReader> reader(std::in_place);
  reader->slot_count = slot_count;
  reader->slots.resize(static_cast<std::size_t>(slot_count));
  reader->stream = stream;
  readCRLFLine(*reader, 0, slot_count);
  return reader;
}

void readCRLFLine(LineReader& reader, std::uint64_t sequence, std::int32_t target) {
  // A slot holds at most one line that was not handed out.
  assert(target <= reader.slot_count);
  while (reader.available < target && !reader.end_of_input) {
    LineSlot& slot = reader.slots[sequence % static_cast<std::uint64_t>(reader.slot_count)];
    // A read error is no data: the input ends there, as at the end of file.
    // Only the first line can find the stream ended: every later one follows
    // a line that ended in a line feed.
    if (sequence == 0 && (std::feof(reader.stream) || std::ferror(reader.stream))) {
      // Ended before this reader read anything: one empty line, then the end.
      slot.length = 0;
      if (slot.buffer) {
        slot.buffer.get()[0] = '\0';
      }
      reader.end_of_input = true;
    } else {
      reader.end_of_input = ReadLineInto(reader.stream, slot);
    }
    reader.bytes_read += slot.length;
    ++reader.available;
    ++sequence;
  }
}

std::optional<std::string_view> CgiNextLine(LineReader& reader) {
  std::optional<std::string_view> line;
  std::size_t capacity = 0;
  CgiNextLineWithLength(reader, line, capacity);
  return line;
}

std::size_t CgiNextLineWithLength(LineReader& reader, std::optional<std::string_view>& line,
                                  std::size_t& capacity) {
  if (reader.available <= 0) {
    line.reset();
    capacity = 0;
    return 0;
  }
  const std::uint64_t taken = reader.read_index++;
  --reader.available;
  if (reader.available <= 1 && !reader.end_of_input) {
    // Refills the slots ahead; the slot of the line taken now is not one of
    // them, while the slot of the line handed out before may be.
    readCRLFLine(reader, reader.read_index + static_cast<std::uint64_t>(reader.available),
                 reader.slot_count - 1);
  }
  const LineSlot& slot = reader.slots[taken % static_cast<std::uint64_t>(reader.slot_count)];
  line = slot.Line();
  capacity = slot.capacity;
  return slot.length;
}

std::uint64_t CgiBytesHeldAhead(const LineReader& reader) {
  std::uint64_t held = 0;
  for (std::int32_t ahead = 0; ahead < reader.available; ++ahead) {
    held += reader
                .slots[(reader.read_index + static_cast<std::uint64_t>(ahead)) %
                       static_cast<std::uint64_t>(reader.slot_count)]
                .length;
  }
  return held;
}
