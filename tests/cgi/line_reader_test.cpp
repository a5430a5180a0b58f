// The look-ahead line reader: byte-exact lines, the line after the current
// one in sight, and reading no further ahead than that.
#include "cgi/line_reader.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cgi/cgi_test_support.hpp"

namespace {
using namespace cgi_testing;
using namespace std::string_literals;

TEST(LineReader, DeliversEachLineAsPeekedThenTheEnd) {
  const std::string long_line(1000, 'x');
  const std::string longer(100000, 'y');  // longer than the stream's own buffer
  const struct {
    std::string input;
    std::int32_t slots;
    std::vector<std::string> lines;  // every line delivered, in order, before the end
  } cases[] = {
      {"A\r\nB\r\n", 3, {"A\r\n", "B\r\n", ""}},  // an end right after a line feed gives an empty line
      {"A\r\nB", 3, {"A\r\n", "B"}},
      {"", 3, {""}},
      {"a\0\rb\r\r\n\0"s, 3, {"a\0\rb\r\r\n"s, "\0"s}},  // NUL and CR are ordinary bytes
      {long_line + "\n" + longer + "\nz", 3, {long_line + "\n", longer + "\n", "z"}},
      {"1\n2\n3\n4\n5\n6\n7", 4, {"1\n", "2\n", "3\n", "4\n", "5\n", "6\n", "7"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input.substr(0, 20)));
    const Stream stream = StreamOf(c.input);
    std::optional<LineReader> reader = CgiNewLineReader(c.slots, stream.get());
    ASSERT_TRUE(reader);
    std::vector<std::string> lines;
    std::optional<std::string_view> line;
    do {
      const std::optional<std::string> peeked(CgiPeekLine(*reader));
      std::size_t capacity = 0;
      const std::size_t length = CgiNextLineWithLength(*reader, line, capacity);
      ASSERT_EQ(peeked, line) << "line " << lines.size();
      EXPECT_EQ(length, line ? line->size() : 0);
      if (line) lines.emplace_back(*line);
    } while (line && lines.size() <= c.lines.size());
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(CgiNextLine(*reader), std::nullopt);
  }
}

// Three lines after creation; afterwards the line handed out and the one
// after it, and one more read only when no other is left ahead.
TEST(LineReader, ReadsOnlyTheLinesItHolds) {
  const Stream stream = StreamOf("l0\nl1\nl2\nl3\nl4\nl5\n");
  std::optional<LineReader> reader = CgiNewLineReader(3, stream.get());
  std::vector<long> positions = {std::ftell(stream.get())};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(CgiNextLine(*reader), std::string("l").append(std::to_string(i)).append("\n"));
    positions.push_back(std::ftell(stream.get()));
  }
  EXPECT_EQ(positions, (std::vector<long>{9, 9, 12, 15, 18}));
}

TEST(LineReader, NeedsThreeSlotsAndEndsAtAReadError) {
  const Stream text = StreamOf("a\n");
  EXPECT_FALSE(CgiNewLineReader(2, text.get()));
  const Stream directory(std::fopen("/", "r"));  // reading a directory fails
  std::optional<LineReader> reader = CgiNewLineReader(3, directory.get());
  EXPECT_EQ(CgiNextLine(*reader), "");
  EXPECT_EQ(CgiNextLine(*reader), std::nullopt);
}

}  // namespace
