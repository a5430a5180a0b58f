#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cgi/captured_variables.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"

// The library's state for the one request a process serves. There is at most
// one current request: created by CgiParseRequest, released whole by
// CgiFreeRequest. Everything in it is a private copy, so it stays valid while
// the process environment changes.
struct CgiEnvironment {
  // One slot per captured variable; an unset variable has no value, a
  // variable set to the empty string has an empty one.
  std::array<std::optional<std::string>, kCapturedVariableCount> values;
  unsigned present_count = 0;
  // Absent until a parse starts one.
  std::optional<CollectionTable> collections;
  // How the body arrived: the bytes read of the declared length, and whether
  // it is whole. A request whose body was never read is whole.
  std::uint64_t body_received = 0;
  bool body_whole = true;
  CgiBodyArrival::Length body_length = CgiBodyArrival::Length::kDigits;

  std::size_t CollectionCount() const { return collections ? collections->Count() : 0; }
};

// The current request, or null before CgiParseRequest and after CgiFreeRequest.
CgiEnvironment* CgiCurrentEnvironment();
// Replaces the current request with a fresh, empty one (no values, no table).
CgiEnvironment& CgiCreateEnvironment();
// Fills the value slots and the present count of the current request from
// the process environment. Returns 0, or -1 when there is no current request.
int CgiCaptureEnvironment();
// The captured value of the variable at `index` (see kCapturedVariables);
// nothing when it was not set, when the index is out of range or when there
// is no current request. Valid until CgiFreeRequest.
std::optional<std::string_view> CgiCapturedValue(std::size_t index);
// Notes how the body of the current request arrived (see CgiBodyArrived).
void CgiNoteBodyArrival(std::uint64_t received, bool whole,
                        CgiBodyArrival::Length length = CgiBodyArrival::Length::kDigits);
// How CONTENT_LENGTH stands: set or not, digits only or not.
CgiBodyArrival::Length CgiLengthSpelling();
// CONTENT_LENGTH as a number of bytes when it is digits only and within the
// 32-bit signed range; else nothing.
std::optional<std::uint32_t> CgiDeclaredLength();
