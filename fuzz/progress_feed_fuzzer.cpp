// Progress files and feed bodies: the update progress feed and the status
// page over a progress file of any length and content, with any method,
// CONTENT_LENGTH, query string, script name and body. What each file reads
// as is for the unit tables; here every input gives a whole answer.
//
// Input: a flag byte, then the progress file's bytes, then three lines
// (CONTENT_LENGTH, QUERY_STRING, SCRIPT_NAME) and the body.
//   flag bits 0-2  n: no progress file when 0, else one of n - 1 bytes
//   flag bit 3     the file is the ppcupload one
//   flag bit 4     REQUEST_METHOD is POST (else GET)
//   flag bit 5     CONTENT_LENGTH is set
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_support.hpp"
#include "maintenance/handlers.hpp"
#include "response/response_output.hpp"

namespace {
namespace fs = std::filesystem;

// Each file of the input in place, the other kind's removed.
void InstallProgressFile(std::uint8_t flags, std::string_view bytes) {
  const fs::path tmp = fuzz_support::CardRoot() / "tmp";
  fs::remove(tmp / "progress");
  fs::remove(tmp / "ppcprogress");
  if ((flags & 7u) != 0)
    fuzz_support::WriteFile(tmp / ((flags & 8u) != 0 ? "ppcprogress" : "progress"), bytes);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::EnterFuzzCard();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  std::string_view rest = fuzz_support::AsText(data + 1, size - 1);
  const std::string_view file_bytes = rest.substr(0, (flags & 7u) == 0 ? 0 : (flags & 7u) - 1);
  rest.remove_prefix(file_bytes.size());
  const auto lines = fuzz_support::Split(rest, "\n", 4);
  const auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string_view(); };
  fuzz_support::ClearCgiVariables();
  fuzz_support::SetVariable("REQUEST_METHOD", (flags & 16u) != 0 ? "POST" : "GET");
  if ((flags & 32u) != 0) fuzz_support::SetVariable("CONTENT_LENGTH", line(0));
  fuzz_support::SetVariable("QUERY_STRING", line(1));
  fuzz_support::SetVariable("SCRIPT_NAME", line(2));
  fuzz_support::SetStdin(line(3));

  InstallProgressFile(flags, file_bytes);
  {
    response::Capture capture;
    FUZZ_CHECK(HandleUploadUpdate() == 0);
    // A POST is always answered, with one feed line (and the reboot form).
    FUZZ_CHECK((flags & 16u) == 0 ||
               capture.Text().starts_with("Content-type: text/plain\r\n\r\n"));
    FUZZ_CHECK(capture.Text().empty() || capture.Text().ends_with("\r\n") ||
               capture.Text().ends_with("\r\n\r\n5"));
  }
  InstallProgressFile(flags, file_bytes);
  response::Capture capture;
  FUZZ_CHECK(HandleUploadStatus() == 0);
  FUZZ_CHECK(capture.Text().starts_with("Content-type: text/html\r\n") &&
             capture.Text().ends_with(fuzz_support::IncludeMarker("pageFooter.html")));
  return 0;
}
