#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// What every harness shares: a throw-away card of its own and the request's
// inputs (environment, standard input) set from memory, so that a handler runs
// in the fuzzer's own process exactly as it would in a request process.
namespace fuzz_support {

// Stops the run at once when a harness finds that the program broke one of
// its promises; libFuzzer then keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                      \
  do {                                                                             \
    if (!(condition)) ::fuzz_support::CheckFailed(#condition, __FILE__, __LINE__); \
  } while (false)
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

// Creates a card in a fresh directory (on /dev/shm when there is one):
//   card/brix/etc, card/tmp       the card root "../../card" of the harnesses
//   www/includes/                 the page fragments, each a distinct marker
//   www/cgi-bin/                  made the working directory
// and removes it when the process ends. Call once, from LLVMFuzzerInitialize.
void EnterFuzzCard();
std::filesystem::path CardRoot();  // the sandbox's card/ directory
// The marker text of the fragment ../includes/<name>.
std::string IncludeMarker(std::string_view name);

void WriteFile(const std::filesystem::path& path, std::string_view content);

// Standard input, for the descriptor and for the stream alike, reads `bytes`
// from its start (a memory file: any size, any bytes).
void SetStdin(std::string_view bytes);

// Unsets every CGI variable the program reads.
void ClearCgiVariables();
// Sets a variable; its value ends at its first NUL, as in any environment.
void SetVariable(const std::string& name, std::string_view value);
bool IsCgiVariable(std::string_view name);

// Splits `text` at every occurrence of `separator`, into `parts` pieces at
// most (the last keeps the rest).
std::vector<std::string_view> Split(std::string_view text, std::string_view separator,
                                    std::size_t parts);

// Every name of the current request's collections: found again at its own
// place (whatever its hash meets), and looked up as text at capacities 0, 1
// and 50 (never more than capacity - 1 characters), as an integer and as a
// double; no entry's file name keeps a directory part. Returns the bytes of
// the raw values of all entries.
std::size_t LookUpEveryName();

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz_support
