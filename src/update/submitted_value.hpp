#pragma once

#include <string_view>

#include "descriptors/param_kinds.hpp"

// Looks up and judges the value submitted for the parameter of `record`, of
// `kind`, under the form field `field_name` ("oid-" and the oid) in the
// current request, as the kind's row says (see param_kinds.cpp): a choice
// list's parameter takes only the value of one of the choices the form offers. A value that holds a
// NUL byte once decoded is rejected as any invalid value of its kind: the lookups end it there, so
// it could not be handed on as it was sent.
SubmittedValue CheckSubmittedValue(const ParamKind& kind, const ParamRecord& record,
                                   std::string_view field_name);
