#include "response/page_framing.hpp"

#include <array>
#include <string_view>

#include "card/card_file.hpp"
#include "card/error_log.hpp"
#include "response/response_output.hpp"

namespace {
// Every page shows the card as it is now: none may come from a cache.
constexpr std::string_view kNoCacheLines =
    "Expires: Tue, 01 Jan 1996 00:00:00 GMT\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n";
}  // namespace

void HtmlResponseHeader(std::string_view extra_lines) {
  response::Write("Content-type: text/html\r\n");
  // An empty view may hold no pointer at all, which fwrite must never get.
  if (!extra_lines.empty()) {
    response::Write(extra_lines);
  }
  response::Write(kNoCacheLines);
  response::Write("\r\n");
}

void MenuPageHead() {
  HtmlResponseHeader();
  IncludeFile(kPageHeaderInclude);
  IncludeFile(kGeneralHeaderInclude);
}

void MenuNotePage(std::string_view note) {
  MenuPageHead();
  response::Write("<p style=\"text-align: center\">");
  response::Write(note);
  response::Write("</p>\n");
  IncludeFile(kPageFooterInclude);
}

int IncludeFile(const char* path) {
  const FileDescriptor file = OpenCardFileForReading(path);
  if (!file) {
    WriteErrorLog("can't open file %s to read\n", path);
    return 0;
  }
  // Copied by blocks rather than by lines: the bytes on the wire are the
  // fragment's bytes, whatever its line lengths or a missing final line feed.
  std::array<char, 4096> block;
  std::size_t got = 0;
  while ((got = file.Read(block.data(), block.size())) > 0) {
    response::Write(std::string_view(block.data(), got));
  }
  return 0;
}

int StaticPage() {
  HtmlResponseHeader();
  IncludeFile(kPageHeaderInclude);
  IncludeFile(kStaticPageInclude);
  IncludeFile(kPageFooterInclude);
  return 0;
}
