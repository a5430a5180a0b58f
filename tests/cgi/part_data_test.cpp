// The growth of large multipart part data, and such parts parsed whatever
// their declared body length says.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_test_support.hpp"
#include "cgi/line_reader.hpp"
#include "cgi/part_data.hpp"

namespace {
using namespace cgi_testing;

// Lines of varied length with every byte value, NUL included.
std::string Lines(std::size_t size) {
  std::string text;
  for (std::size_t line = 0; text.size() < size; ++line) {
    for (std::size_t i = 0; i < 40 + line % 300 && text.size() < size; ++i) {
      text.push_back(static_cast<char>((line * 7 + i) % 256));
    }
    if (text.size() < size) text.push_back('\n');
  }
  return text;
}

// Appends `content` line by line as the capture does.
std::string Captured(const std::string& content, std::uint64_t expected) {
  std::string data;
  PartData part(data, expected);
  for (std::size_t start = 0; start < content.size();) {
    const std::size_t end = std::min(content.find('\n', start), content.size() - 1) + 1;
    part.Append(std::string_view(content).substr(start, end - start));
    start = end;
  }
  EXPECT_GE(data.capacity(), data.size());
  return data;
}

TEST(PartData, KeepsEveryByteWhateverTheExpectedSize) {
  const std::string content = Lines(3 * 1024 * 1024 + 17);
  // Unknown, exact, too large and too small: the bytes are the same.
  for (const std::uint64_t expected : std::initializer_list<std::uint64_t>{0, content.size(), 4 * content.size(), content.size() / 5}) {
    SCOPED_TRACE(expected);
    EXPECT_TRUE(Captured(content, expected) == content);  // not printed: 3 MiB
  }
}

TEST(PartData, AnExactExpectationEndsInOneLastExactStep) {
  const std::string content = Lines(5 * 1024 * 1024);
  std::string data;
  PartData part(data, content.size());
  part.Append(std::string_view(content).substr(0, 300 * 1024));
  part.Append(std::string_view(content).substr(300 * 1024));
  EXPECT_TRUE(data == content);
  // Grown to the expected size, not doubled past it.
  EXPECT_EQ(data.capacity(), content.size());
}

// What the reader has read, less what it holds ahead, is what it has handed
// out: the place in the body where a part's data starts.
TEST(LineReader, KnowsHowFarItHasHandedTheInputOut) {
  const std::string input = "first\r\nsecond line\r\n\r\nlast";
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  std::fputs(input.c_str(), stream);
  std::rewind(stream);
  std::optional<LineReader> reader = CgiNewLineReader(3, stream);
  ASSERT_TRUE(reader.has_value());
  std::size_t handed_out = 0;
  while (const std::optional<std::string_view> line = CgiNextLine(*reader)) {
    handed_out += line->size();
    EXPECT_EQ(reader->bytes_read - CgiBytesHeldAhead(*reader), handed_out);
  }
  EXPECT_EQ(handed_out, input.size());
  std::fclose(stream);
}

// A 1 MiB file part between two fields, declared truthfully, too short,
// too long, or without digits (which reads as 0: no size known).
TEST_F(CgiTest, LargePartsParseTheSameUnderAnyDeclaredLength) {
  const std::string file = Lines(1024 * 1024) + "\r\nlast line";
  const std::string body =
      "--xyz\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
      "--xyz\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f.bin\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n" +
      file + "\r\n--xyz\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--xyz--\r\n";
  for (const std::string& length : {std::to_string(body.size()), std::to_string(body.size() / 3),
                                   std::to_string(body.size() * 9), std::string("x")}) {
    SCOPED_TRACE(length);
    SetCgiVariables({{"REQUEST_METHOD", "POST"},
                     {"CONTENT_TYPE", "multipart/form-data; boundary=xyz"},
                     {"CONTENT_LENGTH", length}});
    SetStdin(body);
    ASSERT_EQ(CgiParseRequest(), 0);
    const std::vector<Entry> entries = TableEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (Entry{"a", "1", 1, 0, "plain"}));
    EXPECT_TRUE(entries[1].value == file);
    EXPECT_EQ(entries[1].value_length, file.size());
    EXPECT_EQ(entries[2], (Entry{"b", "2", 1, 0, "plain"}));
    CgiFreeRequest();
  }
}

}  // namespace
