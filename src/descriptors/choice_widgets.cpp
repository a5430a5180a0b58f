#include "descriptors/choice_widgets.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

// The tags an option list is made of, in the order of OptionTags::kTexts.
enum Tag : std::uint8_t { kOptionOpen, kOptionClose, kIndexOpen, kIndexClose, kTagCount };

// The values of the options of a list without <index>: their places.
constexpr std::array<std::string_view, kOptionLimit> kOptionNumbers = {
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12",
    "13", "14", "15", "16", "17", "18", "19", "20", "21", "22", "23", "24"};

// The option list's tags of a record line, found in one pass over its "<" (a
// tag holds no other "<", so no two overlap). Looking for the first tag of a
// kind at or after a read position, as a search of the rest of the line
// finds it, is then a walk along them.
class OptionTags {
 public:
  static constexpr std::array<std::string_view, kTagCount> kTexts = {"<option>", "</option>",
                                                                     "<index>", "</index>"};

  explicit OptionTags(std::string_view line) {
    for (std::size_t at = line.find('<'); at != std::string_view::npos && size_ < kCapacity;
         at = line.find('<', at + 1)) {
      const std::string_view rest = line.substr(at);
      for (std::uint8_t tag = 0; tag < kTagCount; ++tag) {
        if (rest.starts_with(kTexts[tag])) {
          places_[size_++] = {at, static_cast<Tag>(tag)};
          ++counts_[tag];
          break;
        }
      }
    }
  }

  std::size_t Count(Tag tag) const { return counts_[tag]; }

  // The place of the first `tag` at or after `from`; npos when there is
  // none. Each call's `from` is at least the one before.
  std::size_t Find(Tag tag, std::size_t from) {
    while (next_ < size_ && places_[next_].at < from) {
      ++next_;
    }
    for (std::size_t i = next_; i < size_; ++i) {
      if (places_[i].tag == tag) {
        return places_[i].at;
      }
    }
    return std::string_view::npos;
  }

 private:
  // A record line fits 1022 characters, and the shortest tag takes 7.
  static constexpr std::size_t kCapacity = MAX_LINE_LENGTH / 7 + 1;
  struct Place {
    std::size_t at;
    Tag tag;
  };
  std::array<Place, kCapacity> places_;  // the first size_ are in use
  std::size_t size_ = 0;
  std::size_t next_ = 0;  // the first place at or after the last `from`
  std::array<std::size_t, kTagCount> counts_{};
};

std::size_t OptionsToShow(const ParamDescriptor& record) {
  return std::min<std::size_t>(record.listCount, kOptionLimit);
}

}  // namespace

bool OptionList::Offers(std::string_view value) const {
  for (std::size_t i = 0; i < count; ++i) {
    if (texts[2 * i + 1] == value) {
      return true;
    }
  }
  return false;
}

std::optional<OptionList> ParseOptionList(std::string_view line) {
  OptionTags tags(line);
  if (tags.Count(kOptionOpen) == 0) {
    return std::nullopt;
  }
  const bool indexed = tags.Count(kIndexOpen) == tags.Count(kOptionOpen);

  OptionList list;
  std::size_t position = 0;
  // Each round takes an option's label, the text between the first
  // "<option>" and the first "</option>" from the read position, then its
  // value: the text of the "<index>" that must follow the label directly, or
  // its place in the list.
  while (list.count < kOptionLimit) {
    const std::size_t open = tags.Find(kOptionOpen, position);
    const std::size_t close = tags.Find(kOptionClose, position);
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
      break;
    }
    const std::size_t label = open + OptionTags::kTexts[kOptionOpen].size();
    list.texts[2 * list.count] = line.substr(label, close - label);
    position = close + OptionTags::kTexts[kOptionClose].size();
    if (indexed) {
      const std::size_t end = tags.Find(kIndexClose, position);
      if (tags.Find(kIndexOpen, position) != position || end == std::string_view::npos) {
        return std::nullopt;
      }
      const std::size_t index = position + OptionTags::kTexts[kIndexOpen].size();
      list.texts[2 * list.count + 1] = line.substr(index, end - index);
      position = end + OptionTags::kTexts[kIndexClose].size();
    } else {
      list.texts[2 * list.count + 1] = kOptionNumbers[list.count];
    }
    ++list.count;
  }
  return list;
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
