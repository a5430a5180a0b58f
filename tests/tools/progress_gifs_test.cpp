// The progress bar images are decoded here by an independent GIF reader: the
// frames must come back pixel for pixel, whatever the LZW table does.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "progress_gifs/gif_writer.hpp"
#include "progress_gifs/progress_bars.hpp"

namespace {

struct Decoded {
  unsigned width = 0;
  unsigned height = 0;
  unsigned palette_size = 0;
  bool loops = false;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<unsigned> delays;
};

class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  std::uint8_t Byte() {
    if (at_ >= bytes_.size()) throw std::runtime_error("GIF ends early");
    return static_cast<std::uint8_t>(bytes_[at_++]);
  }
  unsigned Word() {
    const unsigned low = Byte();
    return low | (static_cast<unsigned>(Byte()) << 8);
  }
  std::string Take(std::size_t count) {
    if (at_ + count > bytes_.size()) throw std::runtime_error("GIF ends early");
    std::string text = bytes_.substr(at_, count);
    at_ += count;
    return text;
  }
  std::vector<std::uint8_t> SubBlocks() {
    std::vector<std::uint8_t> data;
    for (unsigned length = Byte(); length != 0; length = Byte()) {
      for (unsigned i = 0; i < length; ++i) data.push_back(Byte());
    }
    return data;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  const std::string& bytes_;
  std::size_t at_ = 0;
};

// A plain LZW decoder, written from the GIF rules: codes grow by one bit when
// the next free code reaches the current width's limit, up to 12 bits.
std::vector<std::uint8_t> Decompress(const std::vector<std::uint8_t>& data, unsigned min_code_size) {
  const unsigned clear = 1u << min_code_size;
  const unsigned end = clear + 1;
  std::vector<std::vector<std::uint8_t>> table;
  unsigned width = 0;
  auto reset = [&] {
    table.clear();
    for (unsigned i = 0; i < clear; ++i) table.push_back({static_cast<std::uint8_t>(i)});
    table.push_back({});
    table.push_back({});
    width = min_code_size + 1;
  };
  reset();
  std::vector<std::uint8_t> out;
  std::size_t bit = 0;
  int previous = -1;
  while (true) {
    if (bit + width > data.size() * 8) throw std::runtime_error("code stream ends without an end code");
    unsigned code = 0;
    for (unsigned i = 0; i < width; ++i, ++bit) {
      code |= ((data[bit / 8] >> (bit % 8)) & 1u) << i;
    }
    if (code == clear) {
      reset();
      previous = -1;
      continue;
    }
    if (code == end) break;
    std::vector<std::uint8_t> entry;
    if (code < table.size()) {
      entry = table[code];
      if (previous >= 0 && table.size() < 4096) {
        std::vector<std::uint8_t> added = table[static_cast<std::size_t>(previous)];
        added.push_back(entry.front());
        table.push_back(added);
      }
    } else if (code == table.size() && previous >= 0) {
      entry = table[static_cast<std::size_t>(previous)];
      entry.push_back(entry.front());
      table.push_back(entry);
    } else {
      throw std::runtime_error("code beyond the table");
    }
    out.insert(out.end(), entry.begin(), entry.end());
    if (table.size() == (1u << width) && width < 12) ++width;
    previous = static_cast<int>(code);
  }
  return out;
}

Decoded Decode(const std::string& bytes) {
  Reader in(bytes);
  Decoded image;
  if (in.Take(6) != "GIF89a") throw std::runtime_error("not GIF89a");
  image.width = in.Word();
  image.height = in.Word();
  const std::uint8_t packed = in.Byte();
  if ((packed & 0x80u) == 0) throw std::runtime_error("no global palette");
  image.palette_size = 1u << ((packed & 7u) + 1);
  in.Byte();
  in.Byte();
  in.Take(3 * image.palette_size);
  unsigned delay = 0;
  while (true) {
    const std::uint8_t block = in.Byte();
    if (block == 0x3B) break;
    if (block == 0x21) {
      const std::uint8_t label = in.Byte();
      const std::vector<std::uint8_t> data = in.SubBlocks();
      if (label == 0xF9 && data.size() == 4) delay = data[1] | (data[2] << 8u);
      if (label == 0xFF && data.size() >= 11 && std::string(data.begin(), data.begin() + 11) == "NETSCAPE2.0") {
        image.loops = true;
      }
      continue;
    }
    if (block != 0x2C) throw std::runtime_error("unknown block");
    in.Word();
    in.Word();
    if (in.Word() != image.width || in.Word() != image.height) throw std::runtime_error("frame size");
    if (in.Byte() != 0) throw std::runtime_error("local palette or interlace");
    const unsigned min_code_size = in.Byte();
    image.frames.push_back(Decompress(in.SubBlocks(), min_code_size));
    image.delays.push_back(delay);
  }
  if (!in.AtEnd()) throw std::runtime_error("bytes after the trailer");
  return image;
}

TEST(ProgressGifs, EncodedFramesDecodeToTheirPixels) {
  // Sizes and pixel patterns that make the code width grow and the table fill
  // up (a clear code mid-stream), as well as trivial ones.
  struct Case {
    const char* what;
    unsigned width, height, colors;
    std::uint8_t (*pixel)(unsigned x, unsigned y);
  };
  const Case cases[] = {
      {"one pixel", 1, 1, 2, [](unsigned, unsigned) -> std::uint8_t { return 1; }},
      {"one colour", 64, 64, 2, [](unsigned, unsigned) -> std::uint8_t { return 0; }},
      {"stripes", 100, 7, 4, [](unsigned x, unsigned y) -> std::uint8_t { return (x + y) / 3 % 4; }},
      {"noise past the table", 200, 200, 256,
       [](unsigned x, unsigned y) -> std::uint8_t { return static_cast<std::uint8_t>((x * 7919u + y * 104729u) ^ (x * y)); }},
  };
  for (const Case& c : cases) {
    gif::Image image{c.width, c.height, std::vector<gif::Color>(c.colors), {}};
    gif::Frame frame;
    for (unsigned y = 0; y < c.height; ++y)
      for (unsigned x = 0; x < c.width; ++x) frame.pixels.push_back(c.pixel(x, y));
    image.frames.push_back(frame);
    const Decoded decoded = Decode(gif::Encode(image));
    ASSERT_EQ(decoded.frames.size(), 1u) << c.what;
    EXPECT_EQ(decoded.frames[0], frame.pixels) << c.what;
    EXPECT_FALSE(decoded.loops) << c.what;
  }
}

TEST(ProgressGifs, RunningBarIsALoopingAnimationAndDoneBarOneFrame) {
  const gif::Image running = progress_bars::Running();
  const Decoded decoded = Decode(gif::Encode(running));
  EXPECT_EQ(decoded.width, progress_bars::kWidth);
  EXPECT_EQ(decoded.height, progress_bars::kHeight);
  EXPECT_TRUE(decoded.loops);
  ASSERT_EQ(decoded.frames.size(), running.frames.size());
  ASSERT_GT(decoded.frames.size(), 1u);
  for (std::size_t i = 0; i < decoded.frames.size(); ++i) {
    EXPECT_EQ(decoded.frames[i], running.frames[i].pixels) << "frame " << i;
    EXPECT_GT(decoded.delays[i], 0u);
  }
  EXPECT_NE(decoded.frames[0], decoded.frames[1]) << "the stripes must move";

  const Decoded done = Decode(gif::Encode(progress_bars::Done()));
  ASSERT_EQ(done.frames.size(), 1u);
  EXPECT_FALSE(done.loops);
  EXPECT_EQ(done.frames[0], progress_bars::Done().frames[0].pixels);
}

TEST(ProgressGifs, RefusesWhatTheFormatCannotHold) {
  const auto encode = [](unsigned width, unsigned height, std::size_t colors, std::vector<std::uint8_t> pixels) {
    gif::Image image{width, height, std::vector<gif::Color>(colors), {}};
    image.frames.push_back({std::move(pixels), 0});
    return gif::Encode(image);
  };
  EXPECT_THROW(encode(0, 1, 2, {}), std::invalid_argument);
  EXPECT_THROW(encode(70000, 1, 2, std::vector<std::uint8_t>(70000)), std::invalid_argument);
  EXPECT_THROW(encode(2, 1, 2, {0}), std::invalid_argument);     // too few pixels
  EXPECT_THROW(encode(1, 1, 2, {2}), std::invalid_argument);     // beyond the palette
  EXPECT_THROW(encode(1, 1, 257, {0}), std::invalid_argument);   // too many colours
  EXPECT_NO_THROW(encode(1, 1, 256, {255}));
}

}  // namespace
