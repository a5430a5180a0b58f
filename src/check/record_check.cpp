#include "check/record_check.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "descriptors/choice_widgets.hpp"
#include "descriptors/descriptor_files.hpp"

namespace {

constexpr const char* kNoRow = "the form shows its row without a value or an input";
constexpr const char* kNeverApplied = "so an Apply never changes it";

// A path as param.xml writes it and, when that differs, where it was looked for.
std::string Named(std::string_view path, const std::optional<std::string>& resolved) {
  return Quoted(path) + (!resolved || *resolved == path ? "" : " (" + *resolved + ")");
}

// What keeps the program from using the file at `path`; nothing when it can.
std::optional<std::string> FileFault(const std::optional<std::string>& path, bool executable) {
  struct stat status {};
  if (!path) {
    return std::string("leads outside the card image, or ") + kLinkLoop;
  }
  if (::stat(path->c_str(), &status) != 0) {
    return errno == ENOENT ? std::string("is missing")
                           : "cannot be read (" + std::string(std::strerror(errno)) + ")";
  }
  if (!S_ISREG(status.st_mode)) {
    return "is not a regular file";
  }
  if (executable && (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) {
    return "is not executable";
  }
  return std::nullopt;
}

std::optional<std::string_view> Field(std::string_view record, std::string_view tag) {
  const std::string open = std::string("<").append(tag).append(">");
  const std::string close = std::string("</").append(tag).append(">");
  return FindTagText(record, open, close);
}

// A text longer than the field the program keeps it in is cut there.
void CheckWidth(std::string_view text, std::size_t capacity, const std::string& what,
                const RecordPlace& place, CheckReport& report) {
  if (text.size() > capacity) {
    report.Warning(place.file, place.line,
                   what + " is longer than " + std::to_string(capacity) +
                       " characters: the program cuts it to " + Quoted(text.substr(0, capacity)));
  }
}

void CheckValueFile(std::string_view record, const RecordPlace& place, CheckReport& report) {
  const std::optional<std::string_view> path = Field(record, "file");
  if (!path) {
    report.Error(place.file, place.line, std::string("no <file>: ") + kNoRow);
    return;
  }
  CheckWidth(*path, FieldText::kCapacity, "<file>", place, report);
  const FieldText kept = *path;
  const std::optional<std::string> resolved = place.image.Resolve(kept.view());
  const std::string named = "value file " + Named(kept.view(), resolved);
  std::optional<std::string> fault = FileFault(resolved, false);
  std::string first_line;
  std::optional<int> length;
  if (!fault && !(length = ReadFirstDescriptorLine(resolved->c_str(), first_line))) {
    fault = "cannot be read (" + std::string(std::strerror(errno)) + ")";
  }
  if (fault) {
    report.Error(place.file, place.line, named + " " + *fault + ": " + kNoRow);
  } else if (*length == -1) {
    report.Warning(place.file, place.line,
                   named + " is empty, its first line is not KEY=value: " + kNoRow);
  } else if (first_line.find('=') == std::string::npos) {
    report.Warning(place.file, place.line,
                   "the first line of " + named + " is not KEY=value: the form shows no value");
  } else {
    CheckWidth(ValueOfValueLine(first_line), ValueText::kCapacity, "the value in " + named, place,
               report);
  }
}

void CheckProgram(std::string_view record, const RecordPlace& place, CheckReport& report) {
  const std::optional<std::string_view> prog = Field(record, "prog");
  if (!prog || prog->empty()) {
    report.Error(place.file, place.line,
                 "writable, but no <prog>: \"/set\" applies nothing for it");
    return;
  }
  const std::optional<std::string> resolved = place.image.Resolve(*prog);
  if (const std::optional<std::string> fault = FileFault(resolved, true)) {
    report.Error(place.file, place.line,
                 "writable, but its <prog> " + Named(*prog, resolved) + " " + *fault +
                     ": \"/set\" applies nothing for it");
  }
}

// The form and "/set" judge access each its own way (FormShowsWritable,
// SetAcceptsField); without <access> both write.
struct Access {
  bool form_writable = true;
  bool set_writable = true;
};

Access CheckAccess(std::string_view record, const RecordPlace& place, CheckReport& report) {
  const std::optional<std::string_view> text = AccessText(record);
  const Access access{FormShowsWritable(text), SetAcceptsField(text)};
  if (access.form_writable && !access.set_writable) {
    report.Warning(place.file, place.line,
                   "access " + Quoted(text.value_or("")) +
                       ": the form offers an input for it, while \"/set\" takes it as read-only "
                       "and ignores what is sent");
  } else if (!access.form_writable && access.set_writable) {
    report.Warning(place.file, place.line,
                   "access " + Quoted(text.value_or("")) +
                       ": the form shows it read-only, while \"/set\" takes it as writable and "
                       "applies a value sent for it");
  }
  return access;
}

bool HasWidget(int type) { return type >= kIntegerType && type <= kAddressType; }

// A writable parameter that the form shows without a field is never sent.
void CheckNeverSent(std::string_view record, int type, const RecordPlace& place,
                    CheckReport& report) {
  const bool range = (type == kIntegerType || type == kDecimalType) && Field(record, "min") &&
                     Field(record, "max");
  std::string why;
  if (!place.in_menu) {
    if (!place.menu_read) {
      return;
    }
    why = "writable, but not in menu \"0\": the form has no field for it, ";
  } else if (type == 5) {
    why = "writable display text (type 5): the form shows no input for it, ";
  } else if (range) {
    why = "writable number with <min> and <max>: the form leaves its value cell empty, ";
  } else {
    return;
  }
  report.Warning(place.file, place.line, why + kNeverApplied);
}

void CheckOptions(std::string_view record, const RecordPlace& place, CheckReport& report) {
  ParamDescriptor scratch;
  ParseOptionList(record, scratch.listKind, scratch.listCount, scratch.listText);
  if (scratch.listKind != kOptionList) {
    report.Warning(place.file, place.line,
                   "enumeration (type 8) without a usable option list: the form shows a text "
                   "box for it");
  } else if (scratch.listCount == 0) {
    report.Warning(place.file, place.line,
                   "enumeration (type 8) without a whole <option>: the form shows no choice");
  }
}

}  // namespace

void CheckRecord(std::string_view record, const RecordPlace& place, CheckReport& report) {
  const std::optional<std::string_view> name = Field(record, "name");
  if (name) {
    CheckWidth(*name, NameText::kCapacity, "<name>", place, report);
  } else if (place.form_reads) {
    report.Error(place.file, place.line, std::string("no <name>: ") + kNoRow);
  }
  const std::optional<std::string_view> type_text = Field(record, "type");
  const int type = type_text ? DecimalToInt(FieldText(*type_text).view()) : 0;
  if (!type_text && place.form_reads) {
    report.Error(place.file, place.line, std::string("no <type>: ") + kNoRow);
  }
  const Access access = CheckAccess(record, place, report);
  if (type_text && !HasWidget(type)) {
    report.Warning(place.file, place.line,
                   "type " + Quoted(*type_text) +
                       " has no widget: the form shows the value as text" +
                       (access.set_writable ? std::string(", ") + kNeverApplied : ""));
  } else if (type_text && access.form_writable && access.set_writable) {
    CheckNeverSent(record, type, place, report);
  }
  if (type == kEnumerationType) {
    CheckOptions(record, place, report);
  }
  if (access.set_writable) {
    CheckProgram(record, place, report);
  }
  if (place.form_reads) {
    CheckValueFile(record, place, report);
  }
}
