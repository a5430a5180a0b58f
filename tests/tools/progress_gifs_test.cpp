// The GIF writer's output read back by an independent decoder, written from
// the format's rules: the frames must come back pixel for pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "progress_gifs/gif_writer.hpp"
#include "progress_gifs/progress_bars.hpp"

namespace {

using Pixels = std::vector<std::uint8_t>;
struct Decoded {
  unsigned width = 0, height = 0;
  bool loops = false;  // the NETSCAPE2.0 extension: an animation that starts over
  std::vector<Pixels> frames;
};

// LZW codes grow by one bit when the table reaches the current width's limit,
// up to 12 bits; a clear code starts a new table.
Pixels Decompress(const Pixels& data, unsigned min_size) {
  const unsigned clear = 1u << min_size;
  std::vector<Pixels> table;
  Pixels out, previous;
  unsigned width = min_size + 1;
  for (std::size_t bit = 0; bit + width <= data.size() * 8;) {
    unsigned code = 0;
    for (unsigned i = 0; i < width; ++i, ++bit) code |= ((data[bit / 8] >> bit % 8) & 1u) << i;
    if (code == clear + 1) return out;
    if (code == clear) {
      table.assign(clear + 2, {});
      for (unsigned i = 0; i < clear; ++i) table[i] = {static_cast<std::uint8_t>(i)};
      width = min_size + 1;
      previous.clear();
      continue;
    }
    const bool next_code = code == table.size();  // the entry that this very code adds
    Pixels entry = next_code ? previous : table.at(code);
    if (next_code) entry.push_back(previous.at(0));
    if (!previous.empty() && table.size() < 4096) {
      table.push_back(previous);
      table.back().push_back(entry.front());
    }
    out.insert(out.end(), entry.begin(), entry.end());
    if (table.size() == 1u << width && width < 12) ++width;
    previous = entry;
  }
  throw std::runtime_error("no end code");
}

Decoded Decode(const std::string& gif) {
  if (!gif.starts_with("GIF89a")) throw std::runtime_error("not GIF89a");
  std::size_t at = 6;
  const auto byte = [&]() -> unsigned { return static_cast<std::uint8_t>(gif.at(at++)); };
  const auto word = [&] { const unsigned low = byte(); return low | byte() << 8; };
  const auto sub_blocks = [&] {
    Pixels data;
    for (unsigned length = byte(); length != 0; length = byte())
      while (length-- > 0) data.push_back(static_cast<std::uint8_t>(byte()));
    return data;
  };
  Decoded image{word(), word(), false, {}};
  const unsigned packed = byte();
  if ((packed & 0x80u) == 0) throw std::runtime_error("no global palette");
  at += 2 + 3 * (2u << (packed & 7u));
  for (unsigned block = byte(); block != 0x3B; block = byte()) {
    if (block == 0x21) {
      const unsigned label = byte();
      const Pixels data = sub_blocks();
      image.loops |= label == 0xFF && std::string(data.begin(), data.end()).starts_with("NETSCAPE2.0");
    } else if (block == 0x2C && word() == 0 && word() == 0 && word() == image.width && word() == image.height &&
               byte() == 0) {
      const unsigned min_size = byte();
      image.frames.push_back(Decompress(sub_blocks(), min_size));
    } else {
      throw std::runtime_error("an unknown block, or a frame that is not the whole image");
    }
  }
  if (at != gif.size()) throw std::runtime_error("bytes after the trailer");
  return image;
}

// Two colours (the smallest code size), noise in 256 colours that widens the
// codes to 12 bits and fills the table (a clear mid-stream), and both bars.
TEST(ProgressGifs, FramesDecodeToTheirPixels) {
  std::vector<gif::Image> images = {progress_bars::Running(), progress_bars::Done()};
  for (const unsigned colors : {2u, 256u}) {
    images.push_back({200, 200, std::vector<gif::Color>(colors), {{}}});
    for (unsigned i = 0; i < 200 * 200; ++i)
      images.back().frames[0].pixels.push_back(static_cast<std::uint8_t>((i * 7919u ^ i / 200 * 104729u) % colors));
  }
  for (const gif::Image& image : images) {
    const Decoded decoded = Decode(gif::Encode(image));
    EXPECT_EQ(std::tie(decoded.width, decoded.height), std::tie(image.width, image.height));
    EXPECT_EQ(decoded.loops, image.frames.size() > 1);
    ASSERT_EQ(decoded.frames.size(), image.frames.size());
    for (std::size_t i = 0; i < image.frames.size(); ++i) EXPECT_EQ(decoded.frames[i], image.frames[i].pixels) << i;
  }
  EXPECT_EQ(images[0].width, progress_bars::kWidth);
  ASSERT_GT(images[0].frames.size(), 1u);
  EXPECT_NE(images[0].frames[0].pixels, images[0].frames[1].pixels) << "the stripes must move";
}

}  // namespace
