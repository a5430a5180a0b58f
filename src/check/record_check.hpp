#pragma once

#include <string>
#include <string_view>

#include "check/card_image.hpp"
#include "check/check_report.hpp"
#include "descriptors/descriptor_files.hpp"

// One record of param.xml and what the checker knows about it.
struct RecordPlace {
  const CardImage& image;
  const std::string& file;  // param.xml, as found in the image
  int line = 0;
  bool menu_read = false;   // menu "0" could be read, so the two below are known
  bool in_menu = false;     // the form has a row, and so a field, for its oid
  bool form_reads = false;  // this is the record the form reads for that row
};

// Reports what the form and "/set" make of one record: its access, type,
// option list and texts, its change program when "/set" writes it, and its
// value file when the form reads it.
void CheckRecord(const ParamRecord& record, const RecordPlace& place, CheckReport& report);
