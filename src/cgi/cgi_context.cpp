#include "cgi/cgi_context.hpp"

#include <unistd.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "cgi/cgi_request.hpp"
#include "cgi/number_conversion.hpp"

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

std::optional<std::uint32_t> CgiDeclaredLength() {
  const std::optional<std::string_view> text = CgiCapturedValue(kContentLengthSlot);
  std::int32_t declared = 0;
  if (!text || !CgiConvertLong32(std::string(*text).c_str(), declared) || declared < 0) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(declared);
}

void CgiNoteBodyArrival(std::uint64_t received, bool whole) {
  if (CgiEnvironment* environment = CgiCurrentEnvironment()) {
    environment->body_received = received;
    environment->body_whole = whole;
  }
}

void CgiFreeRequest() { current_request.reset(); }
