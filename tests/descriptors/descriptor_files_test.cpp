// The reading primitives of the descriptor files.
#include "descriptors/descriptor_files.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

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

TEST(ReadDescriptorLine, DeliversLinesAndPiecesOfLongOnes) {
  const std::string x1022(1022, 'x');
  const std::string y1023(1023, 'y');
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}}, {"abc", {"abc"}}, {"\n\n", {"", ""}}, {"a\r\nb\r\n", {"a\r", "b\r"}},
      {x1022 + "\nz\n", {x1022, "z"}}, {y1023 + "\nz", {y1023, "", "z"}}};
  for (const auto& [content, pieces] : cases) EXPECT_EQ(Pieces(content), pieces) << content.substr(0, 12);
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
