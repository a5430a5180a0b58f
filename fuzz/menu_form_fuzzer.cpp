// Whole descriptor files through the form renderer: the input is
// control_menu.xml, param.xml and one value file (named "v" in param.xml),
// separated by a line "--8<--". Everything the renderer reads comes from the
// card's own files; value-file paths are kept inside the sandbox (no absolute
// path, no "..") so that no input can make it read a device or a pipe.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "descriptors/menu_form.hpp"
#include "fuzz_support.hpp"
#include "response/response_output.hpp"

namespace {
constexpr std::string_view kSeparator = "\n--8<--\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::EnterFuzzCard();
  // The log stays open for the whole run and is emptied after every input.
  OpenErrorLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts = fuzz_support::Split(fuzz_support::AsText(data, size), kSeparator, 3);
  const std::string_view menu = parts[0];
  const std::string_view params = parts.size() > 1 ? parts[1] : std::string_view();
  const std::string_view value = parts.size() > 2 ? parts[2] : std::string_view();
  if (params.find("<file>/") != std::string_view::npos ||
      params.find("..") != std::string_view::npos) {
    return 0;
  }
  const auto etc = fuzz_support::CardRoot() / "brix" / "etc";
  fuzz_support::WriteFile(etc / "control_menu.xml", menu);
  fuzz_support::WriteFile(etc / "param.xml", params);
  fuzz_support::WriteFile("v", value);

  response::Capture capture;
  const int result = RenderMenuForm();
  FUZZ_CHECK(result == 0 || result == 1);
  const std::string& rows = capture.Text();
  if (result == 1) {
    FUZZ_CHECK(rows.empty());
  }
  // Nothing but whole rows.
  FUZZ_CHECK(rows.empty() || (rows.starts_with("<tr><td valign=\"top\" class=\"formLabel\">") &&
                              rows.ends_with("</td></tr>\r\n")));

  // The log is opened for appending: emptied by its name, it is written
  // from its start again.
  FUZZ_CHECK(::truncate(card_paths::kErrorLog, 0) == 0 || errno == ENOENT);
  return 0;
}
