// Whole descriptor files through param.xml's reader, the checker of a card's files and the form
// renderer, which reads every record of the menu line by line into its fixed-width fields, option
// lists, choice widgets and escaped texts: the input is control_menu.xml, param.xml and one value
// file (named "v" in param.xml), separated by a line "--8<--". The checker takes every input; the
// form only those whose value-file paths stay inside the sandbox (no absolute path, no "..") so
// that no input can make it read a device or a pipe. How lines are sorted into records and what
// each record renders as are for the unit tables.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "check/card_check.hpp"
#include "descriptors/menu_form.hpp"
#include "e2e/harness/sandbox.hpp"
#include "fuzz_support.hpp"
#include "response/response_output.hpp"

namespace {
const testing_support::Sandbox* card = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  card = &fuzz_support::EnterFuzzCard<testing_support::Sandbox>();
  // The log stays open for the whole run and is emptied after every input.
  OpenErrorLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts = fuzz_support::Split(fuzz_support::AsText(data, size), "\n--8<--\n", 3);
  const std::string_view params = parts.size() > 1 ? parts[1] : std::string_view();
  card->WriteCardFile("/brix/etc/control_menu.xml", parts[0]);
  card->WriteCardFile("/brix/etc/param.xml", params);
  card->WriteFile(card->WorkDir() / "v", parts.size() > 2 ? parts[2] : std::string_view());
  // Every finding of the checker stands on a line of its file, or on none (0).
  for (const Finding& finding : CheckCard(CardImage(card->CardPath("/").string(), ".")).findings) {
    const std::string_view file = finding.file.ends_with("param.xml") ? params : parts[0];
    FUZZ_CHECK(finding.line >= 0 && finding.line <= std::count(file.begin(), file.end(), '\n') + 1);
  }
  if (params.find("<file>/") != std::string_view::npos ||
      params.find("..") != std::string_view::npos)
    return 0;
  response::Capture capture;
  const int result = RenderMenuForm();
  const std::string& rows = capture.Text();
  // Nothing but whole rows, and none when the form fails.
  FUZZ_CHECK(rows.empty() ||
             (result == 0 && rows.starts_with("<tr><td valign=\"top\" class=\"formLabel\">") &&
              rows.ends_with("</td></tr>\r\n")));
  // The log is opened for appending: emptied by its name, it is written from its start again.
  FUZZ_CHECK(::truncate(card_paths::kErrorLog, 0) == 0 || errno == ENOENT);
  return 0;
}
