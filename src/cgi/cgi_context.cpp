#include "cgi/cgi_context.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "cgi/cgi_request.hpp"

namespace {

// The slots of the captured variables of each name length, as bits: a
// variable of the environment is compared only with names of its length.
constexpr auto kSlotsByLength = [] {
  std::array<std::uint32_t, 32> slots{};
  for (std::size_t slot = 0; slot < kCapturedVariableCount; ++slot) {
    slots[kCapturedVariables[slot].size()] |= std::uint32_t{1} << slot;
  }
  return slots;
}();

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
  for (std::optional<std::string>& value : environment->values) {
    value.reset();
  }
  environment->present_count = 0;
  // One pass over the environment instead of a search of it per variable.
  // The first entry of a name counts, as for getenv.
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* const equals = std::strchr(*entry, '=');
    if (equals == nullptr) {
      continue;
    }
    const std::string_view name(*entry, static_cast<std::size_t>(equals - *entry));
    if (name.size() >= kSlotsByLength.size()) {
      continue;
    }
    for (std::uint32_t slots = kSlotsByLength[name.size()]; slots != 0; slots &= slots - 1) {
      const auto slot = static_cast<std::size_t>(std::countr_zero(slots));
      if (kCapturedVariables[slot] == name) {
        if (!environment->values[slot]) {
          environment->values[slot].emplace(equals + 1);
          ++environment->present_count;
        }
        break;
      }
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
  const bool digits = !text->empty() && std::all_of(text->begin(), text->end(),
                                                    [](char c) { return c >= '0' && c <= '9'; });
  return digits ? CgiBodyArrival::Length::kDigits : CgiBodyArrival::Length::kNotDigits;
}

std::optional<std::uint32_t> CgiDeclaredLength() {
  if (CgiLengthSpelling() != CgiBodyArrival::Length::kDigits) {
    return std::nullopt;
  }
  const std::string_view text = *CgiCapturedValue(kContentLengthSlot);
  std::uint32_t declared = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), declared);
  if (error != std::errc() || declared > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
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
