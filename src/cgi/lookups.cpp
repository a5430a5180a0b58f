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

CgiResult CgiGetLong(std::string_view name, std::int32_t& result, std::int32_t fallback) {
  const FormEntry* entry = nullptr;
  if (CgiFirstEntry(name, entry) != 0) {
    result = fallback;
    return CgiNotFound;
  }
  if (IsEmptyValue(*entry)) {
    result = fallback;
    return CgiEmpty;
  }
  if (!CgiConvertLong32(entry->value.c_str(), result)) {
    result = fallback;
    return CgiOutOfRange;
  }
  return CgiSuccess;
}

CgiResult CgiGetDouble(std::string_view name, double& result, double fallback) {
  const FormEntry* entry = nullptr;
  if (CgiFirstEntry(name, entry) != 0) {
    result = fallback;
    return CgiNotFound;
  }
  if (IsEmptyValue(*entry)) {
    result = fallback;
    return CgiEmpty;
  }
  if (!CgiConvertDouble(entry->value.c_str(), result)) {
    result = fallback;
    return CgiOutOfRange;
  }
  return CgiSuccess;
}
