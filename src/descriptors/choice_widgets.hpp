#pragma once

#include <cstdint>
#include <string_view>

#include "descriptors/descriptor_files.hpp"

// Widgets of the parameter form for parameters whose value is one of a list
// of options, and the escaping of texts written inside the form's HTML.

// Reads the option list of a param.xml record line. Returns 0 after storing
// it (listKind 1, listCount the number of options, at most 25); returns 1
// when the line holds no usable list, leaving listKind and listCount as they
// were (entries of listText may have been written).
int ParseOptionList(std::string_view line, std::int32_t& listKind, std::uint8_t& listCount,
                    ListTexts& listText);

// Writes the record's options as a drop-down list (more than two options, or
// display 2) or as radio buttons, the current value's option marked.
int RenderChoiceList(const ParamDescriptor& record);

// Writes a text of at most 255 characters (more is cut) with the characters
// that would break an attribute or the markup replaced by references.
int PrintHtmlEscaped(std::string_view text);
