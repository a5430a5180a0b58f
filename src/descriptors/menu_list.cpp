#include "descriptors/menu_list.hpp"

#include <string>
#include <string_view>

namespace {

constexpr std::string_view kMenuHeader = "<menu><mid>0</mid>";
constexpr std::string_view kOidTag = "<oid>";

}  // namespace

MenuReading ReadMenuZero(DescriptorText& file) {
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
        reading.corrupted_line = file.LineNumber();
        return reading;
      }
      reading.lines[menu.count] = file.LineNumber();
      ++menu.count;
    }
  }
  return reading;
}
