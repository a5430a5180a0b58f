#pragma once

#include <cstdint>

// Runs the one handler that PATH_INFO selects (null when unset) and lets it
// write the whole response. Any path outside the routed set is redirected to
// the program's own URL. Returns the most of a POST body that the handler
// reads (the rest is the caller's to drop).
std::uint64_t Dispatch(const char* path_info);
// The whole redirect response: a single Location line and the empty line.
void RedirectToProgram();
