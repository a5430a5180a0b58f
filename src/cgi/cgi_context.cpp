#include "cgi/cgi_context.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "cgi/cgi_request.hpp"

namespace {

// The one request of this process; empty before the parse and after the free.
std::optional<CgiEnvironment> current_request;

}  // namespace

CgiEnvironment* CgiCurrentEnvironment() { return current_request ? &*current_request : nullptr; }

CgiEnvironment& CgiCreateEnvironment() { return current_request.emplace(); }

int CgiCaptureEnvironment() {
  CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr) {
    return -1;
  }
  environment->present_count = 0;
  for (std::size_t slot = 0; slot < kCapturedVariableCount; ++slot) {
    // The names are constants that end in a NUL of their own.
    const char* const value = std::getenv(kCapturedVariables[slot].data());
    if (value == nullptr) {
      environment->values[slot].reset();
    } else {
      environment->values[slot].emplace(value);
      ++environment->present_count;
    }
  }
  return 0;
}

std::optional<std::string_view> CgiCapturedValue(std::size_t index) {
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  if (environment == nullptr || index >= kCapturedVariableCount || !environment->values[index]) {
    return std::nullopt;
  }
  return *environment->values[index];
}

CgiBodyArrival::Length CgiLengthSpelling() {
  const std::optional<std::string_view> text = CgiCapturedValue(kContentLengthSlot);
  if (!text) {
    return CgiBodyArrival::Length::kAbsent;
  }
  // Digits only, and no more than a signed 32-bit length: a larger body is
  // none this card reads, so it is refused like any other spelling.
  std::uint32_t declared = 0;
  const char* const end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, declared);
  const bool digits = !text->empty() && stop == end && error == std::errc() &&
                      declared <= std::numeric_limits<std::int32_t>::max();
  return digits ? CgiBodyArrival::Length::kDigits : CgiBodyArrival::Length::kNotDigits;
}

std::optional<std::uint32_t> CgiDeclaredLength() {
  if (CgiLengthSpelling() != CgiBodyArrival::Length::kDigits) {
    return std::nullopt;
  }
  const std::string_view text = *CgiCapturedValue(kContentLengthSlot);
  std::uint32_t declared = 0;
  std::from_chars(text.data(), text.data() + text.size(), declared);
  return declared;
}

void CgiNoteBodyArrival(std::uint64_t received, bool whole, CgiBodyArrival::Length length) {
  if (CgiEnvironment* environment = CgiCurrentEnvironment()) {
    environment->body_received = received;
    environment->body_whole = whole;
    environment->body_length = length;
  }
}

void CgiFreeRequest() { current_request.reset(); }
