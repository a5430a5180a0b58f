#pragma once

#include <string>

// A request-supplied value made fit for a response header line: an unset
// value reads as empty, and CR and LF are dropped so that no request text can
// end a header line early and add headers or a body of its own.
std::string HeaderSafe(const char* value);
