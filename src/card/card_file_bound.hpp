#pragma once

#include <cstddef>

// The largest descriptor file the program reads: far more than any card
// needs, and small enough that no size arithmetic near it can wrap, even
// where a size is 32 bits. A larger file reads as unusable, for the program
// and for the checker of a card's files alike.
inline constexpr std::size_t kCardFileSizeBound = 16 * 1024 * 1024;
