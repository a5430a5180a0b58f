#include "descriptors/menu_list.hpp"

#include <string>
#include <string_view>

namespace {

constexpr std::string_view kMenuHeader = "<menu><mid>0</mid>";
constexpr std::string_view kOidTag = "<oid>";

}  // namespace

MenuReading ReadMenuZero(DescriptorText& file, CorruptedOidLine corrupted) {
  MenuReading reading;
  MenuDescriptor& menu = reading.menu;
  std::string line;
  while (file.ReadLine(line) != -1) {
    if (!line.starts_with(kMenuHeader)) {
      continue;
    }
    while (file.ReadLine(line) != -1 && line.starts_with(kOidTag)) {
      if (menu.count == static_cast<int>(kMenuOidLimit)) {
        if (reading.first_dropped_line == 0) {
          reading.first_dropped_line = file.LineNumber();
        }
        break;
      }
      if (ExtractTagText(line, menu.oids[menu.count], kOidTag, "</oid>") != 0) {
        reading.corrupted_lines.push_back(file.LineNumber());
        if (corrupted == CorruptedOidLine::kStop) {
          return reading;
        }
        continue;
      }
      reading.lines[menu.count] = file.LineNumber();
      ++menu.count;
    }
  }
  return reading;
}
