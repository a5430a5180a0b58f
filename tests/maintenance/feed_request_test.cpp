// The progress feed's reading of CONTENT_LENGTH.
#include "maintenance/feed_request.hpp"

#include <gtest/gtest.h>

namespace {

TEST(FeedBodyLength, TakesTheBaseFromThePrefixAndCapsAt1024) {
  const struct {
    const char* content_length;
    std::size_t expected;
  } cases[] = {
      {nullptr, 0},   {"", 0},       {"abc", 0},      {"18", 18},     {" 18", 18},       {"18abc", 18},
      {"0x1f", 31},   {"0X1F", 31},  {"017", 15},     {"019", 1},     {"1024", 1024},    {"1025", 1024},
      {"0x401", 1024}, {"-1", 1024}, {"99999999999999999999999", 1024},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FeedBodyLength(c.content_length), c.expected) << (c.content_length ? c.content_length : "unset");
  }
}

}  // namespace
