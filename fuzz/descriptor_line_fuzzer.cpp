// Descriptor lines: a param.xml-like file read line by line through the line
// limit, every element of each line extracted into a field of each width,
// the option list read and written as a choice widget, the text escaped, and
// the value-file and number readings.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "descriptors/choice_widgets.hpp"
#include "descriptors/descriptor_files.hpp"
#include "fuzz_support.hpp"
#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kElements[] = {"oid",     "name", "type", "file", "access",
                                          "display", "prog", "min",  "max",  "precision"};

// Escaped text holds no character that could end an attribute or open markup.
void CheckEscaped(std::string_view escaped) {
  FUZZ_CHECK(escaped.find_first_of("\"<>%") == npos);
}

void ReadLine(std::string_view line) {
  ParamDescriptor record;
  ExtractTagText(line, record.oid, "<oid>", "</oid>");
  ExtractTagText(line, record.name, "<name>", "</name>");
  for (const std::string_view element : kElements) {
    const std::string open = "<" + std::string(element) + ">", close = "</" + open.substr(1);
    ValueText value;
    FieldText field;
    // A narrower field is cut from the same text.
    if (ExtractTagText(line, field, open, close) == 0) {
      FUZZ_CHECK(ExtractTagText(line, value, open, close) == 0 &&
                 value.view().starts_with(field.view()));
      record.display = DecimalToInt(field.view());
    }
  }
  record.value = ValueOfValueLine(line);
  CheckEscaped(HtmlEscaped(line));
  response::Capture capture;
  PrintHtmlEscaped(line);
  CheckEscaped(capture.Text());
  if (ParseOptionList(line, record.listKind, record.listCount, record.listText) == 0) {
    FUZZ_CHECK(record.listCount <= kOptionLimit);
    RenderChoiceList(record);
  }
}

// param.xml's reader puts every line in exactly one of its three lists, in
// file order; a record fits a line buffer and holds its oid.
void CheckParamFile(const std::string& bytes) {
  const ParamFile file(std::vector<char>(bytes.begin(), bytes.end()));
  std::vector<int> numbers;
  for (const ParamRecord& record : file.records()) {
    FUZZ_CHECK(record.line.size() <= MAX_LINE_LENGTH - 2 && record.line.find('\n') == npos &&
               FindTagText(record.line, "<oid>", "</oid>") == record.oid && file.Find(record.oid));
    numbers.push_back(record.line_number);
  }
  for (const SkippedLine& line : file.lines_without_oid()) {
    FUZZ_CHECK(line.line.size() <= MAX_LINE_LENGTH - 2 &&
               !FindTagText(line.line, "<oid>", "</oid>"));
    numbers.push_back(line.line_number);
  }
  for (const SkippedLine& line : file.over_long_lines()) {
    FUZZ_CHECK(line.line.size() > MAX_LINE_LENGTH - 2);
    numbers.push_back(line.line_number);
  }
  std::sort(numbers.begin(), numbers.end());
  std::vector<int> lines(std::count(bytes.begin(), bytes.end(), '\n') +
                         (!bytes.empty() && bytes.back() != '\n'));
  std::iota(lines.begin(), lines.end(), 1);
  FUZZ_CHECK(numbers == lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(fuzz_support::AsText(data, size));
  DescriptorText text(bytes);
  std::string line;
  std::size_t consumed = 0;
  while (text.ReadLine(line) != -1) {
    FUZZ_CHECK(line.size() <= MAX_LINE_LENGTH - 1 && line.find('\n') == std::string::npos);
    consumed += line.size();
    ReadLine(line);
  }
  // A long line is cut into lines, never lost: every byte but the line feeds arrives.
  FUZZ_CHECK(consumed + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) ==
             size);
  CheckParamFile(bytes);
  return 0;
}
