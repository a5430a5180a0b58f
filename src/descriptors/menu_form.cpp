#include "descriptors/menu_form.hpp"

#include <optional>
#include <string>
#include <string_view>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "descriptors/choice_widgets.hpp"
#include "descriptors/descriptor_files.hpp"
#include "descriptors/menu_list.hpp"
#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

constexpr int kTextBoxMaxLength = 49;

enum class MenuResult { kRead, kUnreadable };

MenuResult ReadMenu(MenuDescriptor& menu) {
  std::optional<DescriptorText> file = DescriptorText::Load(card_paths::kControlMenu);
  if (!file) {
    WriteErrorLog("can't open file %s to read\n", card_paths::kControlMenu);
    return MenuResult::kUnreadable;
  }
  const MenuReading reading = ReadMenuZero(*file);
  if (reading.corrupted_line != 0) {
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

// A range needs both bounds; its precision defaults to "0".
bool ReadRange(std::string_view line, ParamDescriptor& record) {
  if (ExtractTagText(line, record.listText[0], "<min>", "</min>") != 0 ||
      ExtractTagText(line, record.listText[1], "<max>", "</max>") != 0) {
    return false;
  }
  if (ExtractTagText(line, record.listText[2], "<precision>", "</precision>") != 0) {
    record.listText[2] = "0";
  }
  record.listKind = kRangeList;
  record.listCount = 3;
  return true;
}

// Fills the working record from param.xml and the value file. Returns false,
// after logging why, when a step fails; the steps after it are not taken.
// `set_writable` tells whether "/set" takes a field for the parameter.
bool ReadParameter(const std::optional<ParamFile>& params, ParamDescriptor& record,
                   bool& set_writable) {
  const ParamRecord* const found = FindRecord(params, record.oid);
  if (found == nullptr) {
    return false;
  }
  const std::string_view line = found->line;
  if (ExtractTagText(line, record.name, "<name>", "</name>") != 0) {
    WriteErrorLog("corrupted file %s\n", card_paths::kParamDescriptors);
    return false;
  }
  FieldText text;
  if (ExtractTagText(line, text, "<type>", "</type>") != 0) {
    WriteErrorLog("corrupted file %s 1\n", card_paths::kParamDescriptors);
    return false;
  }
  record.type = DecimalToInt(text.view());
  FieldText value_file;
  if (ExtractTagText(line, value_file, "<file>", "</file>") != 0) {
    WriteErrorLog("corrupted file %s 2\n", card_paths::kParamDescriptors);
    return false;
  }
  if (!ReadValueFile(value_file, record.value)) {
    return false;
  }
  const std::optional<std::string_view> access = AccessText(line);
  record.access = FormShowsWritable(access) ? '1' : '0';
  set_writable = SetAcceptsField(access);
  if (ExtractTagText(line, text, "<display>", "</display>") == 0) {
    record.display = DecimalToInt(text.view());
  }
  switch (record.type) {
    case kEnumerationType:
      ParseOptionList(line, record.listKind, record.listCount, record.listText);
      break;
    case kDecimalType:
      ReadRange(line, record);
      break;
    case kIntegerType:
      if (!ReadRange(line, record)) {
        ParseOptionList(line, record.listKind, record.listCount, record.listText);
      }
      break;
    default:
      break;
  }
  return true;
}

void WriteTextBox(const ParamDescriptor& record) {
  const std::string_view oid(record.oid.c_str());
  response::Write("<input class=\"formInput\" type=\"textbox\" id=\"oid-");
  response::Write(oid);
  response::Write("\" name=\"oid-");
  response::Write(oid);
  response::Write("\" maxlength=\"");
  response::Write(std::to_string(kTextBoxMaxLength));
  response::Write("\" value=\"");
  PrintHtmlEscaped(record.value.view());
  response::Write("\"/>\n\n");
}

void WriteAddressBox(const OidText& oid, int box, std::string_view group) {
  // Written piece by piece: the same bytes as one formatted print, for a
  // fraction of its instructions.
  const std::string_view id(oid.c_str());
  const std::string number = std::to_string(box);
  response::Write("<input maxlength=\"3\" onchange=\"return validateIP('oid-");
  response::Write(id);
  response::Write(
      "', true);\" onkeypress=\"return allowOnly('0123456789', event);\" class=\"formInput\" "
      "type=\"textbox\" size=\"3\" id=\"");
  response::Write(number);
  response::Write("oid-");
  response::Write(id);
  response::Write("\" name=\"");
  response::Write(number);
  response::Write("oid-");
  response::Write(id);
  response::Write("\" value=\"");
  // Escaped like every writable value: the file may hold anything.
  response::Write(HtmlEscaped(group));
  response::Write("\"/>\r\n");
}

// One box per dotted group of the value, each group cut to three characters.
void WriteAddressBoxes(const ParamDescriptor& record) {
  int box = 0;
  std::string group;
  for (const char c : record.value.view()) {
    if (c != '.') {
      if (group.size() < 3) {
        group.push_back(c);
      }
      continue;
    }
    WriteAddressBox(record.oid, box, group);
    response::Write("&nbsp;.&nbsp;\r\n");
    ++box;
    group.clear();
  }
  WriteAddressBox(record.oid, box, group);
  response::Write("<script language=\"javascript\">writeMessageDiv('oid-");
  response::Write(std::string_view(record.oid.c_str()));
  response::Write("');</script>");
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
  switch (record.type) {
    case kIntegerType:
      if (record.listKind == kOptionList) {
        RenderChoiceList(record);
      } else if (record.listKind != kRangeList) {
        WriteTextBox(record);
      }
      break;
    case kDecimalType:
      if (record.listKind != kRangeList) {
        WriteTextBox(record);
      }
      break;
    case kTextType:
      WriteTextBox(record);
      break;
    case kEnumerationType:
      if (record.listKind == kOptionList) {
        RenderChoiceList(record);
      } else {
        WriteTextBox(record);
      }
      break;
    case kAddressType:
      WriteAddressBoxes(record);
      break;
    default:
      // Shown, not editable, yet writable through "/set", which accepts any
      // text for it: what was stored there must never become markup.
      response::Write(HtmlEscaped(record.value.view()));
      break;
  }
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
  // One working record for the menu. What a row shows comes only from its
  // own parameter: the fields a reading step may leave unset start over for
  // each; the option texts count only up to listCount.
  ParamDescriptor record;
  for (int i = 0; i < menu.count; ++i) {
    record.oid = menu.oids[i].view();
    record.name = "";
    record.type = 0;
    record.value = "";
    record.display = 0;
    record.listKind = kNoList;
    record.listCount = 0;
    bool set_writable = false;
    const bool complete = ReadParameter(params, record, set_writable);
    WriteRow(record, complete, set_writable);
  }
  return 0;
}

int RenderMenuForm() { return RenderMenuForm(LoadCardParamFile()); }
