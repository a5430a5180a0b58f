#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "descriptors/descriptor_files.hpp"

// Widgets of the parameter form for parameters whose value is one of a list
// of options, and the escaping of texts written inside the form's HTML.

// The option list of a param.xml record line, as views: the label of option
// i in entry 2i, its value in entry 2i + 1 (into the line, or the option's
// number for a list without <index>).
struct OptionList {
  std::array<std::string_view, kListEntryCount> texts;
  std::size_t count = 0;  // at most 25: the options past them are not read

  // Whether one option's value is `value`, compared as the widget marks the
  // current value: the whole text, exactly.
  bool Offers(std::string_view value) const;
};

// Reads the option list of a param.xml record line: the one reading of it,
// for the form's widget, for what "/set" accepts and for the checker.
// Nothing when the line holds no usable list (no "<option>", or an indexed
// list broken); a list of no options when no "<option>" is whole.
std::optional<OptionList> ParseOptionList(std::string_view line);

// Writes the record's options as a drop-down list (more than two options, or
// display 2) or as radio buttons, the current value's option marked.
int RenderChoiceList(const ParamDescriptor& record);

// Writes a text of at most 255 characters (more is cut) with the characters
// that would break an attribute or the markup replaced by references.
int PrintHtmlEscaped(std::string_view text);
