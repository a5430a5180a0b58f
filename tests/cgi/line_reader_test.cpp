// The look-ahead line reader: byte-exact lines, the line after the current
// one in sight, and reading no further ahead than that.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cgi/cgi_test_support.hpp"
#include "cgi/line_reader.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;

struct LinesCase {
  const char* label;
  std::string input;
  std::int32_t slots;
  std::vector<std::string> lines;  // every line delivered, in order, before the end
};

void PrintTo(const LinesCase& c, std::ostream* os) { *os << c.label; }

class LineReading : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LineReading, DeliversEachLineAsPeekedThenTheEnd) {
  const LinesCase& c = GetParam();
  const Stream stream = StreamOf(c.input);
  std::optional<LineReader> reader = CgiNewLineReader(c.slots, stream.get());
  ASSERT_TRUE(reader);
  std::vector<std::string> lines;
  while (lines.size() <= c.lines.size()) {
    const std::optional<std::string> peeked(CgiPeekLine(*reader));
    std::optional<std::string_view> line;
    std::size_t capacity = 0;
    const std::size_t length = CgiNextLineWithLength(*reader, line, capacity);
    ASSERT_EQ(peeked, line) << "line " << lines.size();
    if (!line) {
      EXPECT_EQ(length + capacity, 0u);
      break;
    }
    EXPECT_EQ(length, line->size());
    lines.emplace_back(*line);
  }
  EXPECT_EQ(lines, c.lines);
  EXPECT_EQ(CgiNextLine(*reader), std::nullopt);
  EXPECT_EQ(CgiPeekLine(*reader), std::nullopt);
}

const std::string kLong(1000, 'x');
const std::string kLonger(100000, 'y');  // longer than the stream's own buffer

INSTANTIATE_TEST_SUITE_P(
    Inputs, LineReading,
    ::testing::Values(
        LinesCase{"EndAfterLineFeedGivesAnEmptyLine", "A\r\nB\r\n", 3, {"A\r\n", "B\r\n", ""}},
        LinesCase{"EndInsideALine", "A\r\nB", 3, {"A\r\n", "B"}},
        LinesCase{"EmptyInput", "", 3, {""}},
        LinesCase{"LoneLineFeed", "\n", 3, {"\n", ""}},
        LinesCase{"NulBytesStay", "a\0b\r\n\0"s, 3, {"a\0b\r\n"s, "\0"s}},
        LinesCase{"CarriageReturnEndsNoLine", "a\rb\r\r\n", 3, {"a\rb\r\r\n", ""}},
        LinesCase{"LongLinesGrowTheirSlots", kLong + "\n" + kLonger + "\nz", 3, {kLong + "\n", kLonger + "\n", "z"}},
        LinesCase{"RingOfThree", "1\n2\n3\n4\n5\n6\n7", 3, {"1\n", "2\n", "3\n", "4\n", "5\n", "6\n", "7"}},
        LinesCase{"RingOfFour", "1\n2\n3\n4\n5\n6\n7\n", 4, {"1\n", "2\n", "3\n", "4\n", "5\n", "6\n", "7\n", ""}},
        LinesCase{"ShorterThanTheRing", "1\n", 5, {"1\n", ""}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LineReader, NeedsThreeSlots) {
  const Stream stream = StreamOf("a\n");
  EXPECT_FALSE(CgiNewLineReader(2, stream.get()));
  EXPECT_EQ(std::ftell(stream.get()), 0) << "nothing read";
  EXPECT_TRUE(CgiNewLineReader(3, stream.get()));
}

// Later lines of a slot reuse the buffer a long line grew, and are not
// disturbed by what that line left in it.
TEST(LineReader, ASlotKeepsItsGrownBuffer) {
  const Stream stream = StreamOf(kLong + "\nb\nc\nd\n");
  std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
  std::optional<std::string_view> line;
  std::size_t capacity = 0;
  EXPECT_EQ(CgiNextLineWithLength(*reader, line, capacity), 1001u);
  EXPECT_GT(capacity, 1001u);  // room for the NUL after the line
  const std::size_t grown = capacity;
  CgiNextLine(*reader);
  CgiNextLine(*reader);
  EXPECT_EQ(CgiNextLineWithLength(*reader, line, capacity), 2u);  // "d\n", in the first slot again
  EXPECT_EQ(line, "d\n");
  EXPECT_EQ(capacity, grown);
}

// Three lines after creation; afterwards the line handed out and the one
// after it, and one more read only when no other is left ahead.
TEST(LineReader, ReadsOnlyTheLinesItHolds) {
  const Stream stream = StreamOf("l0\nl1\nl2\nl3\nl4\nl5\n");
  std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
  std::vector<long> positions = {std::ftell(stream.get())};
  for (int i = 0; i < 4; ++i) {
    CgiNextLine(*reader);
    positions.push_back(std::ftell(stream.get()));
  }
  EXPECT_EQ(positions, (std::vector<long>{9, 9, 12, 15, 18}));
}

TEST(LineReader, AReadErrorEndsTheInput) {
  const Stream stream(std::fopen("/", "r"));  // reading a directory fails
  ASSERT_TRUE(stream);
  std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
  EXPECT_EQ(CgiNextLine(*reader), "");
  EXPECT_EQ(CgiNextLine(*reader), std::nullopt);
}

}  // namespace
