#include "descriptors/choice_widgets.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <string>

#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

constexpr std::string_view kOptionOpen = "<option>";
constexpr std::string_view kOptionClose = "</option>";
constexpr std::string_view kIndexOpen = "<index>";
constexpr std::string_view kIndexClose = "</index>";

struct OptionTagCounts {
  std::size_t options = 0;
  std::size_t indexes = 0;
};

// The "<option>" and "<index>" tags of `line`, counted in one pass over its
// "<" (a tag holds no other "<", so no two occurrences overlap).
OptionTagCounts CountOptionTags(std::string_view line) {
  OptionTagCounts counts;
  for (std::size_t at = line.find('<'); at != std::string_view::npos; at = line.find('<', at + 1)) {
    const std::string_view rest = line.substr(at);
    counts.options += rest.starts_with(kOptionOpen);
    counts.indexes += rest.starts_with(kIndexOpen);
  }
  return counts;
}

// The read position just past the closing tag that ends `field`, a view
// into `line`.
std::size_t PastClosingTag(std::string_view line, std::string_view field, std::string_view tag) {
  return static_cast<std::size_t>(field.data() - line.data()) + field.size() + tag.size();
}

std::size_t OptionsToShow(const ParamDescriptor& record) {
  return std::min<std::size_t>(record.listCount, kOptionLimit);
}

}  // namespace

int ParseOptionList(std::string_view line, std::int32_t& listKind, std::uint8_t& listCount,
                    ListTexts& listText) {
  const OptionTagCounts tags = CountOptionTags(line);
  if (tags.options == 0) {
    return 1;
  }
  const bool indexed = tags.indexes == tags.options;

  std::size_t entry = 0;
  std::size_t options = 0;
  std::size_t position = 0;
  // Each round stores an option's label, then its value: the text of the
  // "<index>" that must follow the label directly, or its place in the list.
  while (options < kOptionLimit) {
    const std::optional<std::string_view> label =
        FindTagText(line.substr(position), kOptionOpen, kOptionClose);
    if (!label) {
      break;
    }
    listText[entry] = *label;
    ++entry;
    // The closing tag found is the first one after `position`.
    position = PastClosingTag(line, *label, kOptionClose);
    if (indexed) {
      const std::string_view rest = line.substr(position);
      const std::optional<std::string_view> index =
          rest.starts_with(kIndexOpen) ? FindTagText(rest, kIndexOpen, kIndexClose) : std::nullopt;
      if (!index) {
        return 1;
      }
      listText[entry] = *index;
      position = PastClosingTag(line, *index, kIndexClose);
    } else {
      listText[entry] = std::to_string(options);
    }
    ++entry;
    ++options;
  }
  assert(options <= kOptionLimit);  // the count fits its 8 bits
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
