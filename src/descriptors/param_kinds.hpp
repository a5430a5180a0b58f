#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "descriptors/choice_widgets.hpp"
#include "descriptors/descriptor_files.hpp"

// What a parameter's type means, in one place for every reader of param.xml:
// the form (its value cell), the set request (the fields it looks up, how it
// judges them and the text it hands on) and the checker of a card's files.
// One row per kind the form and "/set" tell apart; every other type code is
// shown as plain text. Adding a kind is one row and its functions.

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

// What the request holds under a field name: the field's text (at most 49
// characters, up to its first NUL) goes to `text`.
enum class SentField { kNotSent, kSent, kHoldsNul };
using FieldLookup = SentField (*)(std::string_view name, std::string& text);

class OfferedChoices;

struct ParamKind {
  std::optional<std::int32_t> type;  // the <type> code; none for the row of every other code
  std::string_view name;             // as the checker names the kind
  // Whether a record with <min> and <max> has a range, which the form
  // offers no input for.
  bool reads_range;
  // Whether the form offers the options of a record's list as a choice
  // list, and "/set" accepts no other value (see ChoicesOf).
  bool offers_choices;
  // Writes the value cell of a parameter the form shows writable.
  void (*write_cell)(const ParamDescriptor& param);
  // Whether that cell holds an input, so that the form sends a field.
  bool (*sends_field)(const ParamDescriptor& param);
  // Looks up and judges what was sent for the parameter whose field name is
  // `field_name` ("oid-" and the oid); a value that none of the `choices`
  // offers is rejected.
  SubmittedValue (*judge)(FieldLookup look_up, std::string_view field_name,
                          const OfferedChoices& choices);
  // Whether the form needs an option list to offer a choice.
  bool needs_options;
};

// The row of `type`: that of its kind, or the plain text row.
const ParamKind& KindOf(std::int32_t type);

// The record's <type> code, as every reader takes it (0 when absent).
std::int32_t TypeOf(const ParamRecord& record);

// The options the form offers for the record as a choice list, as its
// kind's row says: the one reading of them for the form's cell, "/set" and
// the checker. None when it shows no choice list: a kind without choices, a
// range (which comes first), a line without a usable option list.
std::optional<OptionList> ChoicesOf(const ParamKind& kind, const ParamRecord& record);

// The choices of one record as a judge asks for them: read only when it
// does, for a value that passes its kind's own rule.
class OfferedChoices {
 public:
  OfferedChoices(const ParamKind& kind, const ParamRecord& record) : kind_(kind), record_(record) {}
  // Whether `value` may be applied: the form shows no choice list for the
  // record, or one of its options has that value.
  bool Allow(std::string_view value) const {
    const std::optional<OptionList> choices = ChoicesOf(kind_, record_);
    return !choices || choices->Offers(value);
  }

 private:
  const ParamKind& kind_;
  const ParamRecord& record_;
};

// The record as the form shows it, read from its line: every field but the
// value, which its value file holds.
ParamDescriptor DescribeParam(const ParamRecord& record);
