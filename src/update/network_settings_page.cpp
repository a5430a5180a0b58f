#include "update/network_settings_page.hpp"

#include <cctype>

#include "response/html_escape.hpp"
#include "response/page_framing.hpp"
#include "response/request_site.hpp"
#include "response/response_output.hpp"

std::string ScriptStringEscaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '.' || c == ':' || c == '-' || c == '_' || c == '[' ||
        c == ']') {
      escaped.push_back(c);
    } else {
      escaped += "\\x";
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0xf]);
    }
  }
  return escaped;
}

void WriteNetworkSettingsPage(const SetState& state, std::string_view scheme,
                              std::string_view fallback_host) {
  MenuPageHead();
  response::Write("<p align=\"center\">Setting network configuration...</p>");
  if (state.dhcp != 0) {
    response::Write(
        "<p align=\"center\"><strong>WARNING:</strong> Page does not forward automatically when "
        "DHCP is used.</p>");
  } else {
    // The new address is reached on the port this request came to: the
    // server keeps listening there. On the scheme's default no port is named.
    std::string address(state.new_address.empty() ? fallback_host : state.new_address);
    if (const std::string port = RequestPort(scheme); !state.new_address.empty() && !port.empty()) {
      address += ":" + port;
    }
    const std::string_view separator = address.empty() ? "/" : "://";
    const std::string_view prefix = address.empty() ? "" : scheme;
    // Written in pieces: the page is the same as formatted, for less work.
    response::Write("\n<script language=\"javascript\">\n\tdocument.location.href = '");
    response::Write(prefix);
    response::Write(separator);
    response::Write(ScriptStringEscaped(address));
    response::Write(
        "';\n</script>\n<p align=\"center\">If the page does not automatcially forward, "
        "please <a href=\"");
    response::Write(prefix);
    response::Write(separator);
    response::Write(HtmlEscaped(address));
    response::Write("\">click here</a>.</p>");
  }
  IncludeFile(kPageFooterInclude);
}
