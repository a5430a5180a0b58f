#include "descriptors/param_kinds.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "descriptors/choice_widgets.hpp"
#include "response/html_escape.hpp"
#include "response/response_output.hpp"

namespace {

using Verdict = SubmittedValue::Verdict;

constexpr int kTextBoxMaxLength = 49;
constexpr int kAddressBoxes = 4;

// Lists -----------------------------------------------------------------

bool HasRange(const ParamRecord& record) {
  return record.Field(RecordField::kMin) && record.Field(RecordField::kMax);
}

// A range needs both bounds; its precision defaults to "0".
void ReadRange(const ParamRecord& record, ParamDescriptor& param) {
  if (!HasRange(record)) {
    return;
  }
  ExtractField(record, RecordField::kMin, param.listText[0]);
  ExtractField(record, RecordField::kMax, param.listText[1]);
  if (ExtractField(record, RecordField::kPrecision, param.listText[2]) != 0) {
    param.listText[2] = "0";
  }
  param.listKind = kRangeList;
  param.listCount = 3;
}

void StoreOptions(const OptionList& options, ParamDescriptor& param) {
  std::copy_n(options.texts.begin(), 2 * options.count, param.listText.begin());
  param.listKind = kOptionList;
  param.listCount = static_cast<std::uint8_t>(options.count);
}

// Cells -----------------------------------------------------------------

void WriteTextBox(const ParamDescriptor& param) {
  const std::string_view oid = param.oid.view();
  response::Write("<input class=\"formInput\" type=\"textbox\" id=\"oid-");
  response::Write(oid);
  response::Write("\" name=\"oid-");
  response::Write(oid);
  response::Write("\" maxlength=\"");
  response::Write(std::to_string(kTextBoxMaxLength));
  response::Write("\" value=\"");
  PrintHtmlEscaped(param.value.view());
  response::Write("\"/>\n\n");
}

// A range leaves the cell empty: the form offers no input for it.
void WriteChoiceOrTextBox(const ParamDescriptor& param) {
  if (param.listKind == kOptionList) {
    RenderChoiceList(param);
  } else if (param.listKind != kRangeList) {
    WriteTextBox(param);
  }
}

bool SendsUnlessRange(const ParamDescriptor& param) { return param.listKind != kRangeList; }
bool SendsAlways(const ParamDescriptor&) { return true; }
bool SendsNever(const ParamDescriptor&) { return false; }

// The names of an address's boxes: the box's number, "oid-" and the oid, as
// the form writes them and the set request looks them up.
class BoxNames {
 public:
  explicit BoxNames(std::string_view field_name) : name_(field_name) {}
  // One buffer for every box's name.
  std::string_view operator()(int box) {
    const std::string number = std::to_string(box);
    name_.replace(0, digits_, number);
    digits_ = number.size();
    return name_;
  }

 private:
  std::string name_;
  std::size_t digits_ = 0;  // of the number in front of the field name
};

void WriteAddressBox(std::string_view field_name, std::string_view box_name,
                     std::string_view group) {
  response::Write("<input maxlength=\"3\" onchange=\"return validateIP('");
  response::Write(field_name);
  response::Write(
      "', true);\" onkeypress=\"return allowOnly('0123456789', event);\" class=\"formInput\" "
      "type=\"textbox\" size=\"3\" id=\"");
  response::Write(box_name);
  response::Write("\" name=\"");
  response::Write(box_name);
  response::Write("\" value=\"");
  // Escaped like every writable value: the file may hold anything.
  response::Write(HtmlEscaped(group));
  response::Write("\"/>\r\n");
}

// One box per dotted group of the value, each group cut to three characters.
void WriteAddressBoxes(const ParamDescriptor& param) {
  const std::string field_name = "oid-" + std::string(param.oid.view());
  BoxNames box_name(field_name);
  int box = 0;
  std::string group;
  for (const char c : param.value.view()) {
    if (c != '.') {
      if (group.size() < 3) {
        group.push_back(c);
      }
      continue;
    }
    WriteAddressBox(field_name, box_name(box), group);
    response::Write("&nbsp;.&nbsp;\r\n");
    ++box;
    group.clear();
  }
  WriteAddressBox(field_name, box_name(box), group);
  response::Write("<script language=\"javascript\">writeMessageDiv('");
  response::Write(field_name);
  response::Write("');</script>");
}

// Shown, not editable, yet writable through "/set", which accepts any text
// for it: what was stored there must never become markup.
void WriteEscapedValue(const ParamDescriptor& param) {
  response::Write(HtmlEscaped(param.value.view()));
}

// Judges ----------------------------------------------------------------

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

SubmittedValue Judged(bool valid, std::string text) {
  return {valid ? Verdict::kAccepted : Verdict::kRejected, std::move(text)};
}

// Digits only, an empty field 0, at most 2147483647; applied as the number
// read from the text judged (never looked up again). Of a choice list, only
// the value of one of its options, as the form sends it.
SubmittedValue JudgeWholeNumber(FieldLookup look_up, std::string_view field_name,
                                const OfferedChoices& choices) {
  std::string text;
  const SentField sent = look_up(field_name, text);
  if (sent == SentField::kNotSent) {
    return {};
  }
  std::int32_t number = 0;
  const bool digits = sent == SentField::kSent && std::all_of(text.begin(), text.end(), IsDigit);
  if (!digits || !choices.Allow(text) ||
      (!text.empty() &&
       std::from_chars(text.data(), text.data() + text.size(), number).ec != std::errc())) {
    return Judged(false, std::move(text));
  }
  return Judged(true, std::to_string(number));
}

// Whether `text` is a decimal number and nothing else: blanks around, an
// optional sign, digits with an optional point and fraction (at least one
// digit in all), an optional exponent. No "inf", "nan", hexadecimal, decimal
// comma or trailing letters, which the number conversion would take or
// silently stop at.
bool IsDecimalText(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  std::size_t at = 0;
  const auto digits = [&] {
    const std::size_t start = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at - start;
  };
  const auto sign = [&] {
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  };
  sign();
  std::size_t count = digits();
  if (at < text.size() && text[at] == '.') {
    ++at;
    count += digits();
  }
  if (count == 0) {
    return false;
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    sign();
    if (digits() == 0) {
      return false;
    }
  }
  return at == text.size();
}

// A finite decimal number, an empty field 0; applied with six decimals, as
// printf's "%f" writes the number read from the text judged.
SubmittedValue JudgeDecimal(FieldLookup look_up, std::string_view field_name,
                            const OfferedChoices&) {
  std::string text;
  const SentField sent = look_up(field_name, text);
  if (sent == SentField::kNotSent) {
    return {};
  }
  double number = 0.0;
  if (sent == SentField::kHoldsNul || (!text.empty() && !IsDecimalText(text))) {
    return Judged(false, std::move(text));
  }
  if (!text.empty()) {
    number = std::strtod(text.c_str(), nullptr);
  }
  if (!std::isfinite(number)) {
    return Judged(false, std::move(text));
  }
  // Six decimals through the formatted print the program links anyway
  // (std::to_chars of a double would add some 140 KB of tables to the
  // card's program): a finite double takes at most 309 digits before the
  // point, so one print into this array holds it.
  std::array<char, 400> six;
  const int length = std::snprintf(six.data(), six.size(), "%.6f", number);
  return Judged(true, std::string(six.data(), static_cast<std::size_t>(length)));
}

// Whether a box holds digits that read as 0 to 255; an empty box is no number.
bool IsBoxNumber(std::string_view text) {
  unsigned number = 0;
  for (const char c : text) {
    if (!IsDigit(c)) {
      return false;
    }
    number = std::min(number * 10 + static_cast<unsigned>(c - '0'), 256u);
  }
  return !text.empty() && number <= 255;
}

// Four boxes of 0 to 255. The address handed on is made of the boxes'
// numbers: "010" would be read as octal 8 by the card and by browsers. The
// message shows them as typed.
SubmittedValue JudgeAddress(FieldLookup look_up, std::string_view field_name,
                            const OfferedChoices&) {
  bool submitted = false;
  bool valid = true;
  std::string typed;
  std::string numbers;
  std::string text;
  BoxNames box_name(field_name);
  for (int box = 0; box < kAddressBoxes; ++box) {
    const SentField sent = look_up(box_name(box), text);
    submitted = submitted || sent != SentField::kNotSent;
    valid = valid && sent != SentField::kHoldsNul && IsBoxNumber(text);
    if (valid) {
      // The number's own text: the digits without their leading zeros.
      const std::string_view digits = text;
      if (box > 0) numbers.push_back('.');
      numbers.append(digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1)));
    }
    if (box > 0) typed.push_back('.');
    typed.append(text);
  }
  if (!submitted) {
    return {};
  }
  return valid ? Judged(true, std::move(numbers)) : Judged(false, std::move(typed));
}

// A non-empty text, cut to 49 characters.
SubmittedValue JudgeText(FieldLookup look_up, std::string_view field_name, const OfferedChoices&) {
  std::string text;
  const SentField sent = look_up(field_name, text);
  if (sent == SentField::kNotSent) {
    return {};
  }
  const bool valid = sent == SentField::kSent && !text.empty();
  return Judged(valid, std::move(text));
}

// The table --------------------------------------------------------------

constexpr ParamKind kPlainText = {std::nullopt,      "plain text", false,     false,
                                  WriteEscapedValue, SendsNever,   JudgeText, false};

constexpr std::array<ParamKind, 5> kKinds = {{
    {kIntegerType, "integer", true, true, WriteChoiceOrTextBox, SendsUnlessRange, JudgeWholeNumber,
     false},
    {kDecimalType, "decimal", true, false, WriteChoiceOrTextBox, SendsUnlessRange, JudgeDecimal,
     false},
    {kTextType, "text", false, false, WriteChoiceOrTextBox, SendsAlways, JudgeText, false},
    {kEnumerationType, "enumeration", false, true, WriteChoiceOrTextBox, SendsAlways,
     JudgeWholeNumber, true},
    {kAddressType, "address", false, false, WriteAddressBoxes, SendsAlways, JudgeAddress, false},
}};

}  // namespace

const ParamKind& KindOf(std::int32_t type) {
  const auto row = std::find_if(kKinds.begin(), kKinds.end(),
                                [type](const ParamKind& kind) { return kind.type == type; });
  return row == kKinds.end() ? kPlainText : *row;
}

std::int32_t TypeOf(const ParamRecord& record) {
  return DecimalToInt(FieldText(record.Field(RecordField::kType).value_or("")).view());
}

std::optional<OptionList> ChoicesOf(const ParamKind& kind, const ParamRecord& record) {
  if (!kind.offers_choices || (kind.reads_range && HasRange(record))) {
    return std::nullopt;
  }
  return ParseOptionList(record.line);
}

ParamDescriptor DescribeParam(const ParamRecord& record) {
  ParamDescriptor param;
  param.oid = record.oid;
  ExtractField(record, RecordField::kName, param.name);
  param.type = TypeOf(record);
  param.access = FormShowsWritable(record.Field(RecordField::kAccess)) ? '1' : '0';
  param.display = DecimalToInt(FieldText(record.Field(RecordField::kDisplay).value_or("")).view());
  const ParamKind& kind = KindOf(param.type);
  if (const std::optional<OptionList> options = ChoicesOf(kind, record)) {
    StoreOptions(*options, param);
  } else if (kind.reads_range) {
    ReadRange(record, param);
  }
  return param;
}
