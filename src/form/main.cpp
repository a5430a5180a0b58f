// merovane-form: writes the card's configuration form, with the values in
// force, exactly as the program's error page shows it, between the site's
// own form fragments.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "card/card_file.hpp"
#include "card/error_log.hpp"
#include "card/process_identity.hpp"
#include "descriptors/menu_form.hpp"
#include "response/page_framing.hpp"
#include "response/response_output.hpp"

namespace {

constexpr const char* kUsage =
    "usage: merovane-form [--root DIR] [--cgi-dir CGIDIR]\n"
    "Writes the configuration form of menu \"0\" to standard output: the fragments\n"
    "../includes/configHeader.html and configFooter.html around one row per parameter,\n"
    "read from DIR/brix/etc/control_menu.xml, DIR/brix/etc/param.xml and the value\n"
    "files, as the program's error page writes them. Absolute paths lie under DIR (/\n"
    "unless given), relative ones start from CGIDIR, the folder the program runs in\n"
    "(the current folder unless given). Messages go to standard error.\n"
    "Exit status: 0 when the form was written, 1 when the menu cannot be read (nothing\n"
    "written), 2 on a wrong command line or a folder that cannot be entered.\n";

}  // namespace

int main(int argc, char** argv) {
  LetTheLeakCheckerRunAtExit();
  std::string root = "/";
  std::string cgi_dir = ".";
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((argument != "--root" && argument != "--cgi-dir") || i + 1 == argc) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    (argument == "--root" ? root : cgi_dir) = argv[++i];
  }
  // The root is taken before the program's folder becomes the working one.
  std::error_code error;
  std::string image = std::filesystem::absolute(root, error).lexically_normal().string();
  if (error || ::chdir(cgi_dir.c_str()) != 0) {
    std::fprintf(stderr, "merovane-form: can't enter %s\n", error ? root.c_str() : cgi_dir.c_str());
    return 2;
  }
  while (image.size() > 1 && image.back() == '/') {
    image.pop_back();
  }
  ReadCardFilesInImage(image == "/" ? "" : image);
  ErrorLogToStandardError();
  response::Begin();

  // Nothing is written when the menu cannot be read: the page it would
  // replace stays as it is.
  std::string rows;
  {
    const response::Capture form;
    if (RenderMenuForm() != 0) {
      return 1;
    }
    rows = form.Text();
  }
  IncludeFile(kConfigHeaderInclude);
  response::Write(rows);
  IncludeFile(kConfigFooterInclude);
  return response::Flush() ? 0 : 1;
}
