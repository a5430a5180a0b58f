// Whole descriptor files through param.xml's reader and the form renderer,
// which reads every record of the menu line by line into its fixed-width
// fields, option lists, choice widgets and escaped texts: the input is
// control_menu.xml, param.xml and one value file (named "v" in param.xml),
// separated by a line "--8<--". Value-file paths are kept inside the sandbox
// (no absolute path, no "..") so that no input can make it read a device or a
// pipe. What each record renders as is for the unit tables.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "descriptors/descriptor_files.hpp"
#include "descriptors/menu_form.hpp"
#include "fuzz_support.hpp"
#include "response/response_output.hpp"

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kFields[kRecordFieldCount] = {
    "oid", "name", "type", "file", "access", "display", "prog", "min", "max", "precision"};

// param.xml's reader puts every line in exactly one of its three lists, in
// file order; a record fits a line buffer and holds its oid.
void CheckParamFile(std::string_view bytes) {
  const ParamFile file{FileBytes(bytes)};
  std::vector<int> numbers;
  for (const ParamRecord& record : file.records()) {
    FUZZ_CHECK(record.line.size() <= MAX_LINE_LENGTH - 2 && record.line.find('\n') == npos &&
               FindTagText(record.line, "<oid>", "</oid>") == record.oid && file.Find(record.oid));
    // The places the reader kept are the fields' tags, in the same order.
    for (std::size_t field = 0; field < kRecordFieldCount; ++field) {
      const std::string open = "<" + std::string(kFields[field]) + ">";
      FUZZ_CHECK(record.Field(static_cast<RecordField>(field)) ==
                 FindTagText(record.line, open, "</" + open.substr(1)));
    }
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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::EnterFuzzCard();
  // The log stays open for the whole run and is emptied after every input.
  OpenErrorLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts = fuzz_support::Split(fuzz_support::AsText(data, size), "\n--8<--\n", 3);
  const std::string_view params = parts.size() > 1 ? parts[1] : std::string_view();
  CheckParamFile(params);
  if (params.find("<file>/") != npos || params.find("..") != npos) return 0;
  const auto etc = fuzz_support::CardRoot() / "brix" / "etc";
  fuzz_support::WriteFile(etc / "control_menu.xml", parts[0]);
  fuzz_support::WriteFile(etc / "param.xml", params);
  fuzz_support::WriteFile("v", parts.size() > 2 ? parts[2] : std::string_view());
  response::Capture capture;
  const int result = RenderMenuForm();
  const std::string& rows = capture.Text();
  // Nothing but whole rows, and none when the form fails.
  FUZZ_CHECK(rows.empty() ||
             (result == 0 && rows.starts_with("<tr><td valign=\"top\" class=\"formLabel\">") &&
              rows.ends_with("</td></tr>\r\n")));
  // The log is opened for appending: emptied by its name, it is written from its start again.
  FUZZ_CHECK(::truncate(card_paths::kErrorLog, 0) == 0 || errno == ENOENT);
  return 0;
}
