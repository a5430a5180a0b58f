#include "progress_gifs/gif_writer.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace gif {
namespace {

constexpr unsigned kMaxCode = 4095;  // codes are at most 12 bits wide

// Packs variable-width codes least significant bit first, as GIF wants.
class CodeWriter {
 public:
  void Put(unsigned code, unsigned width) {
    buffer_ |= static_cast<std::uint32_t>(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xFFu));
      buffer_ >>= 8;
      bits_ -= 8;
    }
  }
  std::vector<std::uint8_t> Finish() {
    if (bits_ > 0) {
      bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xFFu));
    }
    buffer_ = 0;
    bits_ = 0;
    return std::move(bytes_);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t buffer_ = 0;
  unsigned bits_ = 0;
};

void PutWord(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFFu));
  out.push_back(static_cast<char>((value >> 8) & 0xFFu));
}

void PutByte(std::string& out, unsigned value) { out.push_back(static_cast<char>(value & 0xFFu)); }

// The palette's size in the format: 2^(bits), bits from 1 to 8, and at least
// 2 bits of minimum code size.
unsigned PaletteBits(std::size_t colors) {
  unsigned bits = 1;
  while ((1u << bits) < colors) {
    ++bits;
  }
  return bits;
}

}  // namespace

std::vector<std::uint8_t> CompressPixels(const std::vector<std::uint8_t>& pixels,
                                         unsigned min_code_size) {
  const unsigned clear_code = 1u << min_code_size;
  const unsigned end_code = clear_code + 1;
  // next[code * 256 + pixel]: the code of the string `code` followed by `pixel`.
  std::vector<std::uint16_t> next(static_cast<std::size_t>(kMaxCode + 1) * 256, 0);
  unsigned width = min_code_size + 1;
  unsigned last_code = end_code;
  CodeWriter writer;
  writer.Put(clear_code, width);

  int current = -1;
  for (const std::uint8_t pixel : pixels) {
    if (current < 0) {
      current = pixel;
      continue;
    }
    std::uint16_t& slot = next[static_cast<std::size_t>(current) * 256 + pixel];
    if (slot != 0) {
      current = slot;
      continue;
    }
    writer.Put(static_cast<unsigned>(current), width);
    ++last_code;
    slot = static_cast<std::uint16_t>(last_code);
    if (last_code >= (1u << width)) {
      ++width;
    }
    if (last_code == kMaxCode) {
      // The table is full: start a new one, as the decoder will on the clear.
      writer.Put(clear_code, width);
      std::fill(next.begin(), next.end(), 0);
      width = min_code_size + 1;
      last_code = end_code;
    }
    current = pixel;
  }
  if (current >= 0) {
    writer.Put(static_cast<unsigned>(current), width);
    // A decoder adds a table entry for this last code too, and widens its
    // codes when that entry reaches the limit: the end code must follow suit.
    ++last_code;
    if (last_code >= (1u << width) && width < 12) {
      ++width;
    }
  }
  writer.Put(end_code, width);
  return writer.Finish();
}

std::string Encode(const Image& image) {
  if (image.width == 0 || image.height == 0 || image.width > 0xFFFF || image.height > 0xFFFF) {
    throw std::invalid_argument("image size out of range");
  }
  if (image.palette.empty() || image.palette.size() > 256 || image.frames.empty()) {
    throw std::invalid_argument("an image needs 1 to 256 colours and a frame");
  }
  const std::size_t area = static_cast<std::size_t>(image.width) * image.height;
  for (const Frame& frame : image.frames) {
    if (frame.pixels.size() != area) {
      throw std::invalid_argument("a frame's pixels do not match the image size");
    }
    for (const std::uint8_t pixel : frame.pixels) {
      if (pixel >= image.palette.size()) {
        throw std::invalid_argument("a pixel names a colour beyond the palette");
      }
    }
  }

  const unsigned bits = PaletteBits(image.palette.size());
  const unsigned min_code_size = bits < 2 ? 2 : bits;
  std::string out = "GIF89a";
  PutWord(out, image.width);
  PutWord(out, image.height);
  PutByte(out, 0x80u | ((bits - 1) << 4) | (bits - 1));  // global palette of 2^bits entries
  PutByte(out, 0);                                       // background colour
  PutByte(out, 0);                                       // no aspect ratio
  for (unsigned i = 0; i < (1u << bits); ++i) {
    const Color color = i < image.palette.size() ? image.palette[i] : Color{};
    PutByte(out, color.red);
    PutByte(out, color.green);
    PutByte(out, color.blue);
  }
  const bool animated = image.frames.size() > 1;
  if (animated) {
    out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    PutWord(out, 0);  // loop for ever
    PutByte(out, 0);
  }
  for (const Frame& frame : image.frames) {
    if (animated) {
      out += "\x21\xF9\x04";
      PutByte(out, 0x04);  // each frame replaces the last one whole
      PutWord(out, frame.delay_centiseconds);
      PutByte(out, 0);
      PutByte(out, 0);
    }
    PutByte(out, 0x2C);
    PutWord(out, 0);
    PutWord(out, 0);
    PutWord(out, image.width);
    PutWord(out, image.height);
    PutByte(out, 0);
    PutByte(out, min_code_size);
    const std::vector<std::uint8_t> data = CompressPixels(frame.pixels, min_code_size);
    for (std::size_t at = 0; at < data.size(); at += 255) {
      const std::size_t length = std::min<std::size_t>(255, data.size() - at);
      PutByte(out, static_cast<unsigned>(length));
      out.append(reinterpret_cast<const char*>(data.data() + at), length);
    }
    PutByte(out, 0);
  }
  PutByte(out, 0x3B);
  return out;
}

}  // namespace gif
