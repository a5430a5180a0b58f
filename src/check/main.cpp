// merovane-check: checks a card's descriptor files as the program reads them.
#include <cstdio>
#include <string>
#include <string_view>

#include "check/card_check.hpp"

namespace {

constexpr const char* kUsage =
    "usage: merovane-check [--root DIR] [--cgi-dir CGIDIR]\n"
    "Checks DIR/brix/etc/control_menu.xml, DIR/brix/etc/param.xml and the files that\n"
    "param.xml names, as the program reads them (DIR: / unless given). Absolute paths\n"
    "of param.xml lie under DIR, relative ones start from CGIDIR, the folder the\n"
    "program runs in (the current folder unless given).\n"
    "Exit status: 0 without errors, 1 with one, 2 when a descriptor file cannot be read.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string root = "/";
  std::string cgi_dir;
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
  const CheckReport report = CheckCard(CardImage(root, cgi_dir));
  std::fputs(FormatReport(report).c_str(), stdout);
  return ExitStatus(report);
}
