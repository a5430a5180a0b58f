#include "progress_gifs/progress_bars.hpp"

#include <cstdint>
#include <vector>

namespace progress_bars {
namespace {

enum Colour : std::uint8_t {
  kTrack = 0,
  kBorder = 1,
  kStripeDark = 2,
  kStripeLight = 3,
  kDone = 4
};

constexpr unsigned kStripePeriod = 24;  // pixels from one dark stripe to the next
constexpr unsigned kFrameShift = 3;     // pixels the stripes move per frame
constexpr unsigned kFrameDelay = 8;     // hundredths of a second per frame

std::vector<gif::Color> Palette() {
  return {
      {0xDF, 0xE5, 0xEB},  // track
      {0x9A, 0xA7, 0xB4},  // border
      {0x1F, 0x5F, 0x99},  // dark stripe
      {0x4F, 0x8C, 0xC4},  // light stripe
      {0x2E, 0x8B, 0x57},  // done
  };
}

bool OnBorder(unsigned x, unsigned y) {
  return x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1;
}

std::vector<std::uint8_t> Paint(unsigned shift, bool done) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
  for (unsigned y = 0; y < kHeight; ++y) {
    for (unsigned x = 0; x < kWidth; ++x) {
      std::uint8_t colour = kTrack;
      if (OnBorder(x, y)) {
        colour = kBorder;
      } else if (done) {
        colour = kDone;
      } else {
        // Diagonal stripes: the phase grows along x and y, so they lean.
        const unsigned phase = (x + y + kStripePeriod - shift % kStripePeriod) % kStripePeriod;
        colour = phase < kStripePeriod / 2 ? kStripeDark : kStripeLight;
      }
      pixels[static_cast<std::size_t>(y) * kWidth + x] = colour;
    }
  }
  return pixels;
}

}  // namespace

gif::Image Running() {
  gif::Image image{kWidth, kHeight, Palette(), {}};
  for (unsigned shift = 0; shift < kStripePeriod; shift += kFrameShift) {
    image.frames.push_back({Paint(shift, false), kFrameDelay});
  }
  return image;
}

gif::Image Done() {
  gif::Image image{kWidth, kHeight, Palette(), {}};
  image.frames.push_back({Paint(0, true), 0});
  return image;
}

}  // namespace progress_bars
