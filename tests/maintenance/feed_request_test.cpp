// The progress feed's request: its length, its body and the load type it names.
#include "maintenance/feed_request.hpp"

#include <gtest/gtest.h>

#include "cgi/request_input.hpp"

namespace {
using namespace std::string_literals;

TEST(FeedBodyLength, TakesTheBaseFromThePrefixAndCapsAt1024) {
  const std::pair<const char*, std::size_t> cases[] = {
      {nullptr, 0}, {"abc", 0},     {" 18abc", 18}, {"0x1f", 31},
      {"017", 15},  {"1024", 1024}, {"1025", 1024}, {"-1", 1024},
  };
  for (const auto& [text, length] : cases)
    EXPECT_EQ(FeedBodyLength(text), length) << (text ? text : "unset");
}

// The body arrives through a pipe in two pieces; reading stops at the length
// or the end of the input, and the text at a NUL.
TEST(ReadFeedBody, ReadsUpToTheLengthAcrossPiecesAndEndsAtANul) {
  const std::tuple<std::string, std::string, std::size_t, std::string> cases[] = {
      {"loadtype=", "ppcupload", 12, "loadtype=ppc"},
      {"ab", "c", 10, "abc"},
      {"a\0b"s, "c", 4, "a"},
      {"", "", 5, ""},
  };
  for (const auto& [first, second, length, body] : cases) {
    const std::jthread writer = cgi_testing::SetStdinInPieces(first, second);
    EXPECT_EQ(ReadFeedBody(length), body) << first << second;
  }
}

TEST(FeedLoadType, IsTheFirstLoadtypeValueUpToABlank) {
  const std::optional<LoadType> none, ppc = LoadType::kPpcUpload, other = LoadType::kDefault;
  const std::pair<std::string, std::optional<LoadType>> cases[] = {
      {"loadtype=ppcupload x=1", ppc},   {"a=1&loadtype=ppcupload", ppc},
      {"loadtype=ppcupload&x=1", other}, {"loadtype=rootfs loadtype=ppcupload", other},
      {"type=ppcupload", none},
  };
  for (const auto& [body, load_type] : cases) EXPECT_EQ(FeedLoadType(body), load_type) << body;
}
}  // namespace
