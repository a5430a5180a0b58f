#include "update/submitted_value.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "cgi/ascii_text.hpp"
#include "cgi/cgi_request.hpp"
#include "descriptors/descriptor_files.hpp"

namespace {

using Verdict = SubmittedValue::Verdict;

// The form's values are read through a 50-byte field: 49 characters.
constexpr std::size_t kValueCapacity = 50;
constexpr int kAddressBoxes = 4;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(const std::string& text) { return std::all_of(text.begin(), text.end(), IsDigit); }

// The field's text, and whether the field was sent at all.
bool LookUp(std::string_view name, std::string& text) {
  return CgiGetString(name, text, kValueCapacity) != CgiNotFound;
}

SubmittedValue Judged(bool valid, std::string text) {
  return {valid ? Verdict::kAccepted : Verdict::kRejected, std::move(text)};
}

// The number a text of digits reads as, an empty one 0; nothing beyond the
// 32-bit range. The number applied is always read from the text judged,
// never looked up again: the lookup reads past the 49 characters judged and
// falls back to a default beyond the range.
std::optional<std::int32_t> NumberOfDigits(std::string_view digits) {
  std::int32_t number = 0;
  if (!digits.empty() &&
      std::from_chars(digits.data(), digits.data() + digits.size(), number).ec != std::errc()) {
    return std::nullopt;
  }
  return number;
}

SubmittedValue CheckWholeNumber(const std::string& field_name) {
  std::string text;
  if (!LookUp(field_name, text)) {
    return {};
  }
  if (!AllDigits(text)) {
    return Judged(false, std::move(text));
  }
  const std::optional<std::int32_t> number = NumberOfDigits(text);
  if (!number) {
    return Judged(false, std::move(text));
  }
  // Digits without a leading zero are the number's own text; an empty
  // field is 0.
  const bool as_written = !text.empty() && (text.size() == 1 || text[0] != '0');
  return Judged(true, as_written ? std::move(text) : std::to_string(*number));
}

// The parts of a decimal text: blanks around, an optional sign, digits with
// an optional point and fraction (at least one digit in all), an optional
// exponent, and nothing else: no "inf", "nan", hexadecimal, decimal comma or
// trailing letters, which the number conversion would take or silently stop
// at. Nothing for any other text.
struct DecimalText {
  bool negative = false;
  std::string_view whole;     // the digits before the point
  std::string_view fraction;  // the digits after it
  bool exponent = false;
};

std::optional<DecimalText> ReadDecimalText(std::string_view text) {
  text = CgiTrimmed(text);
  std::size_t at = 0;
  const auto digits = [&] {
    const std::size_t start = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    return text.substr(start, at - start);
  };
  const auto sign = [&] {
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '+' || negative)) ++at;
    return negative;
  };
  DecimalText decimal;
  decimal.negative = sign();
  decimal.whole = digits();
  if (at < text.size() && text[at] == '.') {
    ++at;
    decimal.fraction = digits();
  }
  if (decimal.whole.empty() && decimal.fraction.empty()) {
    return std::nullopt;
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    sign();
    decimal.exponent = true;
    if (digits().empty()) {
      return std::nullopt;
    }
  }
  if (at != text.size()) {
    return std::nullopt;
  }
  return decimal;
}

// What "%f" writes for the number a decimal text reads as, worked out from
// its digits when it has at most nine before the point, at most six after
// it and no exponent: the double read from it then lies within half a
// millionth of it, so its six decimals are the text's own. Nothing for any
// other text.
std::optional<std::string> SixDecimalsOfShortText(DecimalText decimal) {
  std::string_view whole = decimal.whole;
  whole.remove_prefix(std::min(whole.find_first_not_of('0'), whole.size()));
  if (decimal.exponent || whole.size() > 9 || decimal.fraction.size() > 6) {
    return std::nullopt;
  }
  std::string fixed = decimal.negative ? "-" : "";
  fixed.append(whole.empty() ? "0" : whole).append(".").append(decimal.fraction);
  return fixed.append(6 - decimal.fraction.size(), '0');
}

// The number that is applied is the one read from the text judged: an
// empty field is 0, anything else must be a finite decimal number.
SubmittedValue CheckDecimal(const std::string& field_name) {
  std::string text;
  if (!LookUp(field_name, text)) {
    return {};
  }
  double number = 0.0;
  if (!text.empty()) {
    const std::optional<DecimalText> decimal = ReadDecimalText(text);
    if (!decimal) {
      return Judged(false, std::move(text));
    }
    if (std::optional<std::string> fixed = SixDecimalsOfShortText(*decimal)) {
      return Judged(true, std::move(*fixed));
    }
    number = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(number)) {
      return Judged(false, std::move(text));
    }
  }
  // Six decimals through the formatted print the program links anyway
  // (std::to_chars of a double would add some 140 KB of tables to the
  // card's program): a finite double takes at most 309 digits before the
  // point, so one print into this array holds it.
  std::array<char, 400> digits;
  const int length = std::snprintf(digits.data(), digits.size(), "%.6f", number);
  return Judged(true, std::string(digits.data(), static_cast<std::size_t>(length)));
}

// Whether a box holds digits that read as 0 to 255. An empty box is no
// number, also when it only reads empty: "%00" (or a raw NUL) decodes to
// nothing.
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

// Boxes are numbered 0 to 3 in front of the field name ("0oid-x"). The
// address handed on is made of the boxes' numbers: "010" would be read as
// octal 8 by the card and by browsers. The message shows them as typed.
SubmittedValue CheckAddress(const std::string& field_name) {
  bool submitted = false;
  bool valid = true;
  std::string typed;
  std::string numbers;
  // The box's number, then the field's name: on the stack when it fits, as
  // nearly every name does.
  std::array<char, 64> short_name;
  std::string long_name;
  char* box_name = short_name.data();
  if (field_name.size() >= short_name.size()) {
    long_name.resize(field_name.size() + 1);
    box_name = long_name.data();
  }
  std::copy(field_name.begin(), field_name.end(), box_name + 1);
  std::string text;
  for (int box = 0; box < kAddressBoxes; ++box) {
    box_name[0] = static_cast<char>('0' + box);
    submitted = LookUp({box_name, field_name.size() + 1}, text) || submitted;
    valid = valid && IsBoxNumber(text);
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

SubmittedValue CheckText(const std::string& field_name) {
  std::string text;
  switch (CgiGetString(field_name, text, kValueCapacity)) {
    case CgiNotFound:
      return {};
    case CgiSuccess:
      return Judged(true, std::move(text));
    default:
      return Judged(false, std::move(text));
  }
}

}  // namespace

SubmittedValue CheckSubmittedValue(int type, const std::string& field_name) {
  switch (type) {
    case kIntegerType:
    case kEnumerationType:
      return CheckWholeNumber(field_name);
    case kDecimalType:
      return CheckDecimal(field_name);
    case kAddressType:
      return CheckAddress(field_name);
    default:
      return CheckText(field_name);
  }
}
