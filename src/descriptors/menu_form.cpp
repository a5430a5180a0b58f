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

// param.xml as the renderer reads it: loaded at the first parameter and
// scanned from its first line for each one, so a menu of twenty parameters
// costs one read of the file, not twenty.
class ParamFile {
 public:
  // Finds the parameter's record line; logs why when it cannot.
  bool FindRecord(const OidText& oid, std::string& line) {
    if (!loaded_) {
      text_ = DescriptorText::Load(card_paths::kParamDescriptors);
      loaded_ = true;
    }
    if (!text_) {
      WriteErrorLog("can't open file %s to read\n", card_paths::kParamDescriptors);
      return false;
    }
    text_->Rewind();
    const std::string key = "<param><oid>" + std::string(oid.view()) + "</oid>";
    while (true) {
      if (text_->ReadLine(line) == -1) {
        WriteErrorLog("Corrupted descriptor files");
        return false;
      }
      // Every record line ends its record; one that does not was cut by the
      // line limit, and the rest of the file can no longer be trusted.
      if (line.find("</param>") == std::string::npos) {
        WriteErrorLog(
            "the param descriptor file %s's oid %s exceeds MAX_LINE_LENGTH\n the line: %s\n",
            card_paths::kParamDescriptors, oid.c_str(), line.c_str());
        return false;
      }
      if (line.starts_with(key)) {
        return true;
      }
    }
  }

 private:
  bool loaded_ = false;
  std::optional<DescriptorText> text_;
};

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
bool ReadParameter(ParamFile& params, ParamDescriptor& record) {
  std::string line;
  if (!params.FindRecord(record.oid, line)) {
    return false;
  }
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
  if (ExtractTagText(line, text, "<access>", "</access>") == 0 && text.view().starts_with('0')) {
    record.access = '0';
  }
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
  response::Printf(
      "<input class=\"formInput\" type=\"textbox\" id=\"oid-%s\" name=\"oid-%s\" maxlength=\"%i\" "
      "value=\"",
      record.oid.c_str(), record.oid.c_str(), kTextBoxMaxLength);
  PrintHtmlEscaped(record.value.view());
  response::Write("\"/>\n\n");
}

void WriteAddressBox(const OidText& oid, int box, std::string_view group) {
  const char* const id = oid.c_str();
  response::Printf(
      "<input maxlength=\"3\" onchange=\"return validateIP('oid-%s', true);\" onkeypress=\"return "
      "allowOnly('0123456789', event);\" class=\"formInput\" type=\"textbox\" size=\"3\" "
      "id=\"%ioid-%s\" "
      "name=\"%ioid-%s\" value=\"",
      id, box, id, box, id);
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
  response::Printf("<script language=\"javascript\">writeMessageDiv('oid-%s');</script>",
                   record.oid.c_str());
}

void WriteValueCell(const ParamDescriptor& record) {
  if (record.access == '0') {
    response::Write(record.value.view());
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

void WriteRow(const ParamDescriptor& record, bool complete) {
  response::Write("<tr>");
  response::Write("<td valign=\"top\" class=\"formLabel\">");
  response::Write(record.name.view());
  response::Write(":</td><td valign=\"top\">");
  // A parameter that could not be read wholly gets an empty value cell, not
  // a widget: its type may be known while its value and access are not, and
  // an input would offer a read-only parameter for change.
  if (complete) {
    WriteValueCell(record);
  }
  response::Write("</td>");
  response::Write("</tr>\r\n");
}

}  // namespace

int RenderMenuForm() {
  MenuDescriptor menu;
  if (ReadMenu(menu) == MenuResult::kUnreadable) {
    return 1;
  }
  ParamFile params;
  for (int i = 0; i < menu.count; ++i) {
    // Each parameter starts from the empty record, so a row whose reading
    // failed never shows another parameter's data under this oid.
    ParamDescriptor record;
    record.oid = menu.oids[i].view();
    const bool complete = ReadParameter(params, record);
    WriteRow(record, complete);
  }
  return 0;
}
