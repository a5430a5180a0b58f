#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// The body of a POST request, chosen by CONTENT_TYPE.

// Checks CONTENT_LENGTH and CONTENT_TYPE and parses the body on standard
// input into entries of the current request. 0 stores the declared length in
// `status`; -1 leaves it untouched and the request without entries, when:
//   - either variable is absent, or the declared length is not digits only
//     or outside the 32-bit signed range (nothing is read; a length absent
//     or not in digits leaves the body noted as not whole);
//   - the body cannot be read;
//   - the body is multipart/form-data without a usable boundary (nothing is
//     read; see CgiParseMultipart);
//   - the type is another one: "Unknown Encoding.\n" on standard error.
// Type tests look at the start of the value without regard to case, so
// parameters after the type do not disturb them. Neither body is read beyond
// its declared length; the request notes whether it arrived whole.
int CgiParseBody(std::int32_t& status);

// Reads up to `length` bytes from the descriptor of `stream` (see
// CgiReadInput), fewer when the input ends first.
// Memory grows with the bytes that arrive, never with what was declared.
// Nothing on a read error.
std::optional<std::string> CgiReadBody(std::FILE* stream, std::uint32_t length);
