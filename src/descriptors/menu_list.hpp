#pragma once

#include <array>
#include <vector>

#include "descriptors/descriptor_files.hpp"

// The oid list of menu "0" of control_menu.xml, the only menu the form shows,
// with the line each entry stands on: read once for the form and the same way
// for the checker of a card's descriptor files.
struct MenuReading {
  MenuDescriptor menu;
  std::array<int, kMenuOidLimit> lines{};  // the 1-based line of each oid
  int first_dropped_line = 0;              // the first oid line met with the list full; 0: none
  // The oid lines without "</oid>": the form gives up at the first, so the
  // reading stops there unless it is to go on past them.
  std::vector<int> corrupted_lines;
};

enum class CorruptedOidLine { kStop, kSkip };

// Collects the oids of every block of menu "0", in file order. The line that
// ends a block is consumed with it, so it is never taken for the next header.
// Reading stops at a corrupted oid line, as the form does, or skips it (the
// checker, which reports every fault of the menu).
MenuReading ReadMenuZero(DescriptorText& file,
                         CorruptedOidLine corrupted = CorruptedOidLine::kStop);
