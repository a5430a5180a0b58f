// The reading primitives of the descriptor files.
#include "descriptors/descriptor_files.hpp"

#include <gtest/gtest.h>

#include <climits>

#include "descriptors/menu_list.hpp"
#include "e2e/harness/sandbox.hpp"

namespace {

// Every piece a file holding `content` gives: read whole, and its first line alone.
TEST(DescriptorText, DeliversLinesAndPiecesOfLongOnes) {
  const std::string x1022(1022, 'x'), y1023(1023, 'y');
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"\n\n", {"", ""}},
      {"a\r\nb\r\n", {"a\r", "b\r"}},
      {"a\n\r", {"a", "\r"}},
      {x1022 + "\nz\n", {x1022, "z"}},
      {y1023 + "\nz", {y1023, "", "z"}},
      {y1023 + y1023 + "w\n", {y1023, y1023, "w"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}}};
  testing_support::Sandbox sandbox;
  const std::string path = (sandbox.Root() / "descriptor").string();
  for (const auto& [content, pieces] : cases) {
    SCOPED_TRACE(content.substr(0, 12));
    sandbox.WriteFile(path, content);
    std::optional<DescriptorText> text = DescriptorText::Load(path.c_str());
    ASSERT_TRUE(text.has_value());
    std::vector<std::string> read;
    std::string line = "stale";
    for (int length; (length = text->ReadLine(line)) != -1; read.push_back(line))
      EXPECT_EQ(length, int(line.size()));
    EXPECT_EQ(read, pieces);
    std::string first = "stale";
    EXPECT_EQ(ReadFirstDescriptorLine(path.c_str(), first),
              pieces.empty() ? -1 : int(pieces.front().size()));
    EXPECT_EQ(first, pieces.empty() ? "stale" : pieces.front());
  }
}

// Every line sorted once: records (line: oid), over-long lines and lines without <oid> (line:
// length).
TEST(ParamFile, SortsEachLineIntoRecordOverLongOrNoRecord) {
  // The over-long line ends in an oid of its own: no record.
  const std::string fits = "<oid>f</oid>" + std::string(1010, 'x'),
                    cut = fits.substr(0, 1011) + "<oid>t</oid>";
  const ParamFile file{FileBytes("<?xml?>\n<param><oid>a</oid></param>\r\n\n" + cut + "\n" + fits +
                                 "\n<!-- <oid> -->\n<oid></oid><oid>a</oid>")};
  std::vector<std::string> records;
  for (const ParamRecord& r : file.records())
    records.push_back(std::to_string(r.line_number) + ": " + std::string(r.oid));
  const auto listed = [](const std::vector<SkippedLine>& lines) {
    std::vector<std::string> out;
    for (const SkippedLine& l : lines)
      out.push_back(std::to_string(l.line_number) + ": " + std::to_string(l.line.size()));
    return out;
  };
  EXPECT_EQ(records, (std::vector<std::string>{"2: a", "5: f", "7: "}));
  EXPECT_EQ(listed(file.over_long_lines()), std::vector<std::string>{"4: 1023"});
  EXPECT_EQ(listed(file.lines_without_oid()), (std::vector<std::string>{"1: 7", "3: 0", "6: 14"}));
  EXPECT_EQ(file.Find("a")->line, "<param><oid>a</oid></param>\r");
  EXPECT_EQ(file.Find("y"), nullptr);
}

// A field is the text between the first places of its two tags, as FindTagText finds them, for
// the record's reader and for ExtractTagText, which leaves its destination when the field is
// absent.
TEST(ParamRecord, FieldIsTheTextBetweenItsFirstTags) {
  const struct {
    const char* line;
    RecordField field;
    const char* text;  // nullptr: absent
  } cases[] = {{"<oid>o</oid><name>a</name><name>b</name>", RecordField::kName, "a"},
               {"<oid>o</oid><name></name>", RecordField::kName, ""},
               {"<oid>o</oid><name>Gain", RecordField::kName, nullptr},
               {"<oid>o</oid>Gain</name>", RecordField::kName, nullptr},
               {"</name><name>Gain</name><oid>o</oid>", RecordField::kName, nullptr},
               {"<oid>o</oid><names>x</names><name>y</name>", RecordField::kName, "y"},
               {"<oid>o</oid><min>1<precision>2</precision></min>", RecordField::kMin,
                "1<precision>2</precision>"},
               {"<oid>o<oid>p</oid>", RecordField::kOid, "o<oid>p"},
               {"<name><oid>o</oid>x</name>", RecordField::kName, "<oid>o</oid>x"}};
  for (const auto& [line, field, text] : cases) {
    const ParamFile file{FileBytes(line)};
    ASSERT_EQ(file.records().size(), 1u) << line;
    EXPECT_EQ(file.records()[0].Field(field),
              text ? std::optional<std::string_view>(text) : std::nullopt)
        << line;
    NameText name = "before";
    const std::string tag(kRecordFieldNames[static_cast<std::size_t>(field)]);
    EXPECT_EQ(ExtractTagText(line, name, "<" + tag + ">", "</" + tag + ">"), text ? 0 : 1);
    EXPECT_EQ(name.view(), text ? text : "before") << line;
  }
}

// The oids of every block of menu "0" (20 at most), each with its line: "oid@line".
TEST(ReadMenuZero, CollectsTheOidLinesOfEveryBlockOfMenuZero) {
  std::string nineteen = "<menu><mid>0</mid>\n", listed;
  for (int i = 1; i <= 19; ++i) {
    nineteen += "<oid>" + std::to_string(i) + "</oid>\n";
    listed += std::to_string(i) + "@" + std::to_string(i + 1) + " ";
  }
  const std::pair<std::string, std::string> cases[] = {
      {"<menu><mid>0</mid>\n<oid>c</oid>\n<oid>a</oid>\n<oid>c</oid>\n", "c@2 a@3 c@4 "},
      {nineteen + "</menu>\n<menu><mid>1</mid>\n<oid>x</oid>\n<menu><mid>0</mid>\n<oid>y</oid>\n"
                  "<oid>z</oid>\n",
       listed + "y@25 "},
      {"<menu><mid>01</mid>\n<oid>a</oid>\n", ""},
      {"<menu><mid>0</mid>\n</menu>\n<oid>a</oid>\n", ""},
      {"<menu><mid>0</mid>\n<oid>a</oid>\n <oid>b</oid>\n<oid>c</oid>\n", "a@2 "},
      {"<menu><mid>0</mid>\n<oid>a</oid>\n<menu><mid>0</mid>\n<oid>b</oid>\n", "a@2 "},
      {"<menu><mid>0</mid>\r\n<oid>a</oid>\r\n<oid>b</oid>\r\n", "a@2 b@3 "}};
  for (const auto& [menu, oids] : cases) {
    DescriptorText text{FileBytes(menu)};
    const MenuReading reading = ReadMenuZero(text);
    std::string read;
    for (int i = 0; i < reading.menu.count; ++i)
      read +=
          std::string(reading.menu.oids[i].view()) + "@" + std::to_string(reading.lines[i]) + " ";
    EXPECT_EQ(read, oids) << menu;
  }
}

TEST(DecimalToInt, ReadsLikeTheCardsNumberConversionWithoutOverflow) {
  const std::pair<const char*, int> cases[] = {
      {"  -12x", -12},           {"\t\n+3", 3},           {"- 4", 0}, {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN}, {"-2147483648", INT_MIN}};
  for (const auto& [text, number] : cases) EXPECT_EQ(DecimalToInt(text), number) << text;
}
}  // namespace
