#pragma once

#include <string>

// The set request's verdict on one writable parameter's field.
struct SubmittedValue {
  enum class Verdict {
    kNotSubmitted,  // no field of that name: the parameter stays as it is
    kAccepted,
    kRejected,
  };
  Verdict verdict = Verdict::kNotSubmitted;
  // Accepted: the value text handed to the change program. Rejected: the
  // text the error message shows.
  std::string text;
};

// Looks up and checks the value submitted for a parameter of `type` under
// the form field `field_name` ("oid-" and the oid), by the type's code:
//   integer, enumeration  digits only (empty passes as 0), at most 2147483647,
//                         applied as the number read;
//   decimal               a decimal number (empty passes as 0), applied with six decimals;
//   address               four boxes of digits, each 0 to 255, applied as numbers;
//   any other             a non-empty text, cut to 49 characters.
// A field that was not sent at all (for an address: none of its boxes) is
// neither accepted nor rejected.
SubmittedValue CheckSubmittedValue(int type, const std::string& field_name);
