#pragma once

#include "progress_gifs/gif_writer.hpp"

namespace progress_bars {

inline constexpr unsigned kWidth = 320;
inline constexpr unsigned kHeight = 18;

// "progressbar.gif": a bar whose stripes run on while an update is busy (the
// status page does not show a percentage, so the bar shows only activity).
gif::Image Running();
// "progressbar-done.gif": the full bar of an update that has ended.
gif::Image Done();

}  // namespace progress_bars
