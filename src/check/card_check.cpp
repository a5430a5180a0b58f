#include "check/card_check.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "card/card_paths.hpp"
#include "check/record_check.hpp"
#include "descriptors/descriptor_files.hpp"
#include "descriptors/menu_list.hpp"

namespace {

constexpr const char* kLongLine = "line longer than 1022 characters";

// A descriptor file whole, or nothing after reporting why it cannot be read.
// Only a regular file is opened, so a check never waits on a FIFO.
std::optional<DescriptorText> LoadDescriptor(const std::string& path, CheckReport& report) {
  struct stat status {};
  std::optional<DescriptorText> text;
  const char* why = "is not a regular file";
  if (::stat(path.c_str(), &status) != 0) {
    why = std::strerror(errno);
  } else if (S_ISREG(status.st_mode) && !(text = DescriptorText::Load(path.c_str()))) {
    why = std::strerror(errno);
  }
  if (!text) {
    report.Error(path, 0, std::string("cannot be read: ") + why);
    report.unreadable = true;
  }
  return text;
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

struct Record {
  int line = 0;
  std::string text;
  std::string oid;
  bool form_reads = false;
};

// What the form makes of menu "0": the oids it has a row for, once read.
using MenuOids = std::optional<std::set<std::string, std::less<>>>;

// The records of param.xml as the program takes them: lines that fit the line
// limit and hold an <oid>; every other line is skipped.
std::vector<Record> ReadRecords(DescriptorText& file, const std::string& path,
                                CheckReport& report) {
  std::vector<Record> records;
  std::map<std::string, int, std::less<>> first_line_of;
  const std::vector<FileLine> lines = ReadLines(file);
  for (int number = 1; number <= static_cast<int>(lines.size()); ++number) {
    const FileLine& line = lines[number - 1];
    const std::optional<std::string_view> oid = FindTagText(line.text, "<oid>", "</oid>");
    if (line.cut) {
      report.Error(path, number,
                   std::string(kLongLine) + ": the program skips it" +
                       (oid ? ", and with it parameter " + Quoted(*oid) : std::string()));
    } else if (!oid) {
      if (line.text.find("<param>") != std::string::npos) {
        report.Error(path, number, "record without <oid>: the program skips it");
      }
    } else {
      const auto [first, fresh] = first_line_of.emplace(*oid, number);
      if (!fresh) {
        report.Error(path, number,
                     "oid " + Quoted(*oid) + " has a record on line " +
                         std::to_string(first->second) +
                         " already: the form shows that one, \"/set\" reads both");
      }
      records.push_back({number, line.text, std::string(*oid)});
    }
  }
  return records;
}

// The record the form shows for a menu entry: the first whose line starts
// with "<param><oid>", the oid and "</oid>".
Record* FormRecord(std::vector<Record>& records, std::string_view oid) {
  const std::string key = "<param><oid>" + std::string(oid) + "</oid>";
  for (Record& record : records) {
    if (record.text.starts_with(key)) {
      return &record;
    }
  }
  return nullptr;
}

// Reports the menu's faults and marks the records the form reads. Nothing
// when the form gives up on the menu.
MenuOids CheckMenu(DescriptorText& file, const std::string& path, std::vector<Record>* records,
                   CheckReport& report) {
  const std::vector<FileLine> lines = ReadLines(file);
  for (int number = 1; number <= static_cast<int>(lines.size()); ++number) {
    if (lines[number - 1].cut) {
      report.Error(path, number, std::string(kLongLine) + ": the form reads it in pieces");
    }
  }
  const MenuReading reading = ReadMenuZero(file);
  if (reading.corrupted_line != 0) {
    report.Error(path, reading.corrupted_line,
                 "oid line without \"</oid>\": the form shows no parameter at all");
    return std::nullopt;
  }
  MenuOids shown(std::in_place);
  if (reading.first_dropped_line != 0) {
    report.Warning(path, reading.first_dropped_line,
                   "menu \"0\" holds more than 20 entries: the form shows no row for this one "
                   "or any after it");
  }
  for (int i = 0; i < reading.menu.count; ++i) {
    const OidText& oid = reading.menu.oids[i];
    const int number = reading.lines[i];
    const std::string_view written = *FindTagText(lines[number - 1].text, "<oid>", "</oid>");
    if (written.size() > oid.size()) {
      report.Warning(path, number,
                     "oid is longer than 49 characters: the form cuts it to " + Quoted(oid.view()));
    }
    if (records == nullptr) {
      continue;
    }
    if (Record* record = FormRecord(*records, oid.view())) {
      record->form_reads = true;
      shown->emplace(oid.view());
    } else {
      report.Error(path, number,
                   "oid " + Quoted(oid.view()) +
                       " has no record in param.xml: the form shows an empty row for it");
    }
  }
  return shown;
}

}  // namespace

CheckReport CheckCard(const CardImage& image) {
  CheckReport report;
  const std::string menu_path = image.OnCard(card_paths::kControlMenuOnCard);
  const std::string param_path = image.OnCard(card_paths::kParamDescriptorsOnCard);
  std::optional<DescriptorText> menu = LoadDescriptor(menu_path, report);
  std::optional<DescriptorText> params = LoadDescriptor(param_path, report);
  std::optional<std::vector<Record>> records;
  if (params) {
    records = ReadRecords(*params, param_path, report);
  }
  MenuOids shown;
  if (menu) {
    shown = CheckMenu(*menu, menu_path, records ? &*records : nullptr, report);
  }
  for (const Record& record : records.value_or(std::vector<Record>())) {
    CheckRecord(record.text,
                {image, param_path, record.line, shown.has_value(),
                 shown && shown->contains(record.oid), record.form_reads},
                report);
  }
  return report;
}
