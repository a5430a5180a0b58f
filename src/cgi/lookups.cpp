// The typed lookups of submitted values by name.
#include <string_view>

#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"
#include "cgi/number_conversion.hpp"

namespace {

// Emptiness for the numeric lookups goes by the recorded length, which counts
// the raw bytes: a URL-encoded value that decodes to nothing ("%00") is not
// empty for them and reads as 0.
bool IsEmptyValue(const FormEntry& entry) { return entry.value_length <= 1 && entry.value.c_str()[0] == '\0'; }

}  // namespace

CgiResult CgiGetString(std::string_view name, std::string& text, std::size_t capacity) {
  text.clear();
  const FormEntry* entry = nullptr;
  if (CgiFirstEntry(name, entry) != 0) {
    return CgiNotFound;
  }
  std::string_view value(entry->value);
  value = value.substr(0, value.find('\0'));
  const std::size_t room = capacity == 0 ? 0 : capacity - 1;
  text.assign(value.substr(0, room));
  return text.empty() ? CgiEmpty : CgiSuccess;
}

namespace {

// The first value of `name` through `convert`, or `fallback` with the code
// that says why not: the number lookups differ only in their conversion.
template <typename Number, typename Convert>
CgiResult GetNumber(std::string_view name, Number& result, Number fallback, Convert convert) {
  const FormEntry* entry = nullptr;
  CgiResult code = CgiSuccess;
  if (CgiFirstEntry(name, entry) != 0) {
    code = CgiNotFound;
  } else if (IsEmptyValue(*entry)) {
    code = CgiEmpty;
  } else if (!convert(entry->value.c_str(), result)) {
    code = CgiOutOfRange;
  }
  if (code != CgiSuccess) {
    result = fallback;
  }
  return code;
}

}  // namespace

CgiResult CgiGetLong(std::string_view name, std::int32_t& result, std::int32_t fallback) {
  return GetNumber(name, result, fallback, CgiConvertLong32);
}

CgiResult CgiGetDouble(std::string_view name, double& result, double fallback) {
  return GetNumber(name, result, fallback, CgiConvertDouble);
}
