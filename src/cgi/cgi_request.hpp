#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What a handler uses of the CGI request library: parse the request once,
// look submitted values up by name, release everything.
//
//   if (CgiParseRequest() < 0) ...;
//   std::string text;
//   CgiGetString("oid-12", text, 50);
//   CgiFreeRequest();

// Results of the lookups. 3 is not used.
enum CgiResult : int {
  CgiSuccess = 0,     // found and delivered
  CgiNotFound = 1,    // no entry of that name, or no parsed request
  CgiEmpty = 2,       // the entry exists, its value is empty
  CgiOutOfRange = 4,  // the number does not fit the result type
};

// Captures the CGI variables and parses the request's entries: for a method
// beginning with GET (any case) the query string, for one beginning with POST
// the body on standard input. Returns 0, or -1 for a missing or other method
// and for a body that could not be parsed (see CgiParseBody); the captured
// variables are kept either way. A parse replaces any earlier request.
int CgiParseRequest();

// Copies the first value of `name`, up to its first NUL byte and at most
// `capacity` - 1 bytes (a longer value is cut silently), into `text`.
// CgiNotFound leaves `text` empty; CgiEmpty means nothing was copied. When
// `holds_nul` is given, it tells whether the whole value, decoded, holds a NUL
// byte: then what was copied is not the value that was sent.
CgiResult CgiGetString(std::string_view name, std::string& text, std::size_t capacity,
                       bool* holds_nul = nullptr);
// The first value of `name` read as a base-10 number: leading white space and
// a sign are taken, reading stops at the first other character, text without
// digits reads 0. Missing name, empty value and a number outside the 32-bit
// range store `fallback` (CgiNotFound, CgiEmpty, CgiOutOfRange).
CgiResult CgiGetLong(std::string_view name, std::int32_t& result, std::int32_t fallback);
// The same for a decimal floating-point number (exponents accepted); a value
// beyond the range of double, either way, is CgiOutOfRange.
CgiResult CgiGetDouble(std::string_view name, double& result, double fallback);

// How the body of a POST request arrived. A request is whole when every
// declared byte arrived and, for a multipart body, its close delimiter was
// among them; the parse takes whatever arrived either way, so a caller that
// must not act on part of a form checks this first.
struct CgiBodyArrival {
  // How a POST's CONTENT_LENGTH stood (RFC 3875: digits only). Without a
  // length, or with another spelling ("+17", " 17", "0x11", "1e9", the empty
  // text), nothing is read and the body is not whole.
  enum class Length { kDigits, kAbsent, kNotDigits };
  std::uint64_t received = 0;  // bytes read, never more than declared
  std::uint32_t declared = 0;  // CONTENT_LENGTH (0 when it is no length)
  bool whole = true;
  Length length = Length::kDigits;
};
// For the current request; one without a body read (a GET, no parse) is whole
// and counts as declared in digits.
CgiBodyArrival CgiBodyArrived();

// Releases the current request and everything it owns; lookups then answer
// CgiNotFound. Without a current request it does nothing.
void CgiFreeRequest();
