#include "descriptors/choice_widgets.hpp"

#include <algorithm>
#include <cstddef>
#include <string>

#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

constexpr std::string_view kOptionOpen = "<option>";
constexpr std::string_view kOptionClose = "</option>";
constexpr std::string_view kIndexOpen = "<index>";
constexpr std::string_view kIndexClose = "</index>";

// Occurrences of `tag` in `line`, none overlapping another.
std::size_t CountTags(std::string_view line, std::string_view tag) {
  std::size_t count = 0;
  for (std::size_t at = line.find(tag); at != std::string_view::npos;
       at = line.find(tag, at + tag.size())) {
    ++count;
  }
  return count;
}

// The read position just past the first `tag` at or after `from`; the caller
// has found the tag there already.
std::size_t PastTag(std::string_view line, std::size_t from, std::string_view tag) {
  return line.find(tag, from) + tag.size();
}

std::size_t OptionsToShow(const ParamDescriptor& record) {
  return std::min<std::size_t>(record.listCount, kOptionLimit);
}

}  // namespace

int ParseOptionList(std::string_view line, std::int32_t& listKind, std::uint8_t& listCount,
                    ListTexts& listText) {
  const std::size_t option_tags = CountTags(line, kOptionOpen);
  if (option_tags == 0) {
    return 1;
  }
  const bool indexed = CountTags(line, kIndexOpen) == option_tags;

  std::size_t entry = 0;
  std::size_t options = 0;
  std::size_t position = 0;
  // Each round stores an option's label, then its value: the text of the
  // "<index>" that must follow the label directly, or its place in the list.
  while (options < kOptionLimit &&
         ExtractTagText(line.substr(position), listText[entry], kOptionOpen, kOptionClose) == 0) {
    ++entry;
    position = PastTag(line, position, kOptionClose);
    if (indexed) {
      const std::string_view rest = line.substr(position);
      if (!rest.starts_with(kIndexOpen) ||
          ExtractTagText(rest, listText[entry], kIndexOpen, kIndexClose) != 0) {
        return 1;
      }
      position = PastTag(line, position, kIndexClose);
    } else {
      listText[entry] = std::to_string(options);
    }
    ++entry;
    ++options;
  }
  listKind = kOptionList;
  listCount = static_cast<std::uint8_t>(options);
  return 0;
}

int RenderChoiceList(const ParamDescriptor& record) {
  const std::size_t options = OptionsToShow(record);
  const std::string_view oid(record.oid.c_str());
  if (options > 2 || record.display == 2) {
    response::Write("<select class=\"formInput\" name=\"oid-");
    response::Write(oid);
    response::Write("\">");
    for (std::size_t i = 0; i < options; ++i) {
      const ValueText& label = record.listText[2 * i];
      const ValueText& value = record.listText[2 * i + 1];
      response::Write("<option value=\"");
      PrintHtmlEscaped(value.view());
      response::Write(value.view() == record.value.view() ? "\" selected=\"true\">" : "\">");
      PrintHtmlEscaped(label.view());
      response::Write("</option>");
    }
    response::Write("</select>");
    return 0;
  }
  for (std::size_t i = 0; i < options; ++i) {
    const ValueText& label = record.listText[2 * i];
    const ValueText& value = record.listText[2 * i + 1];
    response::Write("<input type=\"radio\" name=\"oid-");
    response::Write(oid);
    response::Write("\" value=\"");
    PrintHtmlEscaped(value.view());
    response::Write(value.view() == record.value.view() ? "\" checked=\"true\"/>" : "\"/>");
    PrintHtmlEscaped(label.view());
    response::Write("&nbsp;&nbsp;");
  }
  return 0;
}

int PrintHtmlEscaped(std::string_view text) {
  const ValueText working(text);
  response::Write(HtmlEscaped(working.view()));
  return 0;
}
