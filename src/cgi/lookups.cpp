// The typed lookups of submitted values by name.
#include <algorithm>
#include <string>
#include <string_view>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"
#include "cgi/number_conversion.hpp"
#include "cgi/url_encoded.hpp"

namespace {

// Emptiness for the numeric lookups goes by the recorded length, which counts
// the raw bytes: a URL-encoded value that decodes to nothing ("%00") is not
// empty for them and reads as 0. A value of length 1 is empty only when it
// delivers nothing (one raw byte that is the zero tail, or a NUL).
bool IsEmptyValue(const FormEntry& entry) {
  return entry.value_length <= 1 && (entry.raw_value.empty() || entry.raw_value.front() == '\0');
}

}  // namespace

CgiResult CgiGetString(std::string_view name, std::string& text, std::size_t capacity,
                       bool* holds_nul) {
  text.clear();
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  const std::optional<std::size_t> position = environment != nullptr && environment->collections
                                                  ? environment->collections->Find(name)
                                                  : std::nullopt;
  if (!position) {
    return CgiNotFound;
  }
  // Only what fits is decoded, straight into `text`: a value of megabytes
  // costs its first bytes. Decoding ends at an escaped NUL, a part's data
  // at its first NUL.
  const CollectionTable& table = *environment->collections;
  const std::string_view raw = table.FirstRawValue(*position);
  const std::size_t room = capacity == 0 ? 0 : capacity - 1;
  if (holds_nul != nullptr) {
    // A raw NUL, or "%00" in URL-encoded text (an escape's "%" is never a
    // hex digit of the escape before it).
    *holds_nul = raw.find('\0') != std::string_view::npos ||
                 (!table.IsMultipart() && raw.find("%00") != std::string_view::npos);
  }
  if (table.IsMultipart()) {
    text.assign(raw.substr(0, std::min(room, raw.find('\0'))));
  } else {
    text.resize(std::min(raw.size(), room));
    text.resize(CgiUrlDecodeInto(raw, text.data(), text.size()));
  }
  return text.empty() ? CgiEmpty : CgiSuccess;
}

namespace {

// The first value of `name` through `convert`, or `fallback` with the code
// that says why not: the number lookups differ only in their conversion.
// Reads a number from the decoded value, or from a part's data in place (it
// is a whole std::string, so a NUL follows it; a part may be megabytes).
template <typename Number, typename Convert>
bool ConvertValue(const FormEntry& entry, Number& result, Convert convert) {
  if (!entry.url_encoded) {
    return convert(entry.raw_value.data(), result);
  }
  return convert(entry.Value().c_str(), result);
}

template <typename Number, typename Convert>
CgiResult GetNumber(std::string_view name, Number& result, Number fallback, Convert convert) {
  FormEntry entry;
  CgiResult code = CgiSuccess;
  if (CgiFirstEntry(name, entry) != 0) {
    code = CgiNotFound;
  } else if (IsEmptyValue(entry)) {
    code = CgiEmpty;
  } else if (!ConvertValue(entry, result, convert)) {
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
