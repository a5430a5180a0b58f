#include "descriptors/menu_form.hpp"

#include <optional>
#include <string>
#include <string_view>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "descriptors/descriptor_files.hpp"
#include "descriptors/menu_list.hpp"
#include "descriptors/param_kinds.hpp"
#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

enum class MenuResult { kRead, kUnreadable };

MenuResult ReadMenu(MenuDescriptor& menu) {
  std::optional<DescriptorText> file = DescriptorText::Load(card_paths::kControlMenu);
  if (!file) {
    WriteErrorLog("can't open file %s to read\n", card_paths::kControlMenu);
    return MenuResult::kUnreadable;
  }
  const MenuReading reading = ReadMenuZero(*file);
  if (!reading.corrupted_lines.empty()) {
    WriteErrorLog("corrupted file %s\n", card_paths::kControlMenu);
    return MenuResult::kUnreadable;
  }
  menu = reading.menu;
  return MenuResult::kRead;
}

// The record of the parameter; logs why when there is none.
const ParamRecord* FindRecord(const std::optional<ParamFile>& params, const OidText& oid) {
  if (!params) {
    WriteErrorLog("can't open file %s to read\n", card_paths::kParamDescriptors);
    return nullptr;
  }
  const ParamRecord* record = params->Find(oid.view());
  if (record == nullptr) {
    WriteErrorLog("Corrupted descriptor files");
  }
  return record;
}

bool ReadValueFile(const FieldText& path, ValueText& value) {
  std::string line;
  const std::optional<int> length = ReadFirstDescriptorLine(path.c_str(), line);
  if (!length) {
    WriteErrorLog("can't open file %s to read\n", path.c_str());
    return false;
  }
  if (*length == -1) {
    WriteErrorLog("can read file %s\n", path.c_str());
    return false;
  }
  value = ValueOfValueLine(line);
  return true;
}

// Checks the fields the form cannot do without and reads the value file
// into `record`, described from `found`. Returns false, after logging why,
// when a step fails; the steps after it are not taken. `set_writable` tells
// whether "/set" takes a field for the parameter.
bool ReadValue(const ParamRecord& found, ParamDescriptor& record, bool& set_writable) {
  if (!found.Field(RecordField::kName)) {
    WriteErrorLog("corrupted file %s\n", card_paths::kParamDescriptors);
    return false;
  }
  if (!found.Field(RecordField::kType)) {
    WriteErrorLog("corrupted file %s 1\n", card_paths::kParamDescriptors);
    return false;
  }
  FieldText value_file;
  if (ExtractField(found, RecordField::kFile, value_file) != 0) {
    WriteErrorLog("corrupted file %s 2\n", card_paths::kParamDescriptors);
    return false;
  }
  if (!ReadValueFile(value_file, record.value)) {
    return false;
  }
  set_writable = SetAcceptsField(found.Field(RecordField::kAccess));
  return true;
}

void WriteValueCell(const ParamDescriptor& record, bool set_writable) {
  if (record.access == '0') {
    // Shown as stored only when "/set" cannot store markup there either
    // (access "01" is read-only here, writable there).
    if (set_writable) {
      response::Write(HtmlEscaped(record.value.view()));
    } else {
      response::Write(record.value.view());
    }
    return;
  }
  KindOf(record.type).write_cell(record);
}

void WriteRow(const ParamDescriptor& record, bool complete, bool set_writable) {
  response::Write("<tr>");
  response::Write("<td valign=\"top\" class=\"formLabel\">");
  response::Write(record.name.view());
  response::Write(":</td><td valign=\"top\">");
  // A parameter that could not be read wholly gets an empty value cell, not
  // a widget: its type may be known while its value and access are not, and
  // an input would offer a read-only parameter for change.
  if (complete) {
    WriteValueCell(record, set_writable);
  }
  response::Write("</td>");
  response::Write("</tr>\r\n");
}

}  // namespace

int RenderMenuForm(const std::optional<ParamFile>& params) {
  MenuDescriptor menu;
  if (ReadMenu(menu) == MenuResult::kUnreadable) {
    return 1;
  }
  // What a row shows comes only from its own parameter: a row that could
  // not be read wholly shows no more than its name.
  for (int i = 0; i < menu.count; ++i) {
    const ParamRecord* const found = FindRecord(params, menu.oids[i]);
    ParamDescriptor record = found != nullptr ? DescribeParam(*found) : ParamDescriptor();
    record.oid = menu.oids[i].view();
    bool set_writable = false;
    const bool complete = found != nullptr && ReadValue(*found, record, set_writable);
    WriteRow(record, complete, set_writable);
  }
  return 0;
}

int RenderMenuForm() { return RenderMenuForm(LoadCardParamFile()); }

bool ReadValueInForce(const ParamRecord& found, ValueText& value) {
  FieldText value_file;
  return ExtractField(found, RecordField::kFile, value_file) == 0 &&
         ReadValueFile(value_file, value);
}
