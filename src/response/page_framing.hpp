#pragma once

#include <string_view>

// The fixed CGI header of HTML pages, the copier of page fragments and the
// static landing page. Page chrome is not built here: it is copied from the
// web installation's fragments under ../includes/.

inline constexpr const char* kPageHeaderInclude = "../includes/pageHeader.html";
inline constexpr const char* kStaticPageInclude = "../includes/staticPage.html";
inline constexpr const char* kPageFooterInclude = "../includes/pageFooter.html";
inline constexpr const char* kGeneralHeaderInclude = "../includes/generalHeader.html";
inline constexpr const char* kConfigHeaderInclude = "../includes/configHeader.html";
inline constexpr const char* kConfigFooterInclude = "../includes/configFooter.html";

// Writes the header block of an HTML page: the content type, `extra_lines`
// (whole lines, each ended by CR LF), the lines that forbid caching, and the
// empty line that ends the block.
void HtmlResponseHeader(std::string_view extra_lines = {});
// The header and the pageHeader and generalHeader fragments: the top of every
// page that shows the card's menu.
void MenuPageHead();
// A whole page with the card's menu that shows one centred note (HTML).
void MenuNotePage(std::string_view note);
// Copies the fragment at `path` to the response unchanged. A fragment that
// cannot be opened adds nothing to the page and is noted in the error log.
int IncludeFile(const char* path);
// The header and the pageHeader, staticPage and pageFooter fragments.
int StaticPage();
