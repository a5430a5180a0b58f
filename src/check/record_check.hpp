#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

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

// The writable records whose change program "/set" cannot run, by program
// and fault: one finding for every record of a program that is missing, not
// eleven alike.
class ProgramFaults {
 public:
  // `fault`: the program as named and why it cannot run.
  void Add(const std::string& fault, const ParamRecord& record);
  // One error per program and fault, on the line of its first record.
  void Report(const std::string& file, CheckReport& report) const;

 private:
  struct Records {
    int first_line;
    std::vector<std::string_view> oids;  // in param.xml's text
  };
  std::map<std::string, Records> faults_;
};

// Reports what the form and "/set" make of one record: its access, type,
// option list and texts, its change program when "/set" writes it (a fault
// of the program file goes to `programs`), and its value file when the form
// reads it.
void CheckRecord(const ParamRecord& record, const RecordPlace& place, CheckReport& report,
                 ProgramFaults& programs);
