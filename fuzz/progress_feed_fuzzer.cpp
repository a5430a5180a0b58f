// Progress files and feed bodies: the update progress feed and the status
// page over a progress file of any length and content, with any method,
// CONTENT_LENGTH, query string, script name and body.
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

const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
const std::string kHtmlHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
const std::string kDoneBar =
    "<div class=\"progressbar\"><img src=\"/pics/progressbar-done.gif\"/></div>";

bool EndsWithPercentage(std::string_view text) {
  constexpr std::string_view kField = "</>percentage=";
  const std::size_t at = text.rfind(kField);
  if (at == std::string_view::npos || !text.ends_with("\r\n")) {
    return false;
  }
  const std::string_view digits =
      text.substr(at + kField.size(), text.size() - at - kField.size() - 2);
  return !digits.empty() && digits.size() <= 3 &&
         digits.find_first_not_of("0123456789") == std::string_view::npos &&
         std::stoi(std::string(digits)) <= 255;
}

enum class Feed { kNothing, kUnknown, kRunning, kEnded };

Feed CheckFeed(std::string_view out) {
  if (out.empty()) {
    return Feed::kNothing;
  }
  FUZZ_CHECK(out.starts_with(kTextHeader));
  out.remove_prefix(kTextHeader.size());
  if (out == "5") {
    return Feed::kUnknown;
  }
  FUZZ_CHECK(EndsWithPercentage(out.substr(0, out.find("\r\n") + 2)));
  if (out.starts_with("0</>stop=0</>percentage=")) {
    FUZZ_CHECK(out.find("\r\n") + 2 == out.size());
    return Feed::kRunning;
  }
  FUZZ_CHECK(out.starts_with("0</>stop=1</>msg="));
  const std::size_t first_line = out.find("\r\n") + 2;
  FUZZ_CHECK(
      first_line == out.size() ||
      out.substr(first_line).starts_with("<form action=\"") &&
          out.ends_with(
              "/reboot\" method=\"GET\"><input type=\"submit\" value=\"Reboot\"></form>\r\n"));
  return Feed::kEnded;
}

void CheckPage(std::string_view out) {
  const std::string head = kHtmlHeader + fuzz_support::IncludeMarker("pageHeader.html") +
                           fuzz_support::IncludeMarker("generalHeader.html");
  const std::string foot = fuzz_support::IncludeMarker("pageFooter.html");
  FUZZ_CHECK(out.starts_with(head) && out.ends_with(foot));
  const std::string_view body = out.substr(head.size(), out.size() - head.size() - foot.size());
  FUZZ_CHECK(body.starts_with(kDoneBar + "<div class=\"progressbar-message\">") ||
             body ==
                 "<meta http-equiv=\"refresh\" content=\"2\"/><div class=\"progressbar\"><img "
                 "src=\"/pics/progressbar.gif\"/></div><div class=\"progressbar-message\">Update "
                 "in progress</div>");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::EnterFuzzCard();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::uint8_t flags = data[0];
  std::string_view rest = fuzz_support::AsText(data + 1, size - 1);
  const unsigned file_choice = flags & 7u;
  const std::size_t file_size =
      file_choice == 0 ? 0 : std::min<std::size_t>(file_choice - 1, rest.size());
  const std::string file_bytes(rest.substr(0, file_size));
  rest.remove_prefix(file_size);
  const auto lines = fuzz_support::Split(rest, "\n", 4);
  const auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string_view(); };

  const fs::path tmp = fuzz_support::CardRoot() / "tmp";
  const fs::path file = tmp / ((flags & 8u) != 0 ? "ppcprogress" : "progress");
  const auto install_progress_file = [&] {
    fs::remove(tmp / "progress");
    fs::remove(tmp / "ppcprogress");
    if (file_choice != 0) fuzz_support::WriteFile(file, file_bytes);
  };

  fuzz_support::ClearCgiVariables();
  fuzz_support::SetVariable("REQUEST_METHOD", (flags & 16u) != 0 ? "POST" : "GET");
  if ((flags & 32u) != 0) fuzz_support::SetVariable("CONTENT_LENGTH", line(0));
  fuzz_support::SetVariable("QUERY_STRING", line(1));
  fuzz_support::SetVariable("SCRIPT_NAME", line(2));
  fuzz_support::SetStdin(line(3));

  install_progress_file();
  {
    response::Capture capture;
    FUZZ_CHECK(HandleUploadUpdate() == 0);
    const Feed feed = CheckFeed(capture.Text());
    // A running update keeps its file; an ended one is reported once and its
    // file removed, so a file that is still there was not the one read (the
    // feed asked for the other kind and found none).
    const bool kept = fs::exists(file);
    FUZZ_CHECK(feed != Feed::kNothing || (flags & 16u) == 0);
    FUZZ_CHECK(feed != Feed::kRunning || kept);
    FUZZ_CHECK(feed != Feed::kUnknown || kept == (file_choice != 0));
    FUZZ_CHECK(feed != Feed::kEnded || !kept ||
               capture.Text() ==
                   kTextHeader + "0</>stop=1</>msg=Upload complete</>percentage=100\r\n");
  }

  install_progress_file();
  response::Capture capture;
  FUZZ_CHECK(HandleUploadStatus() == 0);
  CheckPage(capture.Text());
  return 0;
}
