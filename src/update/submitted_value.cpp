#include "update/submitted_value.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "cgi/cgi_request.hpp"

namespace {

// The form's values are read through a 50-byte field: 49 characters.
constexpr std::size_t kValueCapacity = 50;
constexpr int kIntegerType = 4;
constexpr int kDecimalType = 6;
constexpr int kEnumerationType = 8;
constexpr int kAddressType = 9;
constexpr int kAddressBoxes = 4;

bool AllDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string LookedUp(const std::string& name) {
  std::string text;
  CgiGetString(name, text, kValueCapacity);
  return text;
}

SubmittedValue CheckWholeNumber(const std::string& field_name) {
  std::string text = LookedUp(field_name);
  if (!AllDigits(text)) {
    return {false, std::move(text)};
  }
  std::int32_t number = 0;
  CgiGetLong(field_name, number, 0);
  return {true, std::to_string(number)};
}

SubmittedValue CheckDecimal(const std::string& field_name) {
  double number = 0.0;
  CgiGetDouble(field_name, number, 0.0);
  const int length = std::snprintf(nullptr, 0, "%f", number);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, "%f", number);
  return {true, std::move(text)};
}

// Boxes are numbered 0 to 3 in front of the field name ("0oid-x").
SubmittedValue CheckAddress(const std::string& field_name) {
  bool valid = true;
  std::string joined;
  for (int box = 0; box < kAddressBoxes; ++box) {
    const std::string box_name = std::to_string(box) + field_name;
    const std::string text = LookedUp(box_name);
    // An empty box is no number, also when it only reads empty: "%00" (or a
    // raw NUL) decodes to nothing, yet its raw length makes it read as 0.
    valid = valid && !text.empty() && AllDigits(text);
    if (valid) {
      // A missing or empty box reads as -1, which is out of range.
      std::int32_t number = -1;
      CgiGetLong(box_name, number, -1);
      valid = static_cast<std::uint32_t>(number) <= 255;
    }
    if (box > 0) {
      joined.push_back('.');
    }
    joined += text;
  }
  return {valid, std::move(joined)};
}

SubmittedValue CheckText(const std::string& field_name) {
  std::string text;
  const bool present = CgiGetString(field_name, text, kValueCapacity) == CgiSuccess;
  return {present, std::move(text)};
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
