#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace gif {

struct Color {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

// One picture of the animation: a palette index per pixel, row by row.
struct Frame {
  std::vector<std::uint8_t> pixels;
  unsigned delay_centiseconds = 0;
};

// An image in the GIF89a format, with one palette for all frames (at most 256
// colours). More than one frame makes an endlessly looping animation.
struct Image {
  unsigned width = 0;
  unsigned height = 0;
  std::vector<Color> palette;
  std::vector<Frame> frames;
};

// The bytes of the GIF file. Throws std::invalid_argument when the sizes do
// not fit the format or a pixel names a colour beyond the palette.
std::string Encode(const Image& image);

// The LZW code stream of one frame's pixels (the bytes that GIF packs into
// sub-blocks after the minimum code size), exposed for tests.
std::vector<std::uint8_t> CompressPixels(const std::vector<std::uint8_t>& pixels,
                                         unsigned min_code_size);

}  // namespace gif
