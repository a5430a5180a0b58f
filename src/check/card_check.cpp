#include "check/card_check.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "card/card_file.hpp"
#include "card/card_paths.hpp"
#include "check/record_check.hpp"
#include "descriptors/descriptor_files.hpp"
#include "descriptors/menu_list.hpp"

namespace {

constexpr const char* kLongLine = "line longer than 1022 characters";

// A descriptor file of the image loaded by the program's reader `File`, or
// nothing after reporting why it cannot be read. Only a regular file is
// opened, as the program opens one, and none larger than it reads.
template <typename File>
std::optional<File> LoadDescriptor(const CardImage& image, const std::string& path,
                                   std::string_view card_path, CheckReport& report) {
  struct stat status {};
  std::optional<File> file;
  const std::optional<std::string> located = image.Locate(card_path);
  std::string why = "not a regular file";
  if (!located) {
    why = kLinkLoop;
  } else if (::stat(located->c_str(), &status) != 0) {
    why = std::strerror(errno);
  } else if (S_ISREG(status.st_mode) && !(file = File::Load(located->c_str()))) {
    why = errno == EFBIG ? "larger than " + std::to_string(kCardFileSizeBound) +
                               " bytes, which the program never reads"
                         : std::strerror(errno);
  }
  if (!file) {
    report.Error(path, 0, "cannot be read: " + why);
    report.unreadable = true;
  }
  return file;
}

// The lines that the reader of param.xml skips, and oids given twice.
void CheckParamLines(const ParamFile& params, const std::string& path, CheckReport& report) {
  for (const SkippedLine& cut : params.over_long_lines()) {
    // The oid as the form's log names it: from the line's first piece.
    const auto oid = FindTagText(cut.line.substr(0, MAX_LINE_LENGTH - 1), "<oid>", "</oid>");
    report.Error(path, cut.line_number,
                 std::string(kLongLine) + ": the program skips it" +
                     (oid ? ", and with it parameter " + Quoted(*oid) : std::string()));
  }
  for (const SkippedLine& skipped : params.lines_without_oid()) {
    if (skipped.line.find("<param>") != std::string_view::npos) {
      report.Error(path, skipped.line_number, "record without <oid>: the program skips it");
    }
  }
  for (const ParamRecord& record : params.records()) {
    const ParamRecord& first = *params.Find(record.oid);
    if (first.line_number != record.line_number) {
      report.Error(path, record.line_number,
                   "oid " + Quoted(record.oid) + " has a record on line " +
                       std::to_string(first.line_number) +
                       " already: the form shows that one, \"/set\" reads both");
    }
  }
}

// Every line of a file with its first piece, and whether the line limit cut it.
struct FileLine {
  std::string text;
  bool cut = false;
};

std::vector<FileLine> ReadLines(DescriptorText& file) {
  std::vector<FileLine> lines;
  std::string piece;
  while (file.ReadLine(piece) != -1) {
    if (file.LineNumber() == static_cast<int>(lines.size())) {
      lines.back().cut = true;
    } else {
      lines.push_back({piece});
    }
  }
  file.Rewind();
  return lines;
}

// What the form makes of menu "0": the oids it has a row with a field for,
// and the lines of the records it reads for them.
struct MenuUse {
  std::set<std::string, std::less<>> oids;
  std::set<int> record_lines;
};

// Reports the menu's faults and what the form reads of param.xml for it. A
// corrupted oid line makes the form give up on the menu: the rest is checked
// as the form will read it once that line is mended.
MenuUse CheckMenu(DescriptorText& file, const std::string& path, const ParamFile* params,
                  CheckReport& report) {
  const std::vector<FileLine> lines = ReadLines(file);
  for (int number = 1; number <= static_cast<int>(lines.size()); ++number) {
    if (lines[number - 1].cut) {
      report.Error(path, number, std::string(kLongLine) + ": the form reads it in pieces");
    }
  }
  const MenuReading reading = ReadMenuZero(file, CorruptedOidLine::kSkip);
  for (const int number : reading.corrupted_lines) {
    report.Error(path, number, "oid line without \"</oid>\": the form shows no parameter at all");
  }
  if (reading.first_dropped_line != 0) {
    report.Warning(path, reading.first_dropped_line,
                   "menu \"0\" holds more than 20 entries: the form shows no row for this one "
                   "or any after it");
  }
  MenuUse use;
  for (int i = 0; i < reading.menu.count; ++i) {
    const OidText& oid = reading.menu.oids[i];
    const int number = reading.lines[i];
    // Nothing when the oid came from a later piece of a line cut by the limit.
    const std::optional<std::string_view> written =
        FindTagText(lines[number - 1].text, "<oid>", "</oid>");
    if (written && written->size() > oid.size()) {
      report.Warning(path, number,
                     "oid is longer than 49 characters: the form cuts it to " + Quoted(oid.view()));
    }
    if (params == nullptr) {
      continue;
    }
    if (const ParamRecord* record = params->Find(oid.view())) {
      use.oids.emplace(oid.view());
      use.record_lines.insert(record->line_number);
    } else {
      report.Error(path, number,
                   "oid " + Quoted(oid.view()) +
                       " has no record in param.xml: the form shows an empty row for it");
    }
  }
  return use;
}

}  // namespace

CheckReport CheckCard(const CardImage& image) {
  CheckReport report;
  const std::string menu_path = image.OnCard(card_paths::kControlMenuOnCard);
  const std::string param_path = image.OnCard(card_paths::kParamDescriptorsOnCard);
  std::optional<DescriptorText> menu =
      LoadDescriptor<DescriptorText>(image, menu_path, card_paths::kControlMenuOnCard, report);
  const std::optional<ParamFile> params =
      LoadDescriptor<ParamFile>(image, param_path, card_paths::kParamDescriptorsOnCard, report);
  if (params) {
    CheckParamLines(*params, param_path, report);
  }
  std::optional<MenuUse> use;
  if (menu) {
    use = CheckMenu(*menu, menu_path, params ? &*params : nullptr, report);
  }
  if (!params) {
    return report;
  }
  ProgramFaults programs;
  for (const ParamRecord& record : params->records()) {
    CheckRecord(record,
                {image, param_path, record.line_number, use.has_value(),
                 use && use->oids.contains(record.oid),
                 use && use->record_lines.contains(record.line_number)},
                report, programs);
  }
  programs.Report(param_path, report);
  return report;
}
