// Descriptor files through the checker and the form renderer. Input: control_menu.xml, param.xml
// and one value file (named "v" in param.xml), separated by a line "--8<--". The form takes only
// value-file paths inside the sandbox (no "/" first, no ".."): no input makes it read a device.
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

static const testing_support::Sandbox* card = nullptr;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  card = &fuzz_support::EnterFuzzCard<testing_support::Sandbox>();
  // The log stays open for the whole run and is emptied after every input.
  OpenErrorLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [menu, rest] = fuzz_support::Cut(fuzz_support::AsText(data, size), "\n--8<--\n");
  const auto [params, value] = fuzz_support::Cut(rest, "\n--8<--\n");
  card->WriteCardFile("/brix/etc/control_menu.xml", menu);
  card->WriteCardFile("/brix/etc/param.xml", params);
  card->WriteFile(card->WorkDir() / "v", value);
  // Every finding of the checker stands on a line of its file, or on none (0).
  for (const Finding& finding : CheckCard(CardImage(card->CardPath("/").string(), ".")).findings) {
    const std::string_view file = finding.file.ends_with("param.xml") ? params : menu;
    FUZZ_CHECK(finding.line >= 0 && finding.line <= std::count(file.begin(), file.end(), '\n') + 1);
  }
  if (params.find("<file>/") != std::string_view::npos ||
      params.find("..") != std::string_view::npos)
    return 0;
  response::Capture capture;
  RenderMenuForm();
  // The log is opened for appending: emptied by its name, it is written from its start again.
  FUZZ_CHECK(::truncate(card_paths::kErrorLog, 0) == 0 || errno == ENOENT);
  return 0;
}
