#include "check/record_check.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "descriptors/descriptor_files.hpp"
#include "descriptors/param_kinds.hpp"

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

// A text longer than the field the program keeps it in is cut there.
void CheckWidth(std::string_view text, std::size_t capacity, const std::string& what,
                const RecordPlace& place, CheckReport& report) {
  if (text.size() > capacity) {
    report.Warning(place.file, place.line,
                   what + " is longer than " + std::to_string(capacity) +
                       " characters: the program cuts it to " + Quoted(text.substr(0, capacity)));
  }
}

void CheckValueFile(const ParamRecord& record, const RecordPlace& place, CheckReport& report) {
  const std::optional<std::string_view> path = record.Field(RecordField::kFile);
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

void CheckProgram(const ParamRecord& record, const RecordPlace& place, CheckReport& report,
                  ProgramFaults& programs) {
  const std::optional<std::string_view> prog = record.Field(RecordField::kProg);
  if (!prog || prog->empty()) {
    report.Error(place.file, place.line,
                 "writable, but no <prog>: \"/set\" applies nothing for it");
    return;
  }
  const std::optional<std::string> resolved = place.image.Resolve(*prog);
  if (const std::optional<std::string> fault = FileFault(resolved, true)) {
    programs.Add(Named(*prog, resolved) + " " + *fault, record);
  }
}

// The form and "/set" judge access each its own way (FormShowsWritable,
// SetAcceptsField); without <access> both write.
struct Access {
  bool form_writable = true;
  bool set_writable = true;
};

Access CheckAccess(const ParamRecord& record, const RecordPlace& place, CheckReport& report) {
  const std::optional<std::string_view> text = record.Field(RecordField::kAccess);
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

// A writable parameter that the form shows without a field is never sent.
void CheckNeverSent(const ParamDescriptor& param, const RecordPlace& place, CheckReport& report) {
  const ParamKind& kind = KindOf(param.type);
  std::string why;
  if (!place.in_menu) {
    if (!place.menu_read) {
      return;
    }
    why = "writable, but not in menu \"0\": the form has no field for it, ";
  } else if (!kind.sends_field(param)) {
    why = "writable " + std::string(kind.name) + " (type " + std::to_string(param.type) +
          (param.listKind == kRangeList ? ") with <min> and <max>" : ")") +
          ": the form shows no input for it, ";
  } else {
    return;
  }
  report.Warning(place.file, place.line, why + kNeverApplied);
}

void CheckOptions(const ParamDescriptor& param, const RecordPlace& place, CheckReport& report) {
  const std::string what =
      std::string(KindOf(param.type).name) + " (type " + std::to_string(param.type) + ")";
  if (param.listKind != kOptionList) {
    report.Warning(place.file, place.line,
                   what + " without a usable option list: the form shows a text box for it");
  } else if (param.listCount == 0) {
    report.Warning(place.file, place.line,
                   what + " without a whole <option>: the form shows no choice");
  }
}

// A lookup that sends the field's name as its value, cut as "/set" cuts a
// field: it lets the checker ask a kind's own judge about a value.
SentField SendName(std::string_view name, std::string& text) {
  constexpr std::size_t kSentCharacters = 49;
  text = name.substr(0, kSentCharacters);
  return SentField::kSent;
}

// An option that "/set" refuses when the form sends it can never be applied.
void CheckChoiceValues(const ParamRecord& record, const ParamKind& kind, const RecordPlace& place,
                       CheckReport& report) {
  const std::optional<OptionList> choices = ChoicesOf(kind, record);
  if (!choices) {
    return;
  }
  std::string refused;
  for (std::size_t i = 0; i < choices->count; ++i) {
    const std::string_view value = choices->texts[2 * i + 1];
    if (kind.judge(SendName, value, OfferedChoices(kind, record)).verdict !=
        SubmittedValue::Verdict::kAccepted) {
      refused += (refused.empty() ? "" : ", ") + Quoted(value);
    }
  }
  if (!refused.empty()) {
    report.Warning(place.file, place.line,
                   "option value " + refused +
                       " that \"/set\" refuses: the form offers it, yet choosing it never applies");
  }
}

}  // namespace

void ProgramFaults::Add(const std::string& fault, const ParamRecord& record) {
  Records& records = faults_.try_emplace(fault, Records{record.line_number, {}}).first->second;
  records.oids.push_back(record.oid);
}

void ProgramFaults::Report(const std::string& file, CheckReport& report) const {
  constexpr std::size_t kNamed = 5;  // the other oids a finding names; the rest are counted
  for (const auto& [fault, records] : faults_) {
    std::string text = "writable, but its <prog> " + fault;
    const std::size_t others = records.oids.size() - 1;
    if (others > 0) {
      text += ", as for " + std::to_string(others) + " more (";
      for (std::size_t i = 1; i <= std::min(others, kNamed); ++i) {
        text += (i == 1 ? "" : ", ") + Quoted(records.oids[i]);
      }
      text += others > kNamed ? " and " + std::to_string(others - kNamed) + " more)" : ")";
    }
    report.Error(file, records.first_line,
                 text + ": \"/set\" applies nothing for " + (others > 0 ? "them" : "it"));
  }
}

void CheckRecord(const ParamRecord& record, const RecordPlace& place, CheckReport& report,
                 ProgramFaults& programs) {
  const ParamDescriptor param = DescribeParam(record);
  const ParamKind& kind = KindOf(param.type);
  if (const std::optional<std::string_view> name = record.Field(RecordField::kName)) {
    CheckWidth(*name, NameText::kCapacity, "<name>", place, report);
  } else if (place.form_reads) {
    report.Error(place.file, place.line, std::string("no <name>: ") + kNoRow);
  }
  const std::optional<std::string_view> type_text = record.Field(RecordField::kType);
  if (!type_text && place.form_reads) {
    report.Error(place.file, place.line, std::string("no <type>: ") + kNoRow);
  }
  const Access access = CheckAccess(record, place, report);
  if (type_text && !kind.type && param.type != kDisplayTextType) {
    report.Warning(place.file, place.line,
                   "type " + Quoted(*type_text) +
                       " is no type the program knows: the form shows the value as text" +
                       (access.set_writable ? std::string(", ") + kNeverApplied : ""));
  } else if (type_text && access.form_writable && access.set_writable) {
    CheckNeverSent(param, place, report);
  }
  if (kind.needs_options) {
    CheckOptions(param, place, report);
  }
  if (access.set_writable) {
    CheckChoiceValues(record, kind, place, report);
  }
  if (access.set_writable) {
    CheckProgram(record, place, report, programs);
  }
  if (place.form_reads) {
    CheckValueFile(record, place, report);
  }
}
