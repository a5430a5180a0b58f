#include "update/submitted_value.hpp"

#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"

namespace {

// The form's values are read through a 50-byte field: 49 characters.
constexpr std::size_t kValueCapacity = 50;

// Whether the first value of `name` holds a NUL byte once decoded: a raw one,
// or "%00" in URL-encoded text (an escape's "%" is never a hex digit of the
// one before).
bool HoldsNul(std::string_view name) {
  const CollectionTable& table = *CgiCurrentEnvironment()->collections;
  const std::string_view raw = table.FirstRawValue(*table.Find(name));
  return raw.find('\0') != std::string_view::npos ||
         (!table.IsMultipart() && raw.find("%00") != std::string_view::npos);
}

SentField LookUp(std::string_view name, std::string& text) {
  if (CgiGetString(name, text, kValueCapacity) == CgiNotFound) {
    return SentField::kNotSent;
  }
  return HoldsNul(name) ? SentField::kHoldsNul : SentField::kSent;
}

}  // namespace

SubmittedValue CheckSubmittedValue(const ParamKind& kind, std::string_view field_name) {
  return kind.judge(LookUp, field_name);
}
