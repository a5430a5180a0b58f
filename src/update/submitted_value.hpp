#pragma once

#include <string>

// The set request's verdict on one writable parameter's submitted value.
struct SubmittedValue {
  bool accepted = false;
  // Accepted: the value text handed to the change program. Rejected: the
  // text the error message shows.
  std::string text;
};

// Looks up and checks the value submitted for a parameter of `type` under
// the form field `field_name` ("oid-" and the oid):
//   4, 8  digits only (empty passes), applied as the number it reads;
//   6     any number, applied with six decimals, never rejected;
//   9     four address boxes of digits, each 0 to 255, applied as typed;
//   other a non-empty text, cut to 49 characters.
SubmittedValue CheckSubmittedValue(int type, const std::string& field_name);
