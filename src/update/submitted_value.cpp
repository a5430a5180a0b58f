#include "update/submitted_value.hpp"

#include <string>

#include "cgi/cgi_request.hpp"

namespace {

// The form's values are read through a 50-byte field: 49 characters.
constexpr std::size_t kValueCapacity = 50;

SentField LookUp(std::string_view name, std::string& text) {
  bool holds_nul = false;
  if (CgiGetString(name, text, kValueCapacity, &holds_nul) == CgiNotFound) {
    return SentField::kNotSent;
  }
  return holds_nul ? SentField::kHoldsNul : SentField::kSent;
}

}  // namespace

SubmittedValue CheckSubmittedValue(const ParamKind& kind, const ParamRecord& record,
                                   std::string_view field_name) {
  return kind.judge(LookUp, field_name, OfferedChoices(kind, record));
}
