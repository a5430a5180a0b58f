// Descriptor lines: a param.xml-like file read line by line through the line
// limit, every field of each line extracted into its fixed-width field, the
// option list read and written as a choice widget, the text escaped, and the
// value-file and number readings.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "descriptors/choice_widgets.hpp"
#include "descriptors/descriptor_files.hpp"
#include "fuzz_support.hpp"
#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

constexpr const char* kTags[][2] = {
    {"<oid>", "</oid>"},       {"<name>", "</name>"},
    {"<type>", "</type>"},     {"<file>", "</file>"},
    {"<access>", "</access>"}, {"<display>", "</display>"},
    {"<prog>", "</prog>"},     {"<min>", "</min>"},
    {"<max>", "</max>"},       {"<precision>", "</precision>"},
};

// Escaped text holds no character that could end an attribute or open markup.
void CheckEscaped(std::string_view escaped) {
  for (const char c : escaped) {
    FUZZ_CHECK(c != '"' && c != '<' && c != '>' && c != '%');
  }
}

void ReadLine(std::string_view line) {
  ParamDescriptor record;
  ExtractTagText(line, record.oid, "<oid>", "</oid>");
  ExtractTagText(line, record.name, "<name>", "</name>");
  ValueText value;
  for (const auto& tags : kTags) {
    const int found = ExtractTagText(line, value, tags[0], tags[1]);
    FUZZ_CHECK(found == 0 || found == 1);
    FUZZ_CHECK(value.size() <= ValueText::kCapacity);
    FieldText field;
    if (ExtractTagText(line, field, tags[0], tags[1]) == 0) {
      FUZZ_CHECK(value.view().starts_with(field.view()));
      record.display = DecimalToInt(field.view());
    }
  }
  record.value = ValueOfValueLine(line);
  CheckEscaped(HtmlEscaped(line));

  const int listed = ParseOptionList(line, record.listKind, record.listCount, record.listText);
  FUZZ_CHECK(listed == 0 || (listed == 1 && record.listKind == kNoList && record.listCount == 0));
  FUZZ_CHECK(record.listCount <= kOptionLimit);
  response::Capture capture;
  PrintHtmlEscaped(line);
  FUZZ_CHECK(capture.Text().size() <= 6 * ValueText::kCapacity);
  CheckEscaped(capture.Text());
  if (listed == 0) {
    FUZZ_CHECK(record.listKind == kOptionList);
    RenderChoiceList(record);
  }
}

// param.xml's reader puts every line in exactly one of its three lists, in
// file order; a record fits a line buffer and holds its oid.
void CheckParamFile(const std::string& bytes) {
  const ParamFile file(std::vector<char>(bytes.begin(), bytes.end()));
  std::vector<int> numbers;
  for (const SkippedLine& line : file.lines_without_oid()) {
    FUZZ_CHECK(line.line.size() <= MAX_LINE_LENGTH - 2);
    FUZZ_CHECK(!FindTagText(line.line, "<oid>", "</oid>"));
    numbers.push_back(line.line_number);
  }
  for (const ParamRecord& record : file.records()) {
    FUZZ_CHECK(record.line.size() <= MAX_LINE_LENGTH - 2);
    FUZZ_CHECK(record.line.find('\n') == std::string_view::npos);
    FUZZ_CHECK(FindTagText(record.line, "<oid>", "</oid>") == record.oid);
    FUZZ_CHECK(file.Find(record.oid) != nullptr);
    numbers.push_back(record.line_number);
  }
  for (const SkippedLine& line : file.over_long_lines()) {
    FUZZ_CHECK(line.line.size() > MAX_LINE_LENGTH - 2);
    numbers.push_back(line.line_number);
  }
  std::sort(numbers.begin(), numbers.end());
  const auto lines = std::count(bytes.begin(), bytes.end(), '\n') + (bytes.back() != '\n');
  FUZZ_CHECK(static_cast<long>(numbers.size()) == lines);
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    FUZZ_CHECK(numbers[i] == static_cast<int>(i) + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string bytes(fuzz_support::AsText(data, size));
  DescriptorText text(bytes);
  std::string line;
  int length = 0;
  std::size_t consumed = 0;
  while ((length = text.ReadLine(line)) != -1) {
    FUZZ_CHECK(length >= 0 && length <= MAX_LINE_LENGTH - 1);
    FUZZ_CHECK(static_cast<std::size_t>(length) == line.size());
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    consumed += line.size();
    ReadLine(line);
  }
  // Every byte but the line feeds arrives in some line.
  FUZZ_CHECK(consumed + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) ==
             size);
  CheckParamFile(bytes);
  return 0;
}
