#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>

#include "cgi/request_input.hpp"

// What every harness shares: a throw-away card and the request's inputs set from memory, so that a
// handler runs in the fuzzer's own process exactly as it would in a request process.
namespace fuzz_support {

// Stops the run when the program broke a promise; libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                      \
  do {                                                                             \
    if (!(condition)) ::fuzz_support::CheckFailed(#condition, __FILE__, __LINE__); \
  } while (false)
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

// The whole-request tests' card (a Sandbox, or a SetCard of `args`), on /dev/shm if there is one,
// gone at exit; its www/cgi-bin (root "../../card") the working directory. Once, at initialization.
template <class Card, class... Args>
const Card& EnterFuzzCard(Args&&... args) {
  if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 0);
  static const Card card(std::forward<Args>(args)...);
  std::filesystem::current_path(card.WorkDir());
  return card;
}

// `text` before and after its first `separator` (all of it, and nothing, without one).
inline std::pair<std::string_view, std::string_view> Cut(std::string_view text,
                                                         std::string_view separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string_view::npos) return {text, {}};
  return {text.substr(0, at), text.substr(at + separator.size())};
}

// Every name of the current request's collections found again at its own place (whatever its
// hash meets), and looked up as text (at capacities 0, 1 and 50), integer and double. Returns the
// bytes of the raw values of all entries.
std::size_t LookUpEveryName();

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz_support
