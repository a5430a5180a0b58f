// The reading primitives of the descriptor files.
#include "descriptors/descriptor_files.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "e2e/harness/sandbox.hpp"

namespace {

// Every piece ReadDescriptorLine delivers for a file holding `content`.
std::vector<std::string> Pieces(const std::string& content) {
  std::FILE* file = std::tmpfile();
  std::fwrite(content.data(), 1, content.size(), file);
  std::rewind(file);
  std::vector<std::string> pieces;
  std::string line = "stale";
  for (int length; (length = ReadDescriptorLine(line, file)) != -1;) {
    EXPECT_EQ(static_cast<std::size_t>(length), line.size());
    pieces.push_back(line);
  }
  std::fclose(file);
  return pieces;
}

// The same, read whole into memory first; twice, to see the rewind.
std::vector<std::string> TextPieces(const std::string& path) {
  std::optional<DescriptorText> text = DescriptorText::Load(path.c_str());
  EXPECT_TRUE(text.has_value());
  if (!text) return {};
  std::vector<std::string> pieces;
  std::string line = "stale";
  for (int length; (length = text->ReadLine(line)) != -1;) {
    EXPECT_EQ(static_cast<std::size_t>(length), line.size());
    pieces.push_back(line);
  }
  text->Rewind();
  std::vector<std::string> again;
  while (text->ReadLine(line) != -1) again.push_back(line);
  EXPECT_EQ(again, pieces);
  return pieces;
}

TEST(ReadDescriptorLine, DeliversLinesAndPiecesOfLongOnes) {
  const std::string x1022(1022, 'x');
  const std::string x1023(1023, 'y');
  struct Case {
    std::string content;
    std::vector<std::string> pieces;
  } cases[] = {
      {"", {}},
      {"abc\n", {"abc"}},
      {"abc", {"abc"}},
      {"\n\n", {"", ""}},
      {"a\r\nb\r\n", {"a\r", "b\r"}},
      {"a\n\r", {"a", "\r"}},
      {x1022 + "\nz\n", {x1022, "z"}},
      {x1023 + "\nz", {x1023, "", "z"}},
      {x1023 + x1023 + "w\n", {x1023, x1023, "w"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  testing_support::Sandbox sandbox;
  const std::string path = (sandbox.Root() / "descriptor").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 12));
    EXPECT_EQ(Pieces(c.content), c.pieces);
    // A file read whole, or only its first line, gives the same pieces.
    sandbox.WriteFile(path, c.content);
    EXPECT_EQ(TextPieces(path), c.pieces);
    std::string first = "stale";
    const std::optional<int> length = ReadFirstDescriptorLine(path.c_str(), first);
    ASSERT_TRUE(length.has_value());
    if (c.pieces.empty()) {
      EXPECT_EQ(*length, -1);
    } else {
      EXPECT_EQ(first, c.pieces.front());
      EXPECT_EQ(*length, static_cast<int>(first.size()));
    }
  }
}

TEST(ReadDescriptorLine, LargeFilesAreReadWholeAndMissingOnesNotAtAll) {
  testing_support::Sandbox sandbox;
  const std::string path = (sandbox.Root() / "large").string();
  std::string content;
  std::vector<std::string> lines;
  for (int i = 0; i < 5000; ++i) {
    lines.push_back("<param><oid>p" + std::to_string(i) + "</oid></param>");
    content += lines.back() + "\n";
  }
  sandbox.WriteFile(path, content);
  EXPECT_EQ(TextPieces(path), lines);

  const std::string missing = (sandbox.Root() / "missing").string();
  std::string line;
  EXPECT_FALSE(DescriptorText::Load(missing.c_str()).has_value());
  EXPECT_FALSE(ReadFirstDescriptorLine(missing.c_str(), line).has_value());
}

TEST(ExtractTagText, CopiesTheFieldOrLeavesTheDestination) {
  const std::pair<const char*, const char*> cases[] = {  // nullptr: not found
      {"<param><name>a</name><name>b</name>", "a"}, {"<name></name>", ""}, {"<name>Gain", nullptr},
      {"Gain</name>", nullptr}, {"</name><name>Gain</name>", nullptr}};
  for (const auto& [text, field] : cases) {
    NameText name = "before";
    EXPECT_EQ(ExtractTagText(text, name, "<name>", "</name>"), field ? 0 : 1) << text;
    EXPECT_EQ(name.view(), field ? field : "before") << text;
  }
  // The closing tag may not begin inside the opening tag.
  FieldText field = "before";
  EXPECT_EQ(ExtractTagText("<ab>", field, "<ab>", "b>"), 1);
  EXPECT_EQ(field.view(), "before");
}

TEST(DecimalToInt, ReadsLikeTheCardsNumberConversionWithoutOverflow) {
  const std::pair<const char*, int> cases[] = {
      {"  -12x", -12}, {"\t\n+3", 3}, {"abc", 0}, {"- 4", 0}, {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN}, {"-2147483648", INT_MIN}};
  for (const auto& [text, number] : cases) EXPECT_EQ(DecimalToInt(text), number) << text;
}

}  // namespace
